// parlino with logging to a server: its warnings and errors reach parlino-logserver over
// loopback while its own daily file goes on, and entries logged while the log server is down
// arrive once it is back.
#include "tests/e2e/ParlinoProgram.h"
#include "tests/support/LocalServices.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>

namespace {

using namespace testsupport;

class LogToServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    startLogServer();
    parlinotest::writeOptionsFile(fDir, {{"LogPath", "log/"},
                                         {"DatabaseHost", ""},
                                         {"Database", fDir.file("missing.fdb")},
                                         {"HTTPPort", std::to_string(fHttpPort)},
                                         {"LogToServer", "1"},
                                         {"LogServerHost", "127.0.0.1"},
                                         {"LogServerPort", std::to_string(fLogPort)},
                                         {"LogServerUser", "logger"},
                                         {"LogServerPasswd", "secret"},
                                         {"LogServerLevel", "warn"},
                                         {"LogServerMachineIdent", "gateway1"}});
    fGateway = parlinotest::startParlino(fDir);
    ASSERT_TRUE(waitFor([&] { return ownLog().find("HTTP server listening") != std::string::npos; },
                        parlinotest::kStartTimeout))
        << ownLog();
  }

  void TearDown() override {
    if (fGateway) {
      fGateway->signal(SIGTERM);
      EXPECT_EQ(fGateway->wait(), 0);
    }
  }

  // The first start takes a free port; a restart listens on the same one again.
  void startLogServer() {
    const std::string port = fLogPort == 0 ? "0" : std::to_string(fLogPort);
    writeFile(fDir.file("logserver.port"), "");
    fLogServer = std::make_unique<TChildProcess>(
        buildPath("tools/logserver/parlino-logserver"),
        std::vector<std::string>{"--port", port, "--port-file", fDir.file("logserver.port"),
                                 "--output", fDir.file("remote.log"), "--user", "logger",
                                 "--password", "secret"},
        fDir.path(), fDir.file("logserver.err"));
    ASSERT_TRUE(waitFor([&] { return !readFile(fDir.file("logserver.port")).empty(); }))
        << readFile(fDir.file("logserver.err"));
    fLogPort = std::stoi(readFile(fDir.file("logserver.port")));
  }

  void stopLogServer() {
    fLogServer->signal(SIGTERM);
    EXPECT_EQ(fLogServer->wait(), 0);
  }

  std::string ownLog() const {
    const auto names = listDirectory(fDir.file("log"));
    return names.empty() ? std::string() : readFile(fDir.file("log/" + names.front()));
  }
  std::string remoteLog() const { return readFile(fDir.file("remote.log")); }
  bool remoteLogHas(const std::string& aText) const {
    return waitFor([&] { return remoteLog().find(aText) != std::string::npos; },
                   std::chrono::seconds(20));
  }

  // An unknown command: the gateway answers 501 and logs a warning naming the path.
  void requestUnknown(const std::string& aPath) {
    httplib::Client client("127.0.0.1", fHttpPort);
    const auto answer = client.Get(aPath);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 501);
  }

  TTempDir fDir;
  int fHttpPort = testsupport::freeLoopbackPort();
  int fLogPort = 0;
  std::unique_ptr<TChildProcess> fLogServer;
  std::unique_ptr<TChildProcess> fGateway;
};

TEST_F(LogToServerTest, WarningsAndErrorsReachTheLogServerAndTheOwnFile) {
  requestUnknown("/nosuchcommand");
  EXPECT_TRUE(remoteLogHas("UNKNOWN request \"/nosuchcommand\", sc=501"));
  EXPECT_TRUE(remoteLogHas("config file NOT loaded"));
  EXPECT_TRUE(remoteLogHas("|error.servercontroller|on connect: "));
  // Lines in the file format with the sender's machine ident; info stays in the own file.
  EXPECT_NE(remoteLog().find("|gateway1|"), std::string::npos);
  EXPECT_EQ(remoteLog().find("starting..."), std::string::npos);

  const std::string own = ownLog();
  EXPECT_NE(own.find("log to server activated: app=Parlino; host=127.0.0.1; port=" +
                     std::to_string(fLogPort) + "; user=logger"),
            std::string::npos);
  EXPECT_NE(own.find("UNKNOWN request \"/nosuchcommand\", sc=501"), std::string::npos);
  EXPECT_NE(own.find("starting..."), std::string::npos);
}

TEST_F(LogToServerTest, EntriesLoggedWhileTheLogServerIsDownArriveAfterItsReturn) {
  requestUnknown("/before");
  ASSERT_TRUE(remoteLogHas("\"/before\""));
  stopLogServer();
  requestUnknown("/while-down-1");
  requestUnknown("/while-down-2");
  startLogServer();
  EXPECT_TRUE(remoteLogHas("\"/while-down-2\""));
  const std::string remote = remoteLog();
  const auto first = remote.find("\"/while-down-1\"");
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(first, remote.find("\"/while-down-2\""));
  EXPECT_EQ(remote.find("\"/before\""), remote.rfind("\"/before\"")) << "delivered once";
}

} // namespace
