#include "logging/KvLogAppenderTCP.h"
#include "logging/KvLogger.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace testsupport;

// The built parlino-logserver, started on a free port that it reports through a file.
class LogServerProcessTest : public ::testing::Test {
protected:
  void start(std::vector<std::string> aArguments) {
    aArguments.insert(aArguments.end(), {"--port", "0", "--port-file", fDir.file("port"),
                                         "--output", fDir.file("out.log")});
    fServer = std::make_unique<TChildProcess>(buildPath("tools/logserver/parlino-logserver"),
                                              aArguments, fDir.path(), fDir.file("stderr.txt"));
    ASSERT_TRUE(waitFor([&] { return !readFile(fDir.file("port")).empty(); }))
        << readFile(fDir.file("stderr.txt"));
    fPort = std::stoi(readFile(fDir.file("port")));
  }
  TKvLogAppenderTCP& appender() {
    fAppender = std::make_unique<TKvLogAppenderTCP>();
    fAppender->setHostOrIP("127.0.0.1");
    fAppender->setPort(fPort);
    fAppender->setMachineIdent("gateway1");
    TKvLogAppenderTCPTiming timing;
    timing.ReconnectPauseMs = 50;
    timing.RetryPauseMs = 5;
    timing.IdlePauseMs = 10;
    fAppender->setTiming(timing);
    fLogger.addAppender(fAppender.get());
    return *fAppender;
  }
  std::vector<std::string> outputLines() {
    std::vector<std::string> lines;
    const std::string text = readFile(fDir.file("out.log"));
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }
  std::vector<std::string> outputTexts() {
    std::vector<std::string> texts;
    for (const std::string& line : outputLines()) {
      texts.push_back(kvlogging::splitFields(line, '|').at(3));
    }
    return texts;
  }
  void TearDown() override {
    fLogger.clearAppenders();
    fAppender.reset();
  }

  TTempDir fDir;
  std::unique_ptr<TChildProcess> fServer;
  int fPort = 0;
  TKvLogger fLogger;
  std::unique_ptr<TKvLogAppenderTCP> fAppender;
};

TEST_F(LogServerProcessTest, WritesTheEntriesOfALoggedInClientAndStopsOnSigterm) {
  start({"--user", "logger", "--password", "secret", "--verbose"});
  auto& tcp = appender();
  tcp.setUsername("logger");
  tcp.setPassword("secret");
  const std::runtime_error problem("disk full");
  fLogger.warn("servercontroller", "first|with bar");
  fLogger.info("servercontroller", "not sent: below the appender's levels");
  fLogger.error("db.checkaccount", "second", KVLCAT_STARTUP, &problem);
  ASSERT_TRUE(waitFor([&] { return outputLines().size() >= 2; }));
  EXPECT_EQ(outputTexts(), (std::vector<std::string>{"first-with bar", "second"}));
  const auto fields = kvlogging::splitFields(outputLines()[1], '|');
  ASSERT_EQ(fields.size(), 11u);                 // the empty stack trace at the end makes no field
  EXPECT_EQ(fields[2], "error.db.checkaccount"); // the exception object stays behind
  EXPECT_EQ(fields[6], "startup");
  EXPECT_EQ(fields[9], "gateway1");
  EXPECT_EQ(fields[10], "std::runtime_error");
  fServer->signal(SIGTERM);
  EXPECT_EQ(fServer->wait(), 0);
  EXPECT_NE(readFile(fDir.file("stderr.txt")).find("login of \"logger\" accepted"),
            std::string::npos);
}

TEST_F(LogServerProcessTest, AClientWithAWrongPasswordIsRefused) {
  start({"--user", "logger", "--password", "secret", "--verbose"});
  auto& tcp = appender();
  tcp.setUsername("logger");
  tcp.setPassword("wrong");
  tcp.setRetryCount(0);
  fLogger.error("m", "refused");
  // The client closes the connection once it has given the entry up.
  ASSERT_TRUE(waitFor([&] {
    return readFile(fDir.file("stderr.txt")).find("connection 1 ended") != std::string::npos;
  }));
  EXPECT_NE(readFile(fDir.file("stderr.txt")).find("401:login refused"), std::string::npos);
  tcp.setPassword("secret");
  tcp.stop(); // the next message starts a sender with the right password
  fLogger.error("m", "accepted");
  ASSERT_TRUE(waitFor([&] { return !outputLines().empty(); }));
  EXPECT_EQ(outputTexts(), (std::vector<std::string>{"accepted"}));
}

TEST_F(LogServerProcessTest, DropAfterClosesTheConnectionAtTheNextEntry) {
  start({"--drop-after", "1"});
  appender();
  for (const std::string text : {"one", "two", "three", "four"}) {
    fLogger.error("m", text);
  }
  ASSERT_TRUE(waitFor([&] { return outputLines().size() >= 2; }));
  ASSERT_TRUE(waitFor([&] { return fAppender->getCurrentEntries() == 0; }));
  // "two" and "four" each arrived as the second entry of a connection and were cut off.
  EXPECT_EQ(outputTexts(), (std::vector<std::string>{"one", "three"}));
}

TEST(LogServerArgumentsTest, RefusesBadArgumentsWithAMessage) {
  TTempDir dir;
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--port", "70000"},
                                             {"--port"},
                                             {"--frobnicate"},
                                             {"--drop-after", "0"},
                                             {"--port", "0", "--bind", "not-an-address"}}) {
    TChildProcess server(buildPath("tools/logserver/parlino-logserver"), arguments, dir.path(),
                         dir.file("stderr.txt"));
    const int code = server.wait();
    EXPECT_TRUE(code == 1 || code == 2) << arguments[0] << " gave " << code;
    EXPECT_NE(readFile(dir.file("stderr.txt")).find("parlino-logserver: "), std::string::npos);
  }
  TChildProcess help(buildPath("tools/logserver/parlino-logserver"), {"--help"}, dir.path(),
                     dir.file("help.txt"));
  EXPECT_EQ(help.wait(), 0);
  EXPECT_NE(readFile(dir.file("help.txt")).find("--drop-after"), std::string::npos);
}

} // namespace
