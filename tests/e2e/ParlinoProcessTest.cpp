#include "logging/KvLogFormater.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace {

using namespace testsupport;

// True once the process has blocked SIGINT and SIGTERM for its own signal thread, so that a
// signal sent now is handled rather than ending the process.
bool blocksStopSignals(int aPid) {
  const std::string status = readFile("/proc/" + std::to_string(aPid) + "/status");
  const auto at = status.find("SigBlk:");
  if (at == std::string::npos) {
    return false;
  }
  const unsigned long long mask = std::stoull(status.substr(at + 7), nullptr, 16);
  const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
  return (mask & wanted) == wanted;
}

// A scratch installation: options file, home folder and working directory in one place.
class ParlinoProcessTest : public ::testing::Test {
protected:
  void writeOptions(const std::string& aValues) {
    writeFile(fDir.file("parlino.reg"),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]\r\n" +
                  aValues);
  }
  std::unique_ptr<TChildProcess> start(const std::string& aDelay = "0") {
    return parlinotest::startParlino(fDir, aDelay, "stdout.txt");
  }
  std::string logText(const std::string& aFolder) {
    const auto names = listDirectory(fDir.file(aFolder));
    return names.empty() ? std::string() : readFile(fDir.file(aFolder + "/" + names.front()));
  }

  TTempDir fDir;
};

TEST_F(ParlinoProcessTest, StartsLogsItsOptionsAndStopsOnSigterm) {
  writeOptions("\"LogPath\"=\"logs/\"\r\n\"Database\"=\"sms.fdb\"\r\n\"DatabaseHost\"=\"\"\r\n");
  writeFile(fDir.file("Parlino.kvcfg"),
            "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\">"
            "<Modemconfig comport=\"4\" pin=\"0000\"/></m></SMSConfigurations>"
            "</kvsmssenderconfiguration>");
  auto server = start();
  ASSERT_TRUE(waitFor([&] { return logText("logs").find("connect...") != std::string::npos; }));
  server->signal(SIGTERM);
  EXPECT_EQ(server->wait(), 0);

  const auto names = listDirectory(fDir.file("logs"));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(Parlino_\d{4}\.\d{2}\.\d{2}\.kvlog)")));

  const std::string log = logText("logs");
  const std::regex line(
      R"(Parlino\|\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\|[a-z]+\.[a-z.]+\|[^|]*\|\d+\|[^|]*\|[a-z]+\|\|\d+)");
  TKvLogFormaterDefault formater;
  std::vector<std::string> messages;
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string text = log.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    auto message = formater.parseMessage(text);
    ASSERT_TRUE(message) << text;
    messages.push_back(message->getLogMessage());
  }
  EXPECT_EQ(start, log.size()) << "every line ends with CR LF";
  ASSERT_GE(messages.size(), 5u);
  EXPECT_EQ(messages[0],
            "options loaded: db=:3050:sms.fdb; port=8989; loglevel=info; logpath=logs/");
  EXPECT_EQ(messages[1], "starting...");
  EXPECT_EQ(messages[2], "config file found...: " + fDir.file("Parlino.kvcfg"));
  EXPECT_EQ(messages[3], "config file loaded: comport=COM4; pin=0000");
  EXPECT_NE(std::find(messages.begin(), messages.end(), "connect..."), messages.end());
  EXPECT_EQ(messages.back(), "...stopped");
}

TEST_F(ParlinoProcessTest, AStopDuringTheStartupWaitEndsPromptlyAndInOrder) {
  writeOptions("\"LogPath\"=\"logs/\"\r\n\"DatabaseHost\"=\"\"\r\n");
  auto server = start("600000");
  ASSERT_TRUE(waitFor([&] { return blocksStopSignals(server->pid()); }));
  server->signal(SIGINT);
  EXPECT_EQ(server->wait(std::chrono::seconds(20)), 0);
  const std::string log = logText("logs");
  EXPECT_NE(log.find("options loaded"), std::string::npos);
  EXPECT_NE(log.find("config file NOT loaded, defaults were set: comport=COM1; pin="),
            std::string::npos);
  EXPECT_NE(log.find("...stopped"), std::string::npos);
}

TEST_F(ParlinoProcessTest, RejectsAWrongCommandLine) {
  TChildProcess server(buildPath("apps/parlino/parlino"), {"--startup-delay-ms", "soon"},
                       fDir.path(), fDir.file("stdout.txt"));
  EXPECT_EQ(server.wait(), 2);
  EXPECT_NE(readFile(fDir.file("stdout.txt")).find("--startup-delay-ms takes milliseconds"),
            std::string::npos);
}

} // namespace
