// The administration pages in Debian's chromium, driven by playwright-core from
// tests/e2e/browser: parlino with the modem simulator and a database on the local Firebird
// server, a short page session time-out, and the browser scripts run by node's test runner.
// Screenshots go to <build>/test-artifacts/browser/.
#include "platform/TcpServer.h"
#include "server/Accounts.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/server/DbTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace {

using namespace testsupport;
using dbtest::EDbEngine;

// The account with markup in its name: shown as text, never run.
const std::string kMarkupName = "<img src=x onerror=\"window.__pwned=1\"><script>window.__pwned=2"
                                "</script>&amp;";

bool programOnPath(const std::string& aName) {
  return std::system(("command -v " + aName + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const std::string& aText) {
  std::string result = "'";
  for (const char c : aText) {
    result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return result + "'";
}

TEST(AdminPagesBrowserTest, AnAdministratorWorksThePagesInChromium) {
  dbtest::requireEngine(EDbEngine::server);
  if (IsSkipped()) {
    return;
  }
  ASSERT_TRUE(access("/usr/bin/chromium", X_OK) == 0) << "chromium missing: scripts/install-deps";
  ASSERT_TRUE(programOnPath("node")) << "node missing: scripts/install-deps";
  const std::string scripts = sourcePath("tests/e2e/browser");
  ASSERT_TRUE(access((scripts + "/node_modules/playwright-core").c_str(), F_OK) == 0)
      << "playwright-core missing: run scripts/install-deps (npm ci in tests/e2e/browser)";

  dbtest::TTestDatabase database(EDbEngine::server);
  int id = 1;
  const auto addAccount = [&](const std::string& aName, const std::string& aPassword, int aType,
                              const std::string& aReceivePattern) {
    database.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                  "ACCOUNTTYPE, CREATIONTIME, EXTRADATAID) values (:0, :1, :2, 'true', :3, "
                  "current_timestamp, 0)",
                  {id, aName, encodeMD5(aPassword), aType});
    if (!aReceivePattern.empty()) {
      database.exec("insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (:0, :1, :2)",
                    {id, id, aReceivePattern});
    }
    ++id;
  };
  addAccount("admin", "admin", IC_ACCOUNTTYPE_ADMIN, "");
  addAccount("anna", "geheim", 3, "4917");
  addAccount(kMarkupName, "markup", IC_ACCOUNTTYPE_ADMIN, "");
  // Two SMS wait for anna already.
  database.exec("insert into smsserver_unread (ID, ACCOUNTID, ORIGINATOR, SMSTEXT) values "
                "(101, 2, '491711', 'eins')");
  database.exec("insert into smsserver_unread (ID, ACCOUNTID, ORIGINATOR, SMSTEXT) values "
                "(102, 2, '491711', 'zwei')");

  TTempDir dir;
  const std::string dev = dir.file("dev");
  mkdir(dev.c_str(), 0755);
  TChildProcess simulator(buildPath("tools/modemsim/parlino-modemsim"),
                          {"--link", dev + "/COM3", "--control", dir.file("sim.ctl"), "--log",
                           dir.file("sim.log"), "--vendor", "Brevant", "--model", "GX-7",
                           "--serial", "4711"},
                          dir.path(), dir.file("sim.out"));
  ASSERT_TRUE(waitFor([&] { return access((dev + "/COM3").c_str(), F_OK) == 0; }));
  const int port = platform::freeLoopbackPort();
  const TBizDatabaseSettings& db = database.settings();
  parlinotest::writeOptionsFile(dir, {{"Database", db.Name},
                                      {"DatabaseHost", db.Host},
                                      {"DatabaseUser", db.Username},
                                      {"DatabasePassword", db.Password},
                                      {"DatabaseEncoding", "UTF8"},
                                      {"HTTPPort", std::to_string(port)},
                                      {"LogPath", dir.file("log") + "/"},
                                      {"LogLevel", "debug"},
                                      {"SerialDeviceDir", dev},
                                      {"SMSCheckIntervall", "300"}});
  writeFile(dir.file("Parlino.kvcfg"),
            "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\" active=\"true\">"
            "<Modemconfig comport=\"3\" baudrate=\"br115200\"/></m></SMSConfigurations>"
            "</kvsmssenderconfiguration>");
  const auto log = [&] {
    const auto names = listDirectory(dir.file("log"));
    return names.empty() ? std::string() : readFile(dir.file("log/" + names.back()));
  };
  constexpr int kSessionTimeoutMs = 6000;
  TChildProcess server(buildPath("apps/parlino/parlino"),
                       {"--startup-delay-ms", "0", "--options", dir.file("parlino.reg"), "--home",
                        dir.path(), "--session-timeout-ms", std::to_string(kSessionTimeoutMs)},
                       dir.path(), dir.file("parlino.out"));
  ASSERT_TRUE(
      waitFor([&] { return log().find("serial modem activated (COM3)") != std::string::npos; },
              std::chrono::seconds(60)))
      << log();

  const std::string artifacts = buildPath("test-artifacts/browser");
  ASSERT_EQ(std::system(("mkdir -p " + quoted(artifacts)).c_str()), 0);
  const std::string command =
      "cd " + quoted(scripts) + " && PARLINO_URL=http://127.0.0.1:" + std::to_string(port) +
      " PARLINO_ARTIFACTS=" + quoted(artifacts) +
      " PARLINO_SESSION_TIMEOUT_MS=" + std::to_string(kSessionTimeoutMs) +
      " PARLINO_MODEMSIM=" + quoted(buildPath("tools/modemsim/parlino-modemsim")) +
      " PARLINO_SIM_CONTROL=" + quoted(dir.file("sim.ctl")) +
      " PARLINO_MARKUP_ACCOUNT=" + quoted(kMarkupName) + " node --test --test-concurrency=1 " +
      "admin-pages.test.js > " + quoted(dir.file("node.out")) + " 2>&1";
  const int status = std::system(command.c_str());
  const std::string output = readFile(dir.file("node.out"));
  std::fputs(output.c_str(), stdout);
  EXPECT_EQ(status, 0) << output;

  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(), 0);
  const std::string written = log();
  EXPECT_NE(written.find("administrator \"admin\" logged on"), std::string::npos) << written;
  // No session token reached the log.
  const std::string tokens = readFile(artifacts + "/tokens.txt");
  std::size_t start = 0;
  int checked = 0;
  while (start < tokens.size()) {
    const std::size_t end = tokens.find('\n', start);
    const std::string token = tokens.substr(start, end - start);
    if (!token.empty()) {
      EXPECT_EQ(written.find(token), std::string::npos) << "token in the log: " << token;
      ++checked;
    }
    start = end == std::string::npos ? tokens.size() : end + 1;
  }
  EXPECT_GT(checked, 0);
}

} // namespace
