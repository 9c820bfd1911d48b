// The HTTP server against bad clients, each from a raw socket on loopback: the abusive client
// comes from 127.0.0.2, so that the server can tell it from the well-behaved one (127.0.0.1).
#include "tests/support/TestSupport.h"
#include "tests/webframework/WebTestSocket.h"
#include "webframework/WebServer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::waitFor;
using webtest::TWebTestSocket;

constexpr const char* kAbuser = "127.0.0.2";

// The resident memory of this process, in bytes.
long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

class WebServerAbuseTest : public ::testing::Test {
protected:
  void startServer(TWebServerSettings aSettings = {}) {
    aSettings.Address = "127.0.0.1";
    aSettings.Port = 0;
    fServer = std::make_unique<TWebServer>(aSettings);
    fServer->getRouter().OnInvalidCommand = [this](const TWebRequest& aRequest,
                                                   TWebResponse& aResponse) {
      {
        std::lock_guard<std::mutex> lock(fCSSeen);
        fSeen.push_back(aRequest.Method + " " + aRequest.Path + " " +
                        std::to_string(aRequest.Body.size()));
      }
      aResponse.Status = 200;
      aResponse.ContentType = "text/plain";
      aResponse.Body = "path=" + aRequest.Path;
    };
    ASSERT_TRUE(fServer->start());
  }

  int port() const { return fServer->getPort(); }

  std::vector<std::string> seen() {
    std::lock_guard<std::mutex> lock(fCSSeen);
    return fSeen;
  }

  // One request from a new connection of the well-behaved client; its status.
  int fetch(const std::string& aPath) {
    TWebTestSocket client(port());
    client.send("GET " + aPath + " HTTP/1.1\r\nHost: x\r\n\r\n");
    return webtest::statusOf(client.readResponse());
  }

  std::unique_ptr<TWebServer> fServer;
  std::mutex fCSSeen;
  std::vector<std::string> fSeen;
};

TEST_F(WebServerAbuseTest, AHundredMegabyteChunkedBodyIsRefusedWithoutGrowingTheMemory) {
  startServer();
  ASSERT_EQ(fetch("/warm"), 200); // threads and buffers of an ordinary request exist
  const long before = residentBytes();

  TWebTestSocket abuser(port(), kAbuser);
  ASSERT_TRUE(abuser.connected());
  abuser.send("POST /sendsms HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n"; // 64 KiB each
  const long total = 100L * 1024 * 1024;
  long sent = 0;
  const auto giveUp = std::chrono::steady_clock::now() + 60s;
  while (sent < total && std::chrono::steady_clock::now() < giveUp) {
    const long n = abuser.sendSome(std::string_view(chunk).substr(sent % chunk.size()), 1s);
    if (n < 0) {
      break; // the server has had enough
    }
    sent += n;
  }
  bool closed = false;
  const std::string answer = abuser.readUntilClosed(closed);
  EXPECT_EQ(webtest::statusOf(answer), 413) << answer;
  EXPECT_TRUE(closed);
  EXPECT_EQ(seen().size(), 1u) << "the refused request reached the hook";

  const long grown = residentBytes() - before;
  EXPECT_LT(grown, 16L * 1024 * 1024) << "sent " << sent << " bytes";
  EXPECT_EQ(fetch("/after"), 200);
}

TEST_F(WebServerAbuseTest, SlowChunkedAndContinueBodiesHoldNoWorker) {
  TWebServerSettings settings;
  settings.WorkerCount = 1;
  settings.RequestTimeout = 60s;
  startServer(settings);
  std::vector<std::unique_ptr<TWebTestSocket>> slow;
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<TWebTestSocket>(port(), kAbuser));
    slow.back()->send("POST /slow HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab");
    slow.push_back(std::make_unique<TWebTestSocket>(port(), kAbuser));
    slow.back()->send("POST /slow HTTP/1.1\r\nContent-Length: 4\r\nExpect: 100-continue\r\n\r\n");
    EXPECT_EQ(webtest::statusOf(slow.back()->readResponse()), 100); // from the listener
  }
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(fetch("/fast"), 200) << i;
  }
  // The bodies that do come are served whole.
  slow[0]->send("cde\r\n0\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(slow[0]->readResponse()), "path=/slow");
  slow[1]->send("body");
  EXPECT_EQ(webtest::bodyOf(slow[1]->readResponse()), "path=/slow");
  EXPECT_EQ(seen(),
            (std::vector<std::string>{"GET /fast 0", "GET /fast 0", "GET /fast 0", "GET /fast 0",
                                      "GET /fast 0", "POST /slow 5", "POST /slow 4"}));

  // A chunked body framed in tiny pieces is refused like one over the size limit.
  TWebTestSocket tiny(port(), kAbuser);
  std::string pieces;
  for (int i = 0; i < 20000; ++i) {
    pieces += "1;x\r\nx\r\n";
  }
  tiny.send("POST /tiny HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
  tiny.sendSome(pieces, 1s);
  bool closed = false;
  EXPECT_EQ(webtest::statusOf(tiny.readUntilClosed(closed)), 413);
}

TEST_F(WebServerAbuseTest, ABodyTricklingInIsCutOffByTheTimeLimitOfTheWholeRequest) {
  TWebServerSettings settings;
  settings.RequestTimeout = 400ms;
  startServer(settings);
  TWebTestSocket trickle(port(), kAbuser);
  trickle.send("POST /t HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
  int sentPieces = 0;
  bool closed = false;
  std::string answer;
  // One byte of chunk data at a time keeps the connection busy but never finishes it.
  while (sentPieces < 400 && trickle.send(sentPieces == 0 ? "ffff\r\nx" : "x")) {
    ++sentPieces;
    answer = trickle.readUntilClosed(closed, 20ms);
    if (closed || !answer.empty()) {
      break;
    }
  }
  if (answer.empty()) {
    answer = trickle.readUntilClosed(closed);
  }
  EXPECT_EQ(webtest::statusOf(answer), 408);
  EXPECT_LT(sentPieces, 400);
  EXPECT_TRUE(seen().empty());
}

TEST_F(WebServerAbuseTest, SixHundredIdleConnectionsOfOneClientLeaveTheOthersServed) {
  startServer();
  std::vector<std::unique_ptr<TWebTestSocket>> idle;
  for (int i = 0; i < 600; ++i) {
    idle.push_back(std::make_unique<TWebTestSocket>(port(), kAbuser));
    ASSERT_TRUE(idle.back()->connected()) << i;
  }
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(fetch("/served"), 200) << i;
  }
  const int limit = fServer->getSettings().MaxConnectionsPerAddress;
  EXPECT_TRUE(waitFor([&] { return fServer->getOpenConnectionCount(kAbuser) <= limit; }));
  EXPECT_GT(fServer->getOpenConnectionCount(kAbuser), 0);
  // The abuser's newest connections are the ones still open.
  idle.back()->send("GET /last HTTP/1.1\r\n\r\n");
  EXPECT_EQ(webtest::statusOf(idle.back()->readResponse()), 200);
  bool closed = false;
  idle.front()->readUntilClosed(closed, 2s);
  EXPECT_TRUE(closed);
}

TEST_F(WebServerAbuseTest, AFullServerClosesIdleConnectionsOfTheBiggestHolderFirst) {
  TWebServerSettings settings;
  settings.MaxConnections = 6;
  settings.MaxConnectionsPerAddress = 5;
  settings.KeepAliveTimeout = 60s;
  settings.RequestTimeout = 60s;
  startServer(settings);
  TWebTestSocket kept(port()); // the well-behaved client's idle connection
  ASSERT_TRUE(waitFor([&] { return fServer->getOpenConnectionCount() == 1; }));
  std::vector<std::unique_ptr<TWebTestSocket>> abuser;
  for (int i = 0; i < 5; ++i) {
    abuser.push_back(std::make_unique<TWebTestSocket>(port(), kAbuser));
  }
  ASSERT_TRUE(waitFor([&] { return fServer->getOpenConnectionCount() == 6; }));
  EXPECT_EQ(fetch("/in"), 200); // the server is full: an idle connection of 127.0.0.2 went
  kept.send("GET /kept HTTP/1.1\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(kept.readResponse()), "path=/kept");

  // With requests under way on all of them nothing can be closed: a newcomer is refused.
  std::mutex gate;
  std::condition_variable changed;
  int inside = 0;
  bool open = false;
  const auto release = [&] {
    std::lock_guard<std::mutex> lock(gate);
    open = true;
    changed.notify_all();
  };
  // The handlers wait on this test's locals: they are released, and the server stopped, before
  // those go.
  struct TReleaseAtEnd {
    std::function<void()> Release;
    TWebServer& Server;
    ~TReleaseAtEnd() {
      Release();
      Server.stop();
    }
  } releaseAtEnd{release, *fServer};
  fServer->getRouter().OnInvalidCommand = [&](const TWebRequest&, TWebResponse& aResponse) {
    std::unique_lock<std::mutex> lock(gate);
    ++inside;
    changed.notify_all();
    changed.wait(lock, [&] { return open; });
    aResponse.Body = "released";
  };
  bool closed = false;
  abuser.front()->readUntilClosed(closed, 2s);
  EXPECT_TRUE(closed) << "the longest idle connection went for \"/in\"";
  abuser.erase(abuser.begin());
  ASSERT_TRUE(waitFor([&] { return fServer->getOpenConnectionCount() == 5; })); // "/in" closed
  TWebTestSocket other(port());
  for (auto* socket :
       {&kept, &other, abuser[0].get(), abuser[1].get(), abuser[2].get(), abuser[3].get()}) {
    socket->send("GET /hold HTTP/1.1\r\n\r\n");
  }
  {
    std::unique_lock<std::mutex> lock(gate);
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return inside == 6; }));
  }
  TWebTestSocket refused(port());
  EXPECT_EQ(webtest::statusOf(refused.readUntilClosed(closed)), 503);
  release();
  EXPECT_EQ(webtest::bodyOf(kept.readResponse()), "released");
}

TEST_F(WebServerAbuseTest, AHeldBackAnswerHoldsNoWorker) {
  TWebServerSettings settings;
  settings.WorkerCount = 1;
  startServer(settings);
  std::atomic<bool> held{false};
  fServer->getRouter().OnInvalidCommand = [&](const TWebRequest& aRequest,
                                              TWebResponse& aResponse) {
    aResponse.Body = "path=" + aRequest.Path;
    if (aRequest.Path == "/held") {
      aResponse.HoldUntil = std::chrono::steady_clock::now() + 60s;
      held = true;
    }
  };
  TWebTestSocket waiting(port(), kAbuser);
  waiting.send("GET /held HTTP/1.1\r\n\r\nGET /next HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(waitFor([&] { return held.load(); }));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fetch("/meanwhile"), 200) << i; // the one worker is free
  }
  EXPECT_EQ(waiting.readResponse(200ms), "");
  fServer->stop(); // a held answer is dropped with its connection
  bool closed = false;
  waiting.readUntilClosed(closed);
  EXPECT_TRUE(closed);

  startServer(settings);
  fServer->getRouter().OnInvalidCommand = [](const TWebRequest& aRequest, TWebResponse& aResponse) {
    aResponse.Body = "path=" + aRequest.Path;
    if (aRequest.Path == "/held") {
      aResponse.HoldUntil = std::chrono::steady_clock::now() + 300ms;
    }
  };
  TWebTestSocket again(port(), kAbuser);
  again.send("GET /held HTTP/1.1\r\n\r\nGET /next HTTP/1.1\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(again.readResponse()), "path=/held");
  EXPECT_EQ(webtest::bodyOf(again.readResponse()), "path=/next"); // the connection goes on
}

} // namespace
