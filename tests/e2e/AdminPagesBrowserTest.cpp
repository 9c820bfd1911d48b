// The administration pages in Debian's chromium, driven by playwright-core from
// tests/e2e/browser: parlino with the modem simulator and a database on the local Firebird
// server, a short page session time-out, and a browser script run by node's test runner.
// Screenshots go to <build>/test-artifacts/browser/.
#include "server/Accounts.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/server/DbTestSupport.h"
#include "tests/support/LocalServices.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <memory>

namespace {

using namespace testsupport;
using dbtest::EDbEngine;

// The account with markup in its name: shown as text, never run.
const std::string kMarkupName = "<img src=x onerror=\"window.__pwned=1\"><script>window.__pwned=2"
                                "</script>&amp;";
constexpr int kSessionTimeoutMs = 6000;

bool programOnPath(const std::string& aName) {
  return std::system(("command -v " + aName + " >/dev/null 2>&1").c_str()) == 0;
}

std::string shellQuoted(const std::string& aText) {
  std::string result = "'";
  for (const char c : aText) {
    result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return result + "'";
}

// The gateway as the browser scripts meet it: a database on the Firebird server, the modem
// simulator as COM3 ("Brevant", "GX-7", "4711"), and parlino on a free port.
class AdminPagesBrowserTest : public testing::Test {
protected:
  void SetUp() override {
    dbtest::requireEngine(EDbEngine::server);
    if (IsSkipped()) {
      return;
    }
    ASSERT_TRUE(access("/usr/bin/chromium", X_OK) == 0) << "chromium missing: scripts/install-deps";
    ASSERT_TRUE(programOnPath("node")) << "node missing: scripts/install-deps";
    fScripts = sourcePath("tests/e2e/browser");
    ASSERT_TRUE(access((fScripts + "/node_modules/playwright-core").c_str(), F_OK) == 0)
        << "playwright-core missing: run scripts/install-deps (npm ci in tests/e2e/browser)";
    fDatabase = std::make_unique<dbtest::TTestDatabase>(EDbEngine::server);
  }

  void addAccount(const std::string& aName, const std::string& aPassword, int aType,
                  const std::string& aReceivePattern) {
    fDatabase->exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                    "ACCOUNTTYPE, CREATIONTIME, EXTRADATAID) values (:0, :1, :2, 'true', :3, "
                    "current_timestamp, 0)",
                    {fNextAccount, aName, encodeMD5(aPassword), aType});
    if (!aReceivePattern.empty()) {
      fDatabase->exec(
          "insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (:0, :1, :2)",
          {fNextAccount, fNextAccount, aReceivePattern});
    }
    ++fNextAccount;
  }

  std::string log() const {
    const auto names = listDirectory(fDir.file("log"));
    return names.empty() ? std::string() : readFile(fDir.file("log/" + names.back()));
  }

  // Starts the simulator and parlino, runs the browser script with the gateway's address and
  // aEnvironment ("NAME=value" words, quoted), stops parlino; returns node's output.
  std::string runScript(const std::string& aScript, const std::string& aEnvironment = {}) {
    const std::string dev = fDir.file("dev");
    mkdir(dev.c_str(), 0755);
    TChildProcess simulator(buildPath("tools/modemsim/parlino-modemsim"),
                            {"--link", dev + "/COM3", "--control", fDir.file("sim.ctl"), "--log",
                             fDir.file("sim.log"), "--vendor", "Brevant", "--model", "GX-7",
                             "--serial", "4711"},
                            fDir.path(), fDir.file("sim.out"));
    EXPECT_TRUE(waitFor([&] { return access((dev + "/COM3").c_str(), F_OK) == 0; }));
    const int port = testsupport::freeLoopbackPort();
    const TBizDatabaseSettings& db = fDatabase->settings();
    parlinotest::writeOptionsFile(fDir, {{"Database", db.Name},
                                         {"DatabaseHost", db.Host},
                                         {"DatabaseUser", db.Username},
                                         {"DatabasePassword", db.Password},
                                         {"DatabaseEncoding", "UTF8"},
                                         {"HTTPPort", std::to_string(port)},
                                         {"LogPath", fDir.file("log") + "/"},
                                         {"LogLevel", "debug"},
                                         {"SerialDeviceDir", dev},
                                         {"SMSCheckIntervall", "300"}});
    parlinotest::writeModemConfiguration(fDir);
    TChildProcess server(buildPath("apps/parlino/parlino"),
                         {"--startup-delay-ms", "0", "--options", fDir.file("parlino.reg"),
                          "--home", fDir.path(), "--session-timeout-ms",
                          std::to_string(kSessionTimeoutMs)},
                         fDir.path(), fDir.file("parlino.out"));
    if (!waitFor([&] { return log().find("serial modem activated (COM3)") != std::string::npos; },
                 std::chrono::seconds(60))) {
      ADD_FAILURE() << log();
      return {};
    }
    const std::string command =
        "cd " + shellQuoted(fScripts) + " && PARLINO_URL=http://127.0.0.1:" + std::to_string(port) +
        " PARLINO_ARTIFACTS=" + shellQuoted(artifacts()) +
        " PARLINO_SESSION_TIMEOUT_MS=" + std::to_string(kSessionTimeoutMs) +
        " PARLINO_MODEMSIM=" + shellQuoted(buildPath("tools/modemsim/parlino-modemsim")) +
        " PARLINO_SIM_CONTROL=" + shellQuoted(fDir.file("sim.ctl")) + " " + aEnvironment +
        " node --test --test-concurrency=1 " + aScript + " > " +
        shellQuoted(fDir.file("node.out")) + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = readFile(fDir.file("node.out"));
    std::fputs(output.c_str(), stdout);
    EXPECT_EQ(status, 0) << output;
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(), 0);
    return output;
  }

  static std::string artifacts() {
    const std::string folder = buildPath("test-artifacts/browser");
    EXPECT_EQ(std::system(("mkdir -p " + shellQuoted(folder)).c_str()), 0);
    return folder;
  }

  // Checks that none of the session tokens the script noted in aTokenFile reached the log.
  void expectNoTokenInLog(const std::string& aTokenFile) {
    const std::string written = log();
    const std::string tokens = readFile(artifacts() + "/" + aTokenFile);
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

  std::string fScripts;
  std::unique_ptr<dbtest::TTestDatabase> fDatabase;
  TTempDir fDir;
  int fNextAccount = 1;
};

TEST_F(AdminPagesBrowserTest, AnAdministratorWorksThePagesInChromium) {
  if (IsSkipped()) {
    return;
  }
  addAccount("admin", "admin", IC_ACCOUNTTYPE_ADMIN, "");
  addAccount("anna", "geheim", 3, "4917");
  addAccount(kMarkupName, "markup", IC_ACCOUNTTYPE_ADMIN, "");
  // Two SMS wait for anna already.
  fDatabase->exec("insert into smsserver_unread (ID, ACCOUNTID, ORIGINATOR, SMSTEXT) values "
                  "(101, 2, '491711', 'eins')");
  fDatabase->exec("insert into smsserver_unread (ID, ACCOUNTID, ORIGINATOR, SMSTEXT) values "
                  "(102, 2, '491711', 'zwei')");
  runScript("admin-pages.test.js", "PARLINO_MARKUP_ACCOUNT=" + shellQuoted(kMarkupName) +
                                       " PARLINO_TOKENS=admin-pages-tokens.txt");
  EXPECT_NE(log().find("administrator \"admin\" logged on"), std::string::npos) << log();
  expectNoTokenInLog("admin-pages-tokens.txt");
}

TEST_F(AdminPagesBrowserTest, AccountsSendingAndTheMessageLists) {
  if (IsSkipped()) {
    return;
  }
  addAccount("admin", "admin", IC_ACCOUNTTYPE_ADMIN, "");
  addAccount("Admin", "Admin", 3, "");
  addAccount("anna", "geheim", 1, "");
  addAccount("pflege", "pflege1", IC_ACCOUNTTYPE_ADMIN, "");
  fDatabase->exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                  "ACCOUNTTYPE, CREATIONTIME, EXPIRATIONTIME, EXTRADATAID) values (50, "
                  "'befristet', :0, 'false', 2, current_timestamp, "
                  "timestamp '2027-03-15 00:00:00', 77)",
                  {encodeMD5("befristet")});
  // Received SMS: one whose text and sender carry markup, then enough for three windows.
  fDatabase->exec("insert into smsserver_in (ID, ORIGINATOR, SMSTYPE, MESSAGE_DATE, SMSTEXT) "
                  "values (1, '<b>4917</b>', 'I', timestamp '2026-12-11 09:00:00', "
                  "'<script>window.__pwned=1</script><img src=x onerror=\"window.__pwned=2\">')");
  fDatabase->exec("insert into smsserver_in (ID, ORIGINATOR, SMSTYPE, MESSAGE_DATE, SMSTEXT) "
                  "with recursive n (i) as (select 2 from rdb$database union all "
                  "select i + 1 from n where i < 45) select i, '4917' || (1000 + i), 'I', "
                  "dateadd(i minute to timestamp '2026-12-11 10:00:00'), 'Nachricht ' || i "
                  "from n");
  fDatabase->exec("insert into smsserver_out (ID, SMSTYPE, RECIPIENT, SMSTEXT, CREATE_DATE) "
                  "values (1, 'O', '4930123', 'Erste Antwort', timestamp '2026-12-10 08:00:00')");
  runScript("data-pages.test.js", "PARLINO_TOKENS=data-pages-tokens.txt");
  expectNoTokenInLog("data-pages-tokens.txt");

  // What the pages left in the database once parlino has stopped and the pages are gone.
  const auto pflege =
      fDatabase->query("select ACCOUNTPWD, ACCOUNTTYPE from ACCOUNTS where ACCOUNTNAME = 'pflege'");
  ASSERT_EQ(pflege.size(), 1u);
  EXPECT_EQ(pflege[0][0].asString(), encodeMD5("neu-geheim"));
  EXPECT_EQ(
      fDatabase->scalar("select count(*) from ACCOUNTS where ACCOUNTNAME = 'Admin'").asInt64(), 1);
  EXPECT_EQ(
      fDatabase->scalar("select count(*) from ACCOUNTS where ACCOUNTNAME = 'neu12'").asInt64(), 1);
  EXPECT_EQ(
      fDatabase->scalar("select EXTRADATAID from ACCOUNTS where ACCOUNTNAME = 'neu12'").asInt64(),
      0);
  EXPECT_TRUE(fDatabase->scalar("select EXPIRATIONTIME from ACCOUNTS where ACCOUNTNAME = 'neu12'")
                  .isNull());
  EXPECT_EQ(fDatabase->scalar("select count(*) from smsserver_in where ID = 2").asInt64(), 0);
  EXPECT_EQ(fDatabase->scalar("select SMSTEXT from smsserver_in where ID = 3").asString(),
            "Geändert");
  EXPECT_EQ(fDatabase->scalar("select SMSTEXT from smsserver_in where ID = 47").asString(),
            "Von Hand eingetragen");
  EXPECT_EQ(fDatabase->scalar("select count(*) from smsserver_out where RECIPIENT = '+4917612345'")
                .asInt64(),
            1);
}

} // namespace
