// The gateway's HTTP port under abuse, from raw sockets on loopback: parlino with the modem
// simulator, a database on the local Firebird server and a log server. The abusive client
// comes from other loopback addresses (127.0.0.2 and up) than the well-behaved one
// (127.0.0.1), so that the limits per client address can be seen.
#include "common/AttributedDocument.h"
#include "logging/KvLogFormater.h"
#include "server/Accounts.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/server/DbTestSupport.h"
#include "tests/support/LocalServices.h"
#include "tests/support/TestSupport.h"
#include "tests/webframework/WebTestSocket.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>

namespace {

using namespace testsupport;
using dbtest::EDbEngine;
using webtest::TWebTestSocket;

// One gateway: accounts anna (sends to 49..., receives from 4917...) and bert (receives),
// the modem simulator, every log line at trace level in its file and at a log server.
class TGateway {
public:
  TGateway() : fDatabase(EDbEngine::server), fPort(freeLoopbackPort()) {
    dbtest::requireEngine(EDbEngine::server);
    addAccount(1, "anna", "anna-pw", 3, "49", "4917");
    addAccount(2, "bert", "bert-pw", 2, "", "4930");
    writeFile(fDir.file("logserver.port"), "");
    fLogServer = std::make_unique<TChildProcess>(
        buildPath("tools/logserver/parlino-logserver"),
        std::vector<std::string>{"--port", "0", "--port-file", fDir.file("logserver.port"),
                                 "--output", fDir.file("remote.log")},
        fDir.path(), fDir.file("logserver.err"));
    EXPECT_TRUE(waitFor([&] { return !readFile(fDir.file("logserver.port")).empty(); }));
    const std::string dev = fDir.file("dev");
    mkdir(dev.c_str(), 0755);
    fSimulator = std::make_unique<TChildProcess>(
        buildPath("tools/modemsim/parlino-modemsim"),
        std::vector<std::string>{"--link", dev + "/COM3", "--control", fDir.file("sim.ctl"),
                                 "--log", fDir.file("sim.log")},
        fDir.path(), fDir.file("sim.out"));
    EXPECT_TRUE(waitFor([&] { return access((dev + "/COM3").c_str(), F_OK) == 0; }));
    const TBizDatabaseSettings& db = fDatabase.settings();
    parlinotest::writeOptionsFile(
        fDir, {{"Database", db.Name},
               {"DatabaseHost", db.Host},
               {"DatabaseUser", db.Username},
               {"DatabasePassword", db.Password},
               {"DatabaseEncoding", "UTF8"},
               {"HTTPPort", std::to_string(fPort)},
               {"LogPath", fDir.file("log") + "/"},
               {"LogLevel", "trace"},
               {"LogToServer", "1"},
               {"LogServerHost", "127.0.0.1"},
               {"LogServerPort", std::to_string(std::stoi(readFile(fDir.file("logserver.port"))))},
               {"LogServerLevel", "trace"},
               {"SerialDeviceDir", dev},
               {"SMSCheckIntervall", "600000"}});
    parlinotest::writeModemConfiguration(fDir);
    fServer = parlinotest::startParlino(fDir);
    EXPECT_TRUE(waitFor(
        [&] {
          const std::string text = log();
          return text.find("HTTP server listening") != std::string::npos &&
                 text.find("serial modem activated (COM3)") != std::string::npos;
        },
        parlinotest::kStartTimeout))
        << log();
  }
  ~TGateway() {
    fServer->signal(SIGTERM);
    fServer->wait();
  }

  std::string log() const {
    const auto names = listDirectory(fDir.file("log"));
    return names.empty() ? std::string() : readFile(fDir.file("log/" + names.back()));
  }
  std::string remoteLog() const { return readFile(fDir.file("remote.log")); }
  std::string simulatorLog() const { return readFile(fDir.file("sim.log")); }
  void deliver(const std::string& aSender, const std::string& aText) {
    EXPECT_EQ(parlinotest::simulatorReply(fDir, "deliver " + aSender + " " + aText).substr(0, 2),
              "OK");
  }
  std::int64_t count(const std::string& aTable) {
    return fDatabase.scalar("select count(*) from " + aTable).asInt64();
  }
  // One request on a new connection from aFrom; the whole answer.
  std::string request(const std::string& aFrom, const std::string& aMethod,
                      const std::string& aTarget) {
    TWebTestSocket client(fPort, aFrom);
    client.send(aMethod + " " + aTarget + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    bool closed = false;
    return client.readUntilClosed(closed, std::chrono::seconds(30));
  }
  // The resident memory of the server process, in bytes.
  long residentBytes() const {
    std::ifstream status("/proc/" + std::to_string(fServer->pid()) + "/status");
    std::string word;
    long kilobytes = 0;
    while (status >> word) {
      if (word == "VmRSS:") {
        status >> kilobytes;
      }
    }
    return kilobytes * 1024;
  }

  dbtest::TTestDatabase fDatabase;
  TTempDir fDir;
  int fPort;

private:
  void addAccount(int aId, const std::string& aName, const std::string& aPassword, int aType,
                  const std::string& aSendPattern, const std::string& aReceivePattern) {
    fDatabase.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                   "ACCOUNTTYPE, CREATIONTIME, EXTRADATAID) values (" +
                   std::to_string(aId) + ", '" + aName + "', '" + encodeMD5(aPassword) +
                   "', 'true', " + std::to_string(aType) + ", current_timestamp, 0)");
    fDatabase.exec("insert into SMSSERVER_OUTPATTERNS (ID, ACCOUNTID, PATTERN) values (" +
                   std::to_string(aId) + ", " + std::to_string(aId) + ", '" + aSendPattern + "')");
    fDatabase.exec("insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (" +
                   std::to_string(aId) + ", " + std::to_string(aId) + ", '" + aReceivePattern +
                   "')");
  }

  std::unique_ptr<TChildProcess> fLogServer;
  std::unique_ptr<TChildProcess> fSimulator;
  std::unique_ptr<TChildProcess> fServer;
};

const std::string kAnna = "smsusr=anna&smspwd=" + encodeMD5("anna-pw");
const std::string kBert = "smsusr=bert&smspwd=" + encodeMD5("bert-pw");

std::vector<std::string> linesOf(const std::string& aText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = aText.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = aText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

// Every line of a log is one record: it reads back as a message of the file format. The
// messages of the lines that mention aMarker.
std::vector<std::string> recordsMentioning(const std::string& aLog, const std::string& aMarker) {
  const TKvLogFormaterDefault reader;
  std::vector<std::string> messages;
  for (const std::string& line : linesOf(aLog)) {
    EXPECT_EQ(line.rfind("Parlino|", 0), 0u) << "a line that is no record: " << line;
    EXPECT_EQ(line.find_first_of(std::string("\x1B\0\r", 3)), std::string::npos) << line;
    const auto message = reader.parseMessage(line);
    EXPECT_TRUE(message) << line;
    if (message && message->getLogMessage().find(aMarker) != std::string::npos) {
      messages.push_back(message->getLogMessage());
    }
  }
  return messages;
}

TEST(AbuseTest, AHundredMegabyteChunkedBodyLeavesTheMemoryAsItWas) {
  TGateway g;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(webtest::statusOf(g.request("127.0.0.1", "GET", "/getnewsms?" + kBert)), 200);
  }
  const long before = g.residentBytes();
  TWebTestSocket abuser(g.fPort, "127.0.0.2");
  abuser.send("POST /sendsms HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
  const long total = 100L * 1024 * 1024;
  long sent = 0;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (sent < total && std::chrono::steady_clock::now() < giveUp) {
    const long n = abuser.sendSome(std::string_view(chunk).substr(sent % chunk.size()),
                                   std::chrono::seconds(1));
    if (n < 0) {
      break;
    }
    sent += n;
  }
  bool closed = false;
  EXPECT_EQ(webtest::statusOf(abuser.readUntilClosed(closed)), 413);
  EXPECT_TRUE(closed);
  EXPECT_LT(g.residentBytes() - before, 16L * 1024 * 1024);
  EXPECT_EQ(webtest::statusOf(g.request("127.0.0.1", "GET", "/getnewsms?" + kBert)), 200);
  EXPECT_EQ(g.count("smsserver_out"), 0);
}

TEST(AbuseTest, OtherMethodsThanGetAndPostChangeNothing) {
  TGateway g;
  g.deliver("+491711111111", "Bleibt");
  ASSERT_TRUE(waitFor([&] { return g.count("smsserver_unread") == 1; }, std::chrono::seconds(20)))
      << g.log() << g.simulatorLog();
  std::string answer = g.request("127.0.0.2", "HEAD", "/getnewsms?" + kAnna);
  EXPECT_EQ(webtest::statusOf(answer), 405);
  EXPECT_EQ(webtest::headerValue(answer, "Allow"), "GET, POST");
  answer = g.request("127.0.0.2", "DELETE", "/sendsms?" + kAnna + "&receiver=4917&message=Weg");
  EXPECT_EQ(webtest::statusOf(answer), 405);
  EXPECT_EQ(webtest::bodyOf(answer), "405");
  EXPECT_EQ(webtest::statusOf(g.request("127.0.0.2", "PUT", "/clearmemoryserialmodem?" + kAnna)),
            405);
  EXPECT_EQ(webtest::bodyOf(g.request("127.0.0.2", "OPTIONS", "/no/such/command")), "404");

  EXPECT_EQ(g.count("smsserver_unread"), 1);
  EXPECT_EQ(g.count("smsserver_out"), 0);
  EXPECT_EQ(g.simulatorLog().find("AT+CMGS"), std::string::npos);
  answer = g.request("127.0.0.1", "GET", "/getnewsms?" + kAnna);
  EXPECT_EQ(webtest::statusOf(answer), 201);
  TAttributedDocument document;
  document.setContent(webtest::bodyOf(answer).substr(4));
  ASSERT_EQ(document.getAttributeCount(), 1);
  EXPECT_EQ(
      document.getAttributes(0).getValueAsRecord().getAttributesByID("message")->getValueAsString(),
      "Bleibt");
}

TEST(AbuseTest, SixHundredIdleConnectionsOfOneClientLeaveTheOthersServed) {
  TGateway g;
  std::vector<std::unique_ptr<TWebTestSocket>> idle;
  for (int i = 0; i < 600; ++i) {
    idle.push_back(std::make_unique<TWebTestSocket>(g.fPort, "127.0.0.2"));
    ASSERT_TRUE(idle.back()->connected()) << i;
  }
  for (int i = 0; i < 30; ++i) {
    const std::string answer = g.request("127.0.0.1", "GET", "/getnewsms?" + kBert);
    EXPECT_EQ(webtest::statusOf(answer), 200) << i << ": " << answer;
  }
}

TEST(AbuseTest, WrongPasswordsAreSlowedAndARightOneIsNot) {
  TGateway g;
  const std::string wrong = "/getnewsms?smsusr=anna&smspwd=" + encodeMD5("guess");
  EXPECT_EQ(webtest::bodyOf(g.request("127.0.0.2", "GET", wrong)), "401");

  // The next guess is held back; a right password of another client, asked after it, is
  // answered first.
  TWebTestSocket guess(g.fPort, "127.0.0.2");
  guess.send("GET " + wrong + " HTTP/1.1\r\nHost: x\r\n\r\n");
  TWebTestSocket right(g.fPort, "127.0.0.1");
  right.send("GET /getnewsms?" + kBert + " HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(right.readResponse()), "200");
  EXPECT_EQ(guess.readResponse(std::chrono::milliseconds(0)), "") << "answered before bert";
  EXPECT_EQ(webtest::bodyOf(guess.readResponse()), "401");
  // Once its answer came, the right password is taken on the same connection.
  guess.send("GET /getnewsms?" + kAnna + " HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(webtest::bodyOf(guess.readResponse()), "200");

  // An account name too long for the database is refused without asking it: one warning,
  // no error.
  const auto errors = [&] {
    const std::string log = g.log();
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find("|error.", at)) != std::string::npos; ++at) {
      ++count;
    }
    return count;
  };
  const std::size_t errorsBefore = errors();
  const std::string answer =
      g.request("127.0.0.3", "GET", "/getnewsms?smsusr=" + std::string(150, 'a') + "&smspwd=x");
  EXPECT_EQ(webtest::statusOf(answer), 403);
  EXPECT_EQ(webtest::bodyOf(answer), "401");
  ASSERT_TRUE(waitFor([&] { return g.log().find("<smsusr> is too long") != std::string::npos; }));
  EXPECT_EQ(errors(), errorsBefore) << g.log();
}

TEST(AbuseTest, ControlCharactersFromOutsideLeaveOneLogRecordEach) {
  TGateway g;
  struct TCase {
    std::string From;
    std::string Target;
    int Status;
    std::string Marker; // mentioned by the records the request leaves, "" for none
    std::string Logged; // what such a record holds, read back
  };
  const TCase cases[] = {
      {"127.0.0.10", "/getnewsms?smsusr=x%0D%0AParlino%7Cfatal%7CFORGED-USR%1B%5B2J%00&smspwd=y",
       403, "FORGED-USR", std::string("x\r\nParlino-fatal-FORGED-USR\x1B[2J\0", 32)},
      {"127.0.0.11", "/sendsms?" + kAnna + "&receiver=4917%0D%0AFORGED-RCV%1B%00&message=Hi", 400,
       "", ""},
      {"127.0.0.12", "/sendsms?" + kAnna + "&receiver=4917&message=Hallo%0D%0AFORGED-TXT", 200,
       "FORGED-TXT", "Hallo\r\nFORGED-TXT"},
      {"127.0.0.13", "/sendsms?" + kAnna + "&receiver=4917&message=a%1BFORGED-ESC%00b", 400, "",
       ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(webtest::statusOf(g.request(c.From, "GET", c.Target)), c.Status) << c.Target;
  }
  g.deliver("+491712222222", "Hallo\\r\\nParlino|FORGED-IN");
  ASSERT_TRUE(waitFor([&] { return g.count("smsserver_in") == 1; }, std::chrono::seconds(20)));
  EXPECT_EQ(g.count("smsserver_out"), 1) << "only the text with line ends went out";

  const std::vector<std::pair<std::string, std::function<std::string()>>> logs = {
      {"file", [&] { return g.log(); }}, {"log server", [&] { return g.remoteLog(); }}};
  for (const auto& where : logs) {
    SCOPED_TRACE(where.first);
    const std::function<std::string()>& text = where.second;
    ASSERT_TRUE(waitFor([&] { return text().find("FORGED-IN") != std::string::npos; },
                        std::chrono::seconds(20)));
    const std::string log = text();
    for (const TCase& c : cases) {
      if (c.Marker.empty()) {
        continue;
      }
      const auto records = recordsMentioning(log, c.Marker);
      ASSERT_FALSE(records.empty()) << c.Marker;
      EXPECT_NE(records[0].find(c.Logged), std::string::npos) << c.Marker << ": " << records[0];
    }
    for (const std::string marker : {"FORGED-RCV", "FORGED-ESC"}) {
      EXPECT_TRUE(recordsMentioning(log, marker).empty()) << marker << " is not logged";
    }
    const auto received = recordsMentioning(log, "FORGED-IN");
    ASSERT_FALSE(received.empty());
    EXPECT_NE(received[0].find("Hallo\r\nParlino-FORGED-IN"), std::string::npos) << received[0];
  }
}

} // namespace
