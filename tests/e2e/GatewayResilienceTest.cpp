// The gateway when its parts fail, end to end: parlino with the modem simulator, its database
// on the shared Firebird server reached through a TCP forwarder (cut and restored by the
// test, so the server others use keeps running), its logs and message files on a small disk
// of their own where the test may mount one, and HTTP over loopback.
#include "server/Accounts.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/server/DbTestSupport.h"
#include "tests/support/LocalServices.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TcpForwarder.h"
#include "tests/support/TestSupport.h"
#include "tests/webframework/WebTestSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <regex>

namespace {

using namespace testsupport;
using dbtest::EDbEngine;

// One installation: database with accounts and patterns behind a forwarder, simulator,
// options and configuration; logs and message folders on a small disk when one can be had.
class TResilientGateway {
public:
  TResilientGateway()
      : fDatabase(EDbEngine::server),
        fForwarder(std::make_unique<TTcpForwarder>(dbtest::serverLogin().Host, 3050)),
        fPort(freeLoopbackPort()), fDisk(fDir.file("disk"), 2 << 20) {
    seedAccounts();
    const std::string files = fDisk.mounted() ? fDisk.folder() : fDir.file("files");
    ::mkdir(files.c_str(), 0755);
    for (const char* folder : {"received", "sent", "log"}) {
      ::mkdir((files + "/" + folder).c_str(), 0755);
    }
    // The message folders live beside the program's home; here they lead to the disk.
    EXPECT_EQ(::symlink((files + "/received").c_str(), fDir.file("received").c_str()), 0);
    EXPECT_EQ(::symlink((files + "/sent").c_str(), fDir.file("sent").c_str()), 0);
    fLogFolder = files + "/log";
    const std::string dev = fDir.file("dev");
    ::mkdir(dev.c_str(), 0755);
    fSimulator = std::make_unique<TChildProcess>(
        buildPath("tools/modemsim/parlino-modemsim"),
        std::vector<std::string>{"--link", dev + "/COM3", "--control", fDir.file("sim.ctl"),
                                 "--log", fDir.file("sim.log"), "--vendor", "ACME Funk", "--model",
                                 "FM-1", "--serial", "4711", "--signal", "17", "--storage-size",
                                 "20"},
        fDir.path(), fDir.file("sim.out"));
    EXPECT_TRUE(waitFor([&] { return ::access((dev + "/COM3").c_str(), F_OK) == 0; }));
    const TBizDatabaseSettings& db = fDatabase.settings();
    parlinotest::writeOptionsFile(
        fDir, {{"Database", db.Name},
               {"DatabaseHost", "127.0.0.1/" + std::to_string(fForwarder->port())},
               {"DatabaseUser", db.Username},
               {"DatabasePassword", db.Password},
               {"DatabaseEncoding", "UTF8"},
               {"HTTPPort", std::to_string(fPort)},
               {"LogPath", fLogFolder + "/"},
               {"LogLevel", "info"},
               {"SerialDeviceDir", dev},
               {"SMSCheckIntervall", "600000"}});
    parlinotest::writeModemConfiguration(fDir);
    fServer = parlinotest::startParlino(fDir);
    EXPECT_TRUE(waitFor([&] { return log().find("HTTP server listening") != std::string::npos; },
                        parlinotest::kStartTimeout));
    EXPECT_TRUE(
        waitFor([&] { return log().find("serial modem activated (COM3)") != std::string::npos; },
                parlinotest::kStartTimeout))
        << log();
  }
  ~TResilientGateway() {
    fServer->signal(SIGTERM);
    fServer->wait();
  }

  std::string log() const {
    std::string text;
    for (const auto& name : listDirectory(fLogFolder)) {
      text += readFile(fLogFolder + "/" + name);
    }
    return text;
  }
  std::string simulator(const std::string& aLine) {
    return parlinotest::simulatorReply(fDir, aLine);
  }
  httplib::Result get(const std::string& aTarget) {
    httplib::Client client("127.0.0.1", fPort);
    client.set_read_timeout(60, 0);
    return client.Get(aTarget);
  }
  int status(const std::string& aTarget) {
    const auto result = get(aTarget);
    return result ? result->status : 0;
  }
  // A wrong password, left without waiting for its answer: wrong passwords are answered late,
  // but each leaves its warning for the log at once.
  void refusedLogon() {
    webtest::TWebTestSocket client(fPort);
    client.send("GET /sendsms?smsusr=nobody&smspwd=wrong&receiver=4917&message=x HTTP/1.1\r\n"
                "Host: x\r\n\r\n");
    client.readResponse(std::chrono::milliseconds(100));
  }
  std::int64_t count(const std::string& aSQL) { return fDatabase.scalar(aSQL).asInt64(); }
  std::string anna() const { return "smsusr=anna&smspwd=" + encodeMD5("geheim"); }
  std::string admin() const { return "smsusr=admin&smspwd=" + encodeMD5("admin"); }
  std::string messageFolder(const char* aName) const { return fDir.file(aName); }

  dbtest::TTestDatabase fDatabase;
  TTempDir fDir;
  std::unique_ptr<TTcpForwarder> fForwarder;
  int fPort;
  TSmallDisk fDisk;
  std::string fLogFolder;
  std::unique_ptr<TChildProcess> fSimulator;
  std::unique_ptr<TChildProcess> fServer;

private:
  void addAccount(int aId, const std::string& aName, const std::string& aPassword, int aType,
                  const std::string& aSendPattern, const std::string& aReceivePattern) {
    fDatabase.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                   "ACCOUNTTYPE, CREATIONTIME, EXTRADATAID) values (:0, :1, :2, 'true', :3, "
                   "current_timestamp, 0)",
                   {aId, aName, encodeMD5(aPassword), aType});
    fDatabase.exec("insert into SMSSERVER_OUTPATTERNS (ID, ACCOUNTID, PATTERN) values (:0, :1, :2)",
                   {aId, aId, aSendPattern});
    fDatabase.exec("insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (:0, :1, :2)",
                   {aId, aId, aReceivePattern});
  }
  void seedAccounts() {
    addAccount(1, "admin", "admin", IC_ACCOUNTTYPE_ADMIN, "", "none");
    addAccount(2, "anna", "geheim", 3, "+4917", "4917");
  }
};

class GatewayResilienceTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    const char* skip = std::getenv("PARLINO_SKIP_FB_SERVER");
    fSkipped = skip != nullptr && std::string(skip) == "1";
    if (!fSkipped) {
      fGateway = new TResilientGateway();
    }
  }
  static void TearDownTestSuite() {
    delete fGateway;
    fGateway = nullptr;
  }
  void SetUp() override {
    if (fSkipped) {
      GTEST_SKIP() << "PARLINO_SKIP_FB_SERVER=1";
    }
    ASSERT_NE(fGateway, nullptr) << "the installation could not be made";
  }
  static TResilientGateway* fGateway;
  static bool fSkipped;
};
TResilientGateway* GatewayResilienceTest::fGateway = nullptr;
bool GatewayResilienceTest::fSkipped = false;

TEST_F(GatewayResilienceTest, StatusAndMetricsShowTheModemAndTheCountsToAnAdministrator) {
  TResilientGateway& g = *fGateway;
  ASSERT_EQ(g.status("/sendsms?" + g.anna() + "&receiver=4917123&message=Hallo"), 200);
  // Signal and registration come with the polling cycle's full read at activation.
  ASSERT_TRUE(waitFor([&] {
    const auto result = g.get("/status?" + g.admin());
    return result && result->status == 200 &&
           !nlohmann::json::parse(result->body)["modem"]["signal"].is_null();
  }));
  const auto result = g.get("/status?" + g.admin());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->get_header_value("Content-Type"), "application/json; charset=utf-8");
  const auto status = nlohmann::json::parse(result->body);
  EXPECT_EQ(status["modem"]["active"], true);
  EXPECT_EQ(status["modem"]["manufacturer"], "ACME Funk");
  EXPECT_EQ(status["modem"]["model"], "FM-1");
  EXPECT_EQ(status["modem"]["serialNumber"], "4711");
  EXPECT_EQ(status["modem"]["port"], g.fDir.file("dev") + "/COM3");
  EXPECT_EQ(status["modem"]["signal"]["rssi"], 17);
  EXPECT_EQ(status["modem"]["registration"]["status"], 1);
  EXPECT_EQ(status["modem"]["storage"]["total"], 20);
  EXPECT_EQ(status["database"]["connected"], true);
  EXPECT_GE(status["counts"]["sent"], 1);
  EXPECT_FALSE(status["lastSend"].is_null());
  bool sendCounted = false;
  for (const auto& request : status["counts"]["httpRequests"]) {
    sendCounted |= request["command"] == "/sendsms" && request["status"] == 200;
  }
  EXPECT_TRUE(sendCounted) << status.dump();

  const auto basic = [&] {
    httplib::Client client("127.0.0.1", g.fPort);
    client.set_basic_auth("admin", "admin");
    return client.Get("/metrics");
  }();
  ASSERT_TRUE(basic);
  EXPECT_EQ(basic->status, 200);
  EXPECT_NE(basic->body.find("parlino_modem_info{manufacturer=\"ACME Funk\",model=\"FM-1\","
                             "serial_number=\"4711\""),
            std::string::npos)
      << basic->body;
  EXPECT_NE(basic->body.find("parlino_modem_signal_quality 17\n"), std::string::npos);
  EXPECT_NE(basic->body.find("parlino_database_connected 1\n"), std::string::npos);
  if (std::system("command -v promtool >/dev/null 2>&1") == 0) {
    writeFile(g.fDir.file("metrics.txt"), basic->body);
    EXPECT_EQ(std::system(("promtool check metrics < " + g.fDir.file("metrics.txt")).c_str()), 0);
  }

  for (const std::string& target :
       {"/status?" + g.anna(), "/metrics?" + g.anna(), std::string("/metrics"),
        std::string("/status?smsusr=admin&smspwd=x")}) {
    const auto refused = g.get(target);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403) << target;
    EXPECT_EQ(refused->body, "") << target;
  }
}

// Sends a request and drops the connection with a reset as soon as the answer has begun: a
// client that went away while a large answer was on its way.
std::string cutAnswer(int aPort, const std::string& aTarget) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int small = 4096; // the server cannot hand the answer to the kernel all at once
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(aPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string begun;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + aTarget + " HTTP/1.1\r\nHost: gateway\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
      pollfd item{fd, POLLIN, 0};
      char buffer[64];
      if (::poll(&item, 1, 60000) == 1) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        begun.assign(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
      }
    }
  }
  const linger hard{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(fd);
  return begun;
}

TEST_F(GatewayResilienceTest, AFetchWhoseConnectionIsCutKeepsTheSMSQueued) {
  TResilientGateway& g = *fGateway;
  // About 6 MB of answer: more than the socket buffers take, so the write must fail.
  g.fDatabase.exec(
      "insert into smsserver_unread (ID, ACCOUNTID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, "
      "MESSAGE_DATE, RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSPDUDATA, SMSINDEX, SMSSTATE, "
      "SMSLENGTH) select first 1500 900000 + row_number() over (), 2, 1, '491700000', 'I', "
      "'7', current_timestamp, current_timestamp, rpad('', 4000, 'x'), '0', '', -1, -1, 4000 "
      "from rdb$types a cross join rdb$types b");
  const auto queued = [&] {
    return g.count("select count(*) from smsserver_unread where ID > 900000");
  };
  ASSERT_EQ(queued(), 1500);
  EXPECT_EQ(cutAnswer(g.fPort, "/getnewsms?" + g.anna()).rfind("HTTP/1.1 201", 0), 0u);
  ASSERT_TRUE(waitFor(
      [&] {
        return g.log().find("the answer with 1500 sms for accountid=2 was not written "
                            "completely: they stay queued") != std::string::npos;
      },
      std::chrono::seconds(60)));
  EXPECT_EQ(queued(), 1500);

  const auto fetched = g.get("/getnewsms?" + g.anna() + "&format=json");
  ASSERT_TRUE(fetched);
  EXPECT_EQ(fetched->status, 201);
  const auto messages = nlohmann::json::parse(fetched->body)["messages"];
  EXPECT_EQ(messages.size(), 1500u);
  EXPECT_EQ(messages[0]["message"].get<std::string>().size(), 4000u);
  EXPECT_TRUE(waitFor([&] { return queued() == 0; }, std::chrono::seconds(120)));
  EXPECT_EQ(g.status("/getnewsms?" + g.anna()), 200);
}

TEST_F(GatewayResilienceTest, EverythingReceivedWhileTheDatabaseIsAwayIsStoredOnceWhenItIsBack) {
  TResilientGateway& g = *fGateway;
  ASSERT_EQ(g.status("/status?" + g.admin()), 200); // the administrator is known from now on
  const std::int64_t receivedBefore = g.count("select count(*) from smsserver_in");
  const std::size_t filesBefore = listDirectory(g.messageFolder("received")).size();
  const auto notStoredLines = [&] {
    const std::string log = g.log();
    std::size_t lines = 0;
    for (auto at = log.find("not stored: it stays in the modem"); at != std::string::npos;
         at = log.find("not stored: it stays in the modem", at + 1)) {
      ++lines;
    }
    return lines;
  };
  const std::size_t notStoredBefore = notStoredLines();

  g.fForwarder->cut();
  for (const char* text : {"Eins", "Zwei", "Drei"}) {
    ASSERT_EQ(g.simulator(std::string("deliver +491711111111 ") + text).substr(0, 2), "OK");
  }
  ASSERT_TRUE(
      waitFor([&] { return notStoredLines() >= notStoredBefore + 3; }, std::chrono::seconds(30)))
      << g.log();
  const auto refusedSend = g.get("/sendsms?" + g.anna() + "&receiver=4917222&message=weg");
  ASSERT_TRUE(refusedSend);
  EXPECT_EQ(refusedSend->status, 403);
  EXPECT_EQ(refusedSend->body, "500:db not connected");
  const auto whileAway = g.get("/status?" + g.admin());
  ASSERT_TRUE(whileAway);
  ASSERT_EQ(whileAway->status, 200) << "credentials that passed before";
  EXPECT_EQ(nlohmann::json::parse(whileAway->body)["database"]["connected"], false);
  EXPECT_EQ(g.count("select count(*) from smsserver_in"), receivedBefore);
  const std::string kept = g.simulator("storage"); // "OK 1:1:<pdu> 2:1:<pdu> 3:1:<pdu>"
  EXPECT_EQ(std::count(kept.begin(), kept.end(), ' '), 3) << "they stay in the modem: " << kept;

  g.fForwarder->restore();
  ASSERT_TRUE(
      waitFor([&] { return g.count("select count(*) from smsserver_in") == receivedBefore + 3; },
              std::chrono::seconds(90)))
      << g.log();
  EXPECT_TRUE(waitFor([&] {
    return g.status("/sendsms?" + g.anna() + "&receiver=4917222&message=wieder") == 200;
  }));
  EXPECT_EQ(g.count("select count(*) from smsserver_out where SMSTEXT = 'wieder'"), 1);
  // Once: the modem is cleared only now, one row and one copy for anna each, one file each.
  EXPECT_TRUE(waitFor([&] { return g.simulator("storage") == "OK"; }));
  EXPECT_EQ(g.count("select count(*) from smsserver_in"), receivedBefore + 3);
  EXPECT_EQ(g.count("select count(*) from smsserver_unread where ORIGINATOR = '491711111111'"), 3);
  EXPECT_EQ(listDirectory(g.messageFolder("received")).size(), filesBefore + 3);

  const auto status = nlohmann::json::parse(g.get("/status?" + g.admin())->body);
  EXPECT_EQ(status["database"]["connected"], true);
  EXPECT_GE(status["database"]["reconnections"], 1);
  EXPECT_GE(status["counts"]["received"], 3);
  const auto fetched = g.get("/getnewsms?" + g.anna() + "&format=json");
  ASSERT_TRUE(fetched);
  const auto messages = nlohmann::json::parse(fetched->body)["messages"];
  ASSERT_EQ(messages.size(), 3u);
  std::vector<std::string> texts;
  for (const auto& message : messages) {
    texts.push_back(message["message"]);
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"Drei", "Eins", "Zwei"}));
}

// Every file of a folder whole: no empty one, none cut (a message file ends its last line).
void expectWholeMessageFiles(const std::string& aFolder) {
  for (const auto& name : listDirectory(aFolder)) {
    const std::string content = readFile(aFolder + "/" + name);
    EXPECT_FALSE(content.empty()) << name;
    EXPECT_EQ(name.find(".partial-"), std::string::npos) << "left behind: " << name;
    EXPECT_EQ(content.substr(content.size() - std::min<std::size_t>(2, content.size())), "\r\n")
        << name;
  }
}

TEST_F(GatewayResilienceTest, AFullDiskHoldsUpNoSendAndLeavesNoCutOrEmptyFile) {
  TResilientGateway& g = *fGateway;
  if (!g.fDisk.mounted()) {
    GTEST_SKIP() << g.fDisk.error();
  }
  ASSERT_EQ(g.status("/sendsms?" + g.anna() + "&receiver=4917333&message=vorher"), 200);
  g.fDisk.fill();
  const auto started = std::chrono::steady_clock::now();
  const auto sent = g.get("/sendsms?" + g.anna() + "&receiver=4917333&message=voll");
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->status, 200);
  RecordProperty(
      "send_with_a_full_disk_ms",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  for (int i = 0; i < 20; ++i) { // refused logons, each with a warning for the log
    g.refusedLogon();
  }
  EXPECT_EQ(g.count("select count(*) from smsserver_out where SMSTEXT = 'voll'"), 1)
      << "the database has it, the disk had no room for its file";
  expectWholeMessageFiles(g.messageFolder("sent"));

  ASSERT_EQ(::unlink((g.fDisk.folder() + "/filler").c_str()), 0);
  ASSERT_EQ(g.status("/sendsms?" + g.anna() + "&receiver=4917333&message=wieder+Platz"), 200);
  // The file appender rests a while after a failure; the lines of that time are counted and
  // reported before the next line (a refused logon's warning) that reaches the file.
  ASSERT_TRUE(waitFor(
      [&] {
        g.refusedLogon();
        return g.log().find("log messages lost while the log file could not be written") !=
               std::string::npos;
      },
      std::chrono::seconds(30)));
  expectWholeMessageFiles(g.messageFolder("sent"));
  const std::string log = g.log();
  const std::regex line(
      R"(Parlino\|\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\|[a-z]+\.[a-z.]+\|.*)");
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string text = log.substr(start, end - start);
    // Multi-line messages continue on lines of their own; every record starts whole.
    if (text.rfind("Parlino|", 0) == 0) {
      EXPECT_TRUE(std::regex_match(text, line)) << text;
    }
  }
  EXPECT_EQ(start, log.size()) << "the log ends with a whole line";
}

} // namespace
