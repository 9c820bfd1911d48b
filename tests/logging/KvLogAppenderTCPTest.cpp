#include "logging/KvLogAppenderTCP.h"

#include "logging/KvLogger.h"
#include "platform/TcpServer.h"
#include "tests/support/TestSupport.h"
#include "tools/logserver/LogServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>

namespace {

using testsupport::waitFor;

TEST(KvLogServerAnswerTest, EvaluatesEveryKindOfAnswer) {
  struct TCase {
    std::string Answer;
    bool Accepted;
    std::string Failure;
  };
  const std::vector<TCase> cases = {
      {"200", true, ""},
      {"200:OK", true, ""},
      {"200:", true, ""},
      {"", false, "server result was empty"},
      {":OK", false, "server result code was empty"},
      {"OK", false, "server result contained no result code"},
      {"20x:OK", false, "server result contained no result code"},
      {"401:bad password", false, "KVLOGPTCP_UNAUTHORIZED:bad password"},
      {"401:a:b", false, "KVLOGPTCP_UNAUTHORIZED:a:b"},
      {"400", false, "KVLOGPTCP_BADREQUEST"},
      {"503", false, "KVLOGPTCP_SERVICETEMPORARYUNAVAILABLE"},
      {"299", false, "unknown result code in server result"},
      {"299:x", false, "unknown result code in server result"},
      {"99999999999", false, "server result contained no result code"},
  };
  for (const TCase& c : cases) {
    std::string failure = "old";
    EXPECT_EQ(kvlogging::evaluateLogServerAnswer(c.Answer, failure), c.Accepted) << c.Answer;
    EXPECT_EQ(failure, c.Failure) << c.Answer;
  }
  EXPECT_EQ(kvlogging::logServerPasswordDigest(""), "");
  EXPECT_EQ(kvlogging::logServerPasswordDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
}

// A port nobody listens on (until a test starts a server there).
int closedPort() {
  platform::TTcpServer probe;
  EXPECT_TRUE(probe.listen("127.0.0.1", 0));
  return probe.port();
}

TKvLogAppenderTCPTiming fastTiming() {
  TKvLogAppenderTCPTiming timing;
  timing.ReconnectPauseMs = 50;
  timing.IdlePauseMs = 10;
  timing.RetryPauseMs = 5;
  timing.AnswerTimeoutMs = 2000;
  return timing;
}

// A logger whose only appender is a TCP appender, and a log server in the same process.
class KvLogAppenderTCPTest : public ::testing::Test {
protected:
  void startServer(int aPort = 0, const std::string& aUser = {},
                   const std::string& aPassword = {}) {
    TLogServerOptions options;
    options.Port = aPort;
    options.Username = aUser;
    options.Password = aPassword;
    options.KeepHistory = true;
    fServer = std::make_unique<TLogServer>(options);
    fServer->OnChooseAnswer = fChooseAnswer;
    ASSERT_TRUE(fServer->start());
  }
  TKvLogAppenderTCP& appender(int aPort, const TKvLogAppenderTCPTiming& aTiming = fastTiming()) {
    fAppender = std::make_unique<TKvLogAppenderTCP>();
    fAppender->setHostOrIP("127.0.0.1");
    fAppender->setPort(aPort);
    fAppender->setMachineIdent("testhost");
    fAppender->setTiming(aTiming);
    fLogger.addAppender(fAppender.get());
    return *fAppender;
  }
  // The message texts of the server's stored lines, in order.
  std::vector<std::string> stored() {
    std::vector<std::string> texts;
    for (const std::string& line : fServer->storedLines()) {
      texts.push_back(kvlogging::splitFields(line, '|').at(3));
    }
    return texts;
  }
  int requestsFor(const std::string& aText) {
    int count = 0;
    for (const auto& request : fServer->requests()) {
      count += kvlogging::splitFields(request.Entry, '|').at(4) == aText ? 1 : 0;
    }
    return count;
  }
  // Texts the server answers with something other than "200".
  std::function<std::string(int, const std::string&)>
  answerFor(std::map<std::string, std::string> aAnswers) {
    return [aAnswers](int, const std::string& aEntry) {
      const auto found = aAnswers.find(kvlogging::splitFields(aEntry, '|').at(4));
      return found == aAnswers.end() ? std::string("200") : found->second;
    };
  }
  void TearDown() override {
    fLogger.clearAppenders();
    fAppender.reset(); // stops the sender before the server goes
    if (fServer) {
      fServer->stop();
    }
  }

  TKvLogger fLogger;
  std::unique_ptr<TKvLogAppenderTCP> fAppender;
  std::unique_ptr<TLogServer> fServer;
  std::function<std::string(int, const std::string&)> fChooseAnswer;
};

TEST_F(KvLogAppenderTCPTest, QueuesWarningsAndAboveOnlyAndStartsOnTheFirstMessage) {
  auto& tcp = appender(closedPort());
  EXPECT_FALSE(tcp.isStarted());
  EXPECT_EQ(tcp.getMaxEntries(), IC_DEFAULTMAXTCPENTRIES);
  fLogger.setCurrentLevel(KVLL_TRACE);
  fLogger.info("m", "info");
  EXPECT_TRUE(tcp.isStarted());
  fLogger.debug("m", "debug");
  fLogger.trace("m", "trace");
  fLogger.warn("m", "warn");
  fLogger.error("m", "error");
  fLogger.fatal("m", "fatal");
  EXPECT_EQ(tcp.getCurrentEntries(), 3);
  TKvLoggerMessageFilterModuleEquals onlyDb;
  onlyDb.setText("db");
  tcp.setUserFilter(&onlyDb);
  fLogger.error("m", "not db");
  fLogger.error("db", "db");
  EXPECT_EQ(tcp.getCurrentEntries(), 4);
  tcp.setUserFilter(nullptr);
  EXPECT_NE(tcp.consumeEntry().find("|warn|m|warn|"), std::string::npos) << "rendered when queued";
}

TEST_F(KvLogAppenderTCPTest, DeliversEveryEntryOnceAndInOrder) {
  startServer();
  appender(fServer->port());
  std::vector<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    expected.push_back("entry " + std::to_string(i));
    fLogger.warn("order", expected.back());
  }
  ASSERT_TRUE(waitFor([&] { return fServer->storedLines().size() >= expected.size(); }));
  EXPECT_EQ(stored(), expected);
  EXPECT_EQ(fServer->requests().size(), expected.size());
  EXPECT_EQ(fServer->connectionCount(), 1);
  const auto fields = kvlogging::splitFields(fServer->storedLines()[0], '|');
  EXPECT_EQ(fields.at(9), "testhost");
}

TEST_F(KvLogAppenderTCPTest, TreatsTwoHundredWithTextLikeTwoHundred) {
  fChooseAnswer = [](int, const std::string&) { return std::string("200:OK"); };
  startServer();
  appender(fServer->port());
  fLogger.error("m", "one");
  fLogger.error("m", "two");
  ASSERT_TRUE(waitFor([&] { return fServer->requests().size() >= 2; }));
  EXPECT_EQ(stored(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(fServer->requests().size(), 2u);
}

TEST_F(KvLogAppenderTCPTest, ARefusedEntryIsTriedElevenTimesThenTheClientLogsInAgain) {
  fChooseAnswer = answerFor({{"refused", "401:denied"}});
  startServer(0, "logger", "secret");
  auto& tcp = appender(fServer->port(), TKvLogAppenderTCPTiming()); // the protocol's own timing
  tcp.setUsername("logger");
  tcp.setPassword("secret");
  fLogger.error("m", "refused");
  fLogger.error("m", "next");
  ASSERT_TRUE(waitFor([&] { return !fServer->storedLines().empty(); }));
  EXPECT_EQ(requestsFor("refused"), 11);
  EXPECT_EQ(stored(), (std::vector<std::string>{"next"}));
  const auto requests = fServer->requests();
  EXPECT_EQ(requests.front().Connection, 1);
  EXPECT_EQ(requests.back().Connection, 2);
  EXPECT_EQ(fServer->loginCount(), 2);
}

TEST_F(KvLogAppenderTCPTest, ASilentServerCostsTheAnswerTimeOfEachAttempt) {
  fChooseAnswer = answerFor({{"unanswered", ""}});
  startServer();
  TKvLogAppenderTCPTiming timing = fastTiming();
  timing.AnswerTimeoutMs = 100;
  appender(fServer->port(), timing).setRetryCount(2);
  fLogger.error("m", "unanswered");
  fLogger.error("m", "answered");
  ASSERT_TRUE(waitFor([&] { return !fServer->storedLines().empty(); }));
  EXPECT_EQ(requestsFor("unanswered"), 3);
  EXPECT_EQ(stored(), (std::vector<std::string>{"answered"}));
  EXPECT_EQ(fServer->connectionCount(), 2);
}

TEST_F(KvLogAppenderTCPTest, AConnectionClosedByTheServerLosesOnlyTheEntryInFlight) {
  fChooseAnswer = answerFor({{"cut", "close"}});
  startServer();
  appender(fServer->port());
  fLogger.error("m", "before");
  fLogger.error("m", "cut");
  fLogger.error("m", "after");
  ASSERT_TRUE(waitFor([&] { return fServer->storedLines().size() >= 2; }));
  EXPECT_EQ(stored(), (std::vector<std::string>{"before", "after"}));
  EXPECT_EQ(requestsFor("cut"), 1) << "the retries went into the closed connection";
  EXPECT_EQ(fServer->connectionCount(), 2);
}

TEST_F(KvLogAppenderTCPTest, AnEntryWithLineBreaksStaysOneRequest) {
  startServer();
  appender(fServer->port());
  fLogger.error("m", "line1\r\nlog:forged|x");
  fLogger.error("m", "last");
  ASSERT_TRUE(waitFor([&] { return fServer->storedLines().size() >= 2; }));
  EXPECT_EQ(stored(), (std::vector<std::string>{"line1~#13~~#10~log:forged-x", "last"}));
  EXPECT_EQ(fServer->requests().size(), 2u);
}

TEST_F(KvLogAppenderTCPTest, AFullQueueDropsNewMessagesAndDrainsOnceTheServerIsThere) {
  const int port = closedPort();
  auto& tcp = appender(port);
  std::vector<int> overflows;
  tcp.OnOverflow = [&](int aLimit) { overflows.push_back(aLimit); };
  for (int i = 0; i < IC_DEFAULTMAXTCPENTRIES + 1; ++i) {
    fLogger.warn("m", "queued " + std::to_string(i));
  }
  EXPECT_EQ(tcp.getCurrentEntries(), IC_DEFAULTMAXTCPENTRIES);
  EXPECT_EQ(overflows, std::vector<int>{IC_DEFAULTMAXTCPENTRIES});

  startServer(port);
  ASSERT_TRUE(waitFor([&] { return tcp.getCurrentEntries() == 0; }, std::chrono::seconds(60)));
  ASSERT_TRUE(waitFor([&] { return fServer->storedLines().size() >= 5000u; }));
  const auto texts = stored();
  EXPECT_EQ(texts.front(), "queued 0");
  EXPECT_EQ(texts.back(), "queued 4999");
}

TEST_F(KvLogAppenderTCPTest, StopKeepsTheQueueAndTheNextMessageStartsSendingAgain) {
  const int port = closedPort();
  auto& tcp = appender(port);
  fLogger.error("m", "one");
  fLogger.error("m", "two");
  tcp.stop();
  EXPECT_FALSE(tcp.isStarted());
  EXPECT_EQ(tcp.getCurrentEntries(), 2);
  startServer(port);
  fLogger.error("m", "three");
  EXPECT_TRUE(tcp.isStarted());
  ASSERT_TRUE(waitFor([&] { return fServer->storedLines().size() >= 3; }));
  EXPECT_EQ(stored(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(KvLogAppenderTCPTest, AnInvalidPortOnlyFillsTheQueue) {
  auto& tcp = appender(70000);
  fLogger.error("m", "kept");
  EXPECT_TRUE(tcp.isStarted());
  tcp.stop();
  EXPECT_FALSE(tcp.consumeEntry().empty());
  EXPECT_EQ(tcp.consumeEntry(), "");
}

// Takes the lines a client sends, to see them byte for byte.
TEST(KvLogAppenderTCPWireTest, LogsInAndSendsLogRequestsOfThirteenFields) {
  for (const std::string password : {"secret", ""}) {
    platform::TTcpServer server;
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    TKvLogAppenderTCP tcp;
    tcp.setHostOrIP("localhost");
    tcp.setPort(server.port());
    tcp.setUsername("logger");
    tcp.setPassword(password);
    tcp.setMachineIdent("box");
    tcp.setTiming(fastTiming());
    tcp.append(TKvLoggerMessage("Parlino", "12", "svc", KVLL_WARN, "servercontroller", "w", "none",
                                "", "7", nullptr));
    platform::TTcpClient peer;
    ASSERT_TRUE(server.accept(peer, 5000));
    std::string user, digest, request;
    ASSERT_TRUE(peer.readLine(user, 5000));
    ASSERT_TRUE(peer.readLine(digest, 5000));
    ASSERT_TRUE(peer.readLine(request, 5000));
    EXPECT_EQ(user, "logger");
    EXPECT_EQ(digest, password.empty() ? "" : "5EBE2294ECD0E0F08EAB7690D2A6EE69");
    ASSERT_TRUE(request.starts_with("log:Parlino|"));
    const auto fields = kvlogging::splitFields(request.substr(4), '|');
    ASSERT_EQ(fields.size(), 13u);
    EXPECT_EQ(fields[2], "warn");
    EXPECT_EQ(fields[3], "servercontroller");
    EXPECT_EQ(fields[12], "box");
    ASSERT_TRUE(peer.sendLine("200", 1000));
    tcp.stop();
  }
}

TEST(KvLoggerServerLoggingTest, InitializeServerTcpLoggingConfiguresOneAppender) {
  TKvLogger logger;
  TKvLoggerMessageFilterLevelSet levels;
  levels.setLevelAndAbove(KVLL_ERROR);
  logger.initializeServerTCPLogging("Parlino", "loghost", 4711, "", 10, "u", "p",
                                    levels.getLevelSet());
  ASSERT_EQ(logger.getAppenderCount(), 1);
  auto* tcp = dynamic_cast<TKvLogAppenderTCP*>(logger.getAppender(0));
  ASSERT_NE(tcp, nullptr);
  EXPECT_FALSE(tcp->isStarted());
  EXPECT_EQ(tcp->getHostOrIP(), "loghost");
  EXPECT_EQ(tcp->getPort(), 4711);
  EXPECT_EQ(tcp->getRetryCount(), 10);
  EXPECT_EQ(tcp->getUsername(), "u");
  EXPECT_EQ(tcp->getPassword(), "p");
  EXPECT_EQ(tcp->getMachineIdent(), logger.getMachineIdent());
  EXPECT_EQ(tcp->getFormater().getMachineIdent(), logger.getMachineIdent());
  EXPECT_EQ(tcp->getLevelFilter().getLevelSet(), levels.getLevelSet());
  EXPECT_EQ(logger.getApplicationID(), "Parlino");

  logger.initializeServerTCPLogging("Other", "host2", 1, "box", 3, "", "", TKvLoggerLevelSet(0x3F));
  ASSERT_EQ(logger.getAppenderCount(), 1);
  EXPECT_EQ(tcp->getHostOrIP(), "host2");
  EXPECT_EQ(tcp->getRetryCount(), 3);
  EXPECT_EQ(tcp->getMachineIdent(), "box");
  EXPECT_EQ(tcp->getFormater().getMachineIdent(), "box") << "the lines carry the new ident";
  EXPECT_EQ(logger.getApplicationID(), "Other");
}

} // namespace
