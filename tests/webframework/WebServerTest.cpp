#include "webframework/WebServer.h"

#include "tests/support/TestSupport.h"
#include "tests/webframework/WebTestSocket.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::waitFor;
using webtest::TWebTestSocket;

// A handler that holds every request until it is released, counting those it holds.
class TGate {
public:
  void pass() {
    std::unique_lock<std::mutex> lock(fCS);
    ++fInside;
    fChanged.notify_all();
    fChanged.wait(lock, [this] { return fOpen; });
  }
  void open() {
    std::lock_guard<std::mutex> lock(fCS);
    fOpen = true;
    fChanged.notify_all();
  }
  int inside() {
    std::lock_guard<std::mutex> lock(fCS);
    return fInside;
  }

private:
  std::mutex fCS;
  std::condition_variable fChanged;
  int fInside = 0;
  bool fOpen = false;
};

TWebServerSettings loopbackSettings() {
  TWebServerSettings settings;
  settings.Address = "127.0.0.1";
  settings.Port = 0;
  return settings;
}

// A server on a free loopback port whose core hook answers with what it was asked.
class WebServerTest : public ::testing::Test {
protected:
  void startServer(TWebServerSettings aSettings = loopbackSettings()) {
    fServer = std::make_unique<TWebServer>(aSettings);
    fServer->getRouter().OnInvalidCommand = [this](const TWebRequest& aRequest,
                                                   TWebResponse& aResponse) {
      {
        std::lock_guard<std::mutex> lock(fCSSeen);
        fSeen.push_back(aRequest);
      }
      if (aRequest.Path == "/hold") {
        fGate.pass();
      }
      aResponse.Status = 200;
      aResponse.ContentType = "text/plain";
      aResponse.Body = "path=" + aRequest.Path;
    };
    ASSERT_TRUE(fServer->start());
    ASSERT_NE(fServer->getPort(), 0);
  }

  httplib::Client client() {
    httplib::Client c("127.0.0.1", fServer->getPort());
    c.set_connection_timeout(10s);
    c.set_read_timeout(10s);
    c.set_write_timeout(10s);
    return c;
  }

  std::vector<TWebRequest> seen() {
    std::lock_guard<std::mutex> lock(fCSSeen);
    return fSeen;
  }

  TWebRequest lastSeen() {
    std::lock_guard<std::mutex> lock(fCSSeen);
    return fSeen.empty() ? TWebRequest() : fSeen.back();
  }

  // Held requests are let go before the server stops, and the server stops before the gate
  // and the record of requests go.
  void TearDown() override {
    fGate.open();
    fServer.reset();
  }

  std::unique_ptr<TWebServer> fServer;
  TGate fGate;
  std::mutex fCSSeen;
  std::vector<TWebRequest> fSeen;
};

TEST_F(WebServerTest, GivesTheHookTheWholeRequest) {
  startServer();
  httplib::Client c = client();
  c.set_url_encode(false);
  auto get = c.Get("/Send%53MS?smsusr=demo&receiver=%2B4917+1&SmsPwd=x&smsusr=second",
                   {{"X-Trace", "t1"}});
  ASSERT_TRUE(get);
  EXPECT_EQ(get->status, 200);
  TWebRequest seen = lastSeen();
  EXPECT_EQ(seen.Method, "GET");
  EXPECT_EQ(seen.ProtocolVersion, "HTTP/1.1");
  EXPECT_EQ(seen.Path, "/SendSMS");
  EXPECT_EQ(seen.QueryText, "smsusr=demo&receiver=%2B4917+1&SmsPwd=x&smsusr=second");
  ASSERT_EQ(seen.QueryFields.size(), 4u);
  EXPECT_EQ(seen.QueryFields[1].Value, "+4917 1");
  EXPECT_EQ(seen.getQueryParam("SMSPWD"), "x");
  EXPECT_EQ(seen.getQueryParam("smsusr"), "demo");
  EXPECT_EQ(seen.getHeader("x-trace"), "t1");
  EXPECT_FALSE(seen.hasHeader("REMOTE_ADDR"));
  EXPECT_EQ(seen.RemoteAddr, "127.0.0.1");
  EXPECT_GT(seen.RemotePort, 0);
  EXPECT_EQ(seen.LocalPort, fServer->getPort());

  auto post = c.Post("/getnewsms", "smsusr=Demo&message=Hello+W%C3%B6rld&smsusr=2",
                     "application/x-www-form-urlencoded");
  ASSERT_TRUE(post);
  seen = lastSeen();
  EXPECT_EQ(seen.Body, "smsusr=Demo&message=Hello+W%C3%B6rld&smsusr=2");
  EXPECT_EQ(seen.ContentType, "application/x-www-form-urlencoded");
  ASSERT_EQ(seen.FormFields.size(), 3u);
  EXPECT_EQ(seen.getFormParam("MESSAGE"), "Hello Wörld");
  EXPECT_TRUE(seen.QueryFields.empty());

  // A body that is no form is passed as it came; so is the body of a GET.
  ASSERT_TRUE(c.Post("/x", "smsusr=raw", "text/plain"));
  EXPECT_TRUE(lastSeen().FormFields.empty());
  EXPECT_EQ(lastSeen().Body, "smsusr=raw");
  TWebTestSocket raw(fServer->getPort());
  raw.send("GET /withbody HTTP/1.1\r\nHost: x\r\nContent-Length: 7\r\n\r\nsmsusr=");
  EXPECT_EQ(webtest::statusOf(raw.readResponse()), 200);
  EXPECT_EQ(lastSeen().Body, "smsusr=");
}

TEST_F(WebServerTest, SendsExactlyTheAnswerTheHookSet) {
  startServer();
  fServer->getRouter().OnInvalidCommand = [](const TWebRequest&, TWebResponse& aResponse) {
    aResponse.Status = 201;
    aResponse.ContentType = "text/txt";
    aResponse.setHeader("Content-Encoding", "ISO-8859-1");
    aResponse.setHeader("encoding", "ISO-8859-1");
    aResponse.setHeader("Content-Length", "999"); // the server counts the body itself
    aResponse.setHeader("X-Bad", "a\r\nInjected: yes");
    aResponse.Body = "201:Gr\xFC\xDF"
                     "e";
  };
  TWebTestSocket raw(fServer->getPort());
  // Neither compression nor ranges may change the answer.
  raw.send("GET /getnewsms HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip, br\r\n"
           "Range: bytes=0-1\r\n\r\n");
  const std::string response = raw.readResponse();
  EXPECT_EQ(webtest::statusOf(response), 201);
  EXPECT_EQ(webtest::headerValue(response, "Content-Type"), "text/txt");
  EXPECT_EQ(webtest::headerCount(response, "Content-Encoding"), 1);
  EXPECT_EQ(webtest::headerValue(response, "Content-Encoding"), "ISO-8859-1");
  EXPECT_EQ(webtest::headerValue(response, "encoding"), "ISO-8859-1");
  EXPECT_EQ(webtest::headerCount(response, "Content-Length"), 1);
  EXPECT_EQ(webtest::headerValue(response, "Content-Length"), "9");
  EXPECT_EQ(webtest::headerCount(response, "Injected"), 0);
  EXPECT_EQ(webtest::bodyOf(response), "201:Gr\xFC\xDF"
                                       "e");

  fServer->getRouter().OnInvalidCommand = [](const TWebRequest&, TWebResponse& aResponse) {
    aResponse.Status = 501;
    aResponse.Body = "404";
  };
  auto c = client();
  auto result = c.Get("/unknown");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 501);
  EXPECT_EQ(result->body, "404");
}

TEST_F(WebServerTest, RunsThirtyTwoRequestsAtOnce) {
  startServer();
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < IC_WEBWORKERTHREADS; ++i) {
    clients.emplace_back([&] {
      auto c = client();
      auto result = c.Get("/hold");
      if (result && result->status == 200) {
        ++answered;
      }
    });
  }
  EXPECT_TRUE(waitFor([&] { return fGate.inside() == IC_WEBWORKERTHREADS; }));
  fGate.open();
  for (auto& thread : clients) {
    thread.join();
  }
  EXPECT_EQ(answered, IC_WEBWORKERTHREADS);
}

TEST_F(WebServerTest, IdleAndHalfSentConnectionsHoldNoWorker) {
  TWebServerSettings settings = loopbackSettings();
  settings.KeepAliveTimeout = 60s;
  settings.RequestTimeout = 60s;
  settings.WorkerCount = 2;
  startServer(settings);
  std::vector<std::unique_ptr<TWebTestSocket>> stalled;
  for (int i = 0; i < 40; ++i) {
    stalled.push_back(std::make_unique<TWebTestSocket>(fServer->getPort())); // idle
    stalled.push_back(std::make_unique<TWebTestSocket>(fServer->getPort()));
    stalled.back()->send(i % 2 ? "GET /slow HTTP/1.1\r\nHost: x\r\n" // head never ends
                               : "POST /slow HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc");
  }
  ASSERT_TRUE(waitFor([&] { return stalled.back()->connected(); }));
  auto c = client();
  for (int i = 0; i < 10; ++i) {
    auto result = c.Get("/fast");
    ASSERT_TRUE(result) << i;
    EXPECT_EQ(result->body, "path=/fast");
  }
  for (const TWebRequest& request : seen()) {
    EXPECT_EQ(request.Path, "/fast"); // nothing of the stalled requests reached the hook
  }
}

TEST_F(WebServerTest, ClosesIdleConnectionsAndAnswersSlowRequests408) {
  TWebServerSettings settings = loopbackSettings();
  settings.KeepAliveTimeout = 1s;
  settings.RequestTimeout = 300ms;
  startServer(settings);

  TWebTestSocket slow(fServer->getPort());
  slow.send("GET / HTTP/1.1\r\nHost: x\r\n");
  bool closed = false;
  const std::string answer = slow.readUntilClosed(closed);
  EXPECT_EQ(webtest::statusOf(answer), 408);
  EXPECT_TRUE(closed);

  TWebTestSocket idle(fServer->getPort());
  EXPECT_EQ(idle.readUntilClosed(closed), "");
  EXPECT_TRUE(closed);

  // After an answer the connection waits for the next request, and closes when none comes.
  TWebTestSocket kept(fServer->getPort());
  kept.send("GET /one HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(webtest::statusOf(kept.readResponse()), 200);
  EXPECT_EQ(kept.readUntilClosed(closed), "");
  EXPECT_TRUE(closed);
}

TEST_F(WebServerTest, AnswersPipelinedRequestsInOrder) {
  startServer();
  TWebTestSocket raw(fServer->getPort());
  raw.send("POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nxyz"
           "GET /b HTTP/1.1\r\nHost: x\r\n\r\n"
           "GET /c HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(raw.readResponse()), "path=/a");
  EXPECT_EQ(webtest::bodyOf(raw.readResponse()), "path=/b");
  EXPECT_EQ(webtest::bodyOf(raw.readResponse()), "path=/c");
  bool closed = false;
  raw.readUntilClosed(closed);
  EXPECT_TRUE(closed);
  const std::vector<TWebRequest> requests = seen();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Body, "xyz");
  EXPECT_EQ(requests[1].RemotePort, requests[0].RemotePort); // one connection

  // A next request that comes in pieces is answered whether its worker or the listener
  // gathers it.
  TWebTestSocket pieces(fServer->getPort());
  pieces.send("GET /p1 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(pieces.readResponse()), "path=/p1");
  pieces.send("GET /p2 HTT");
  pieces.send("P/1.1\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(pieces.readResponse()), "path=/p2");

  // A HEAD answer has the head of the GET answer and no body; HTTP/1.0 closes unless asked not
  // to.
  TWebTestSocket headOnly(fServer->getPort());
  headOnly.send("HEAD /h HTTP/1.1\r\nConnection: close\r\n\r\n");
  const std::string head = headOnly.readUntilClosed(closed);
  EXPECT_EQ(webtest::statusOf(head), 200);
  EXPECT_EQ(webtest::headerValue(head, "Content-Length"), "7");
  EXPECT_EQ(webtest::bodyOf(head), "");
  TWebTestSocket old(fServer->getPort());
  old.send("GET /k HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
  EXPECT_EQ(webtest::headerValue(old.readResponse(), "Keep-Alive"), "timeout=5, max=100");
  old.send("GET /g HTTP/1.0\r\n\r\n");
  const std::string last = old.readUntilClosed(closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(webtest::bodyOf(last), "path=/g");
  EXPECT_EQ(webtest::headerValue(last, "Connection"), "close");
}

TEST_F(WebServerTest, ReadsChunkedBodiesAndAnswersExpectContinue) {
  startServer();
  TWebTestSocket chunked(fServer->getPort());
  chunked.send("POST /c HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
  chunked.send("3\r\nabc\r\n");
  chunked.send("2\r\nde\r\n0\r\n\r\n");
  EXPECT_EQ(webtest::statusOf(chunked.readResponse()), 200);
  EXPECT_EQ(lastSeen().Body, "abcde");

  TWebTestSocket expecting(fServer->getPort());
  expecting.send("POST /e HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n"
                 "Expect: 100-continue\r\n\r\n");
  EXPECT_EQ(webtest::statusOf(expecting.readResponse()), 100);
  expecting.send("body");
  EXPECT_EQ(webtest::bodyOf(expecting.readResponse()), "path=/e");
  EXPECT_EQ(lastSeen().Body, "body");
}

TEST_F(WebServerTest, RefusesOversizedRequestsAndServesOn) {
  startServer();
  auto c = client();
  auto big = c.Post("/big", std::string(65537, 'x'), "text/plain");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->status, 413);
  auto form = c.Post("/form", "a=" + std::string(9000, 'x'), "application/x-www-form-urlencoded");
  ASSERT_TRUE(form);
  EXPECT_EQ(form->status, 413); // the limit of form bodies

  TWebTestSocket longUri(fServer->getPort());
  longUri.send("GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n");
  bool closed = false;
  EXPECT_EQ(webtest::statusOf(longUri.readUntilClosed(closed)), 414);
  EXPECT_TRUE(closed);

  TWebTestSocket bigHead(fServer->getPort());
  bigHead.send("GET / HTTP/1.1\r\n");
  for (int i = 0; i < 400; ++i) {
    bigHead.send("X-Filler-" + std::to_string(i) + ": " + std::string(40, 'f') + "\r\n");
  }
  EXPECT_EQ(webtest::statusOf(bigHead.readUntilClosed(closed)), 431);

  TWebTestSocket smuggle(fServer->getPort());
  smuggle.send("POST / HTTP/1.1\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n");
  EXPECT_EQ(webtest::statusOf(smuggle.readUntilClosed(closed)), 400);

  EXPECT_TRUE(seen().empty());
  auto after = c.Get("/after");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
}

TEST_F(WebServerTest, RefusesConnectionsOverTheMaximum) {
  TWebServerSettings settings = loopbackSettings();
  settings.MaxConnections = 3;
  startServer(settings);
  // Requests under way on every connection: none is idle, so none can make room.
  std::vector<std::unique_ptr<TWebTestSocket>> open;
  for (int i = 0; i < 3; ++i) {
    open.push_back(std::make_unique<TWebTestSocket>(fServer->getPort()));
    open.back()->send("GET /hold HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  ASSERT_TRUE(waitFor([&] { return fGate.inside() == 3; }));
  TWebTestSocket extra(fServer->getPort());
  bool closed = false;
  EXPECT_EQ(webtest::statusOf(extra.readUntilClosed(closed)), 503);
  EXPECT_TRUE(closed);
  fGate.open();
  for (auto& connection : open) {
    EXPECT_EQ(webtest::statusOf(connection->readResponse()), 200);
  }
  open.pop_back();
  EXPECT_TRUE(waitFor([&] {
    TWebTestSocket again(fServer->getPort());
    again.send("GET /x HTTP/1.1\r\nHost: x\r\n\r\n");
    return webtest::statusOf(again.readResponse()) == 200;
  }));
}

TEST_F(WebServerTest, StopLetsRequestsInProgressFinish) {
  startServer();
  const int port = fServer->getPort();
  std::string held;
  std::thread holder([&] {
    TWebTestSocket raw(port);
    raw.send("GET /hold HTTP/1.1\r\nHost: x\r\n\r\n");
    held = raw.readResponse();
  });
  TWebTestSocket idle(port);
  TWebTestSocket halfSent(port);
  halfSent.send("GET /never HTTP/1.1\r\n");
  ASSERT_TRUE(waitFor([&] { return fGate.inside() == 1; }));

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    fServer->stop();
    stopped = true;
  });
  bool closed = false;
  idle.readUntilClosed(closed);
  EXPECT_TRUE(closed);
  halfSent.readUntilClosed(closed);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(waitFor([&] { return !TWebTestSocket(port).connected(); })); // no longer listening
  EXPECT_FALSE(stopped);                                                   // still answering

  fGate.open();
  holder.join();
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(webtest::statusOf(held), 200);
  EXPECT_EQ(webtest::bodyOf(held), "path=/hold");
  EXPECT_EQ(webtest::headerValue(held, "Connection"), "close");
  EXPECT_FALSE(fServer->isRunning());
  fServer->stop(); // again: nothing to do
}

TEST_F(WebServerTest, ReportsAPortThatCannotBeBound) {
  startServer();
  TWebServerSettings settings = loopbackSettings();
  settings.Port = fServer->getPort();
  TWebServer second(settings);
  const TWebStartResult result = second.start();
  EXPECT_FALSE(result);
  EXPECT_EQ(result.error, EADDRINUSE);
  EXPECT_NE(result.message.find(std::to_string(settings.Port)), std::string::npos);
  EXPECT_FALSE(fServer->start()); // runs already
}

// A handler learns whether its answer went out whole: a plain GET yes; a HEAD (no body), an
// answer replaced by the error answer and one whose client reset the connection half-way
// (64 MB, more than the socket buffers hold) no.
TEST(WebServerWrittenTest, TellsTheHandlerWhetherItsAnswerWentOutWhole) {
  TWebServer server(loopbackSettings());
  std::mutex cs;
  std::vector<std::pair<std::string, bool>> told;
  server.getRouter().OnInvalidCommand = [&](const TWebRequest& aRequest, TWebResponse& aResponse) {
    aResponse.ContentType = "text/plain";
    aResponse.Body = aRequest.Path == "/big" ? std::string(64 << 20, 'x') : "small";
    aResponse.OnWritten = [&, name = aRequest.Method + " " + aRequest.Path](bool aComplete) {
      std::lock_guard<std::mutex> lock(cs);
      told.emplace_back(name, aComplete);
    };
    if (aRequest.Path == "/fail") {
      throw std::runtime_error("handler failed");
    }
  };
  ASSERT_TRUE(server.start());
  const auto toldNow = [&] {
    std::lock_guard<std::mutex> lock(cs);
    return told;
  };
  using TTold = std::vector<std::pair<std::string, bool>>;
  {
    TWebTestSocket socket(server.getPort());
    ASSERT_TRUE(socket.send("GET /small HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(webtest::bodyOf(socket.readResponse()), "small");
    ASSERT_TRUE(socket.send("HEAD /small HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(waitFor([&] { return toldNow().size() == 2; }));
    ASSERT_TRUE(socket.send("GET /fail HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(waitFor([&] { return toldNow().size() == 3; }));
  }
  EXPECT_EQ(toldNow(), (TTold{{"GET /small", true}, {"HEAD /small", false}, {"GET /fail", false}}));
  {
    TWebTestSocket socket(server.getPort());
    ASSERT_TRUE(socket.send("GET /big HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(socket.readSome().rfind("HTTP/1.1 200", 0), 0u);
    socket.reset();
  }
  ASSERT_TRUE(waitFor([&] { return toldNow().size() == 4; }));
  EXPECT_EQ(toldNow().back(), (std::pair<std::string, bool>{"GET /big", false}));
}

} // namespace
