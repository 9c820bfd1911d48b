// The gateway end to end: parlino with the modem simulator on a pseudo-terminal, a Firebird
// database on the local server, and HTTP over loopback.
#include "common/AttributedDocument.h"
#include "common/TextEncoding.h"
#include "modem/SMSConcatCollector.h"
#include "modem/VTSMSManagerMessage.h"
#include "server/Accounts.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/server/DbTestSupport.h"
#include "tests/support/LocalServices.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <sstream>

namespace {

using namespace testsupport;
using dbtest::EDbEngine;

const std::string kAnnaPassword = "geheim";

// One installation: database with accounts and patterns, simulator, options, configuration.
class TGateway {
public:
  explicit TGateway(bool aModemActive, const std::string& aDatabaseName = {})
      : fDatabase(EDbEngine::server), fPort(testsupport::freeLoopbackPort()) {
    dbtest::requireEngine(EDbEngine::server);
    seedAccounts();
    const std::string dev = fDir.file("dev");
    mkdir(dev.c_str(), 0755);
    fSimulator = std::make_unique<TChildProcess>(
        buildPath("tools/modemsim/parlino-modemsim"),
        std::vector<std::string>{"--link", dev + "/COM3", "--control", fDir.file("sim.ctl"),
                                 "--log", fDir.file("sim.log")},
        fDir.path(), fDir.file("sim.out"));
    EXPECT_TRUE(waitFor([&] { return access((dev + "/COM3").c_str(), F_OK) == 0; }));
    const TBizDatabaseSettings& db = fDatabase.settings();
    parlinotest::writeOptionsFile(fDir,
                                  {{"Database", aDatabaseName.empty() ? db.Name : aDatabaseName},
                                   {"DatabaseHost", db.Host},
                                   {"DatabaseUser", db.Username},
                                   {"DatabasePassword", db.Password},
                                   {"HTTPPort", std::to_string(fPort)},
                                   {"LogPath", fDir.file("log") + "/"},
                                   {"LogLevel", "trace"},
                                   {"SerialDeviceDir", dev},
                                   // Received SMS come at once through the modem's notices;
                                   // polling (every 10 minutes here) plays no part.
                                   {"SMSCheckIntervall", "600000"}});
    parlinotest::writeModemConfiguration(fDir, aModemActive);
    fServer = parlinotest::startParlino(fDir);
    EXPECT_TRUE(waitFor([&] { return log().find("HTTP server listening") != std::string::npos; },
                        parlinotest::kStartTimeout));
    if (aModemActive) {
      EXPECT_TRUE(
          waitFor([&] { return log().find("serial modem activated (COM3)") != std::string::npos; },
                  parlinotest::kStartTimeout))
          << log();
    }
  }
  ~TGateway() {
    fServer->signal(SIGTERM);
    fServer->wait();
  }

  std::string log() const {
    const auto names = listDirectory(fDir.file("log"));
    return names.empty() ? std::string() : readFile(fDir.file("log/" + names.back()));
  }
  std::string simulatorLog() const { return readFile(fDir.file("sim.log")); }
  // One control line to the simulator; its reply.
  std::string simulator(const std::string& aLine) {
    return parlinotest::simulatorReply(fDir, aLine);
  }
  void deliver(const std::string& aSender, const std::string& aText) {
    EXPECT_EQ(simulator("deliver " + aSender + " " + aText).substr(0, 2), "OK");
  }
  httplib::Result get(const std::string& aTarget) {
    httplib::Client client("127.0.0.1", fPort);
    client.set_read_timeout(60, 0);
    return client.Get(aTarget);
  }
  httplib::Result post(const std::string& aTarget, const std::string& aBody) {
    httplib::Client client("127.0.0.1", fPort);
    client.set_read_timeout(60, 0);
    return client.Post(aTarget, aBody, "application/x-www-form-urlencoded");
  }
  std::string anna() const { return "smsusr=anna&smspwd=" + encodeMD5(kAnnaPassword); }
  std::string admin() const { return "smsusr=admin&smspwd=" + encodeMD5("admin"); }

  dbtest::TTestDatabase fDatabase;
  TTempDir fDir;
  int fPort;
  std::unique_ptr<TChildProcess> fSimulator;
  std::unique_ptr<TChildProcess> fServer;

private:
  void addAccount(int aId, const std::string& aName, const std::string& aPassword, int aType,
                  const std::vector<std::string>& aSendPatterns,
                  const std::vector<std::string>& aReceivePatterns) {
    fDatabase.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
                   "ACCOUNTTYPE, CREATIONTIME, EXTRADATAID) values (" +
                   std::to_string(aId) + ", '" + aName + "', '" + encodeMD5(aPassword) +
                   "', 'true', " + std::to_string(aType) + ", current_timestamp, 0)");
    static int patternId = 1;
    for (const auto& pattern : aSendPatterns) {
      fDatabase.exec("insert into SMSSERVER_OUTPATTERNS (ID, ACCOUNTID, PATTERN) values (" +
                     std::to_string(patternId++) + ", " + std::to_string(aId) + ", '" + pattern +
                     "')");
    }
    for (const auto& pattern : aReceivePatterns) {
      fDatabase.exec("insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (" +
                     std::to_string(patternId++) + ", " + std::to_string(aId) + ", '" + pattern +
                     "')");
    }
  }
  void seedAccounts() {
    addAccount(1, "admin", "admin", 255, {""}, {});
    addAccount(2, "anna", kAnnaPassword, 3, {"+4917"}, {"4917"});
    addAccount(3, "bert", "bert", 2, {}, {"49171"});
    addAccount(4, "carl", "carl", 1, {"4930"}, {});
  }
};

class GatewayTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { fGateway = new TGateway(true); }
  static void TearDownTestSuite() {
    delete fGateway;
    fGateway = nullptr;
  }
  static TGateway* fGateway;
};
TGateway* GatewayTest::fGateway = nullptr;

void expectAnswer(const httplib::Result& aResult, int aStatus, const std::string& aBody) {
  ASSERT_TRUE(aResult) << "no answer";
  EXPECT_EQ(aResult->status, aStatus) << aResult->body;
  EXPECT_EQ(aResult->body, aBody);
  EXPECT_EQ(aResult->get_header_value("Content-Type"), "text/txt");
  EXPECT_EQ(aResult->get_header_value("Content-Encoding"), "ISO-8859-1");
  EXPECT_EQ(aResult->get_header_value("encoding"), "ISO-8859-1");
}

TEST_F(GatewayTest, SendsATextSmsAndStoresItWithItsPDU) {
  TGateway& g = *fGateway;
  expectAnswer(g.get("/SendSMS?" + g.anna() + "&receiver=%2B491711234567&message=Hallo"), 200,
               "200");
  EXPECT_NE(g.simulatorLog().find("0001000C91947111325476000005C8309BFD06"), std::string::npos);
  const auto rows = g.fDatabase.query(
      "select RECIPIENT, SMSTEXT, SMSPDUDATA from smsserver_out where SMSTEXT = 'Hallo'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].asString(), "491711234567");
  EXPECT_EQ(rows[0][2].asString(), "0001000C91947111325476000005C8309BFD06");
  const auto files = listDirectory(g.fDir.file("sent"));
  ASSERT_FALSE(files.empty());
  EXPECT_NE(readFile(g.fDir.file("sent/" + files[0])).find("recipient=491711234567\r\n"),
            std::string::npos);
}

TEST_F(GatewayTest, AnswersEveryRejectedSendAsDescribed) {
  TGateway& g = *fGateway;
  const std::string plain = "smsusr=anna&smspwd=" + kAnnaPassword;
  struct Case {
    std::string target;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"/sendsms?" + plain + "&receiver=4917&message=x", 403, "401"},
      {"/sendsms?smsusr=nobody&smspwd=x&receiver=4917&message=x", 403, "401"},
      {"/sendsms?" + g.anna() + "&message=x", 400,
       "400:HTTP-Parameter <receiver> not found, but required."},
      {"/sendsms?" + g.anna() + "&receiver=4917", 400,
       "400:HTTP-Parameter <message> not found, but required."},
      {"/sendsms?" + g.anna() + "&receiver=4930111&message=x", 403, "403:no rights to send"},
      {"/sendsms?smsusr=bert&smspwd=" + encodeMD5("bert") + "&receiver=4917&message=x", 403, "403"},
      {"/sendsms?" + g.anna() + "&receiver=4917&message=zz&coding=base16", 500,
       "500:zz is not a coded-pure-string (Byte), invalid on <0> pos"},
      {"/nothing/here", 501, "404"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    expectAnswer(g.get(c.target), c.status, c.body);
  }
  expectAnswer(g.get("/sendsms?" + plain + "&smspwdcoded=0&receiver=004917333&message=plain"), 200,
               "200");
  EXPECT_NE(g.log().find("error processing request \"/sendsms\", sc=501: zz is not"),
            std::string::npos);
}

TEST_F(GatewayTest, SendsBinaryPushAndBodyParameters) {
  TGateway& g = *fGateway;
  expectAnswer(
      g.get("/sendsms?" + g.anna() + "&receiver=4917&message=48656C6C6F&coding=base16&type=BIN"),
      200, "200");
  EXPECT_NE(g.simulatorLog().find("48656C6C6F"), std::string::npos);
  expectAnswer(g.post("/sendsms", g.anna() + "&receiver=4917&message=Hello&type=push"), 200, "200");
  const auto rows = g.fDatabase.query("select SMSTEXT, SMSENCODING from smsserver_out where "
                                      "SMSTEXT in ('68656C6C6F', '48656C6C6F') order by ID");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].asString(), "48656C6C6F");
  EXPECT_EQ(rows[0][1].asString(), "8");
  EXPECT_EQ(rows[1][0].asString(), "68656C6C6F") << "body values arrive in lower case";
}

TEST_F(GatewayTest, ReceivedSmsAreQueuedByPatternAndFetchedOnce) {
  TGateway& g = *fGateway;
  g.deliver("+491711111111", "Erste");
  g.deliver("+493022222222", "Zweite");
  ASSERT_TRUE(waitFor(
      [&] { return g.fDatabase.scalar("select count(*) from smsserver_in").asInt64() == 2; },
      std::chrono::seconds(20)));
  ASSERT_TRUE(waitFor(
      [&] { return g.fDatabase.scalar("select count(*) from smsserver_unread").asInt64() == 2; }));
  EXPECT_EQ(g.fDatabase
                .scalar("select count(*) from smsserver_unread where ORIGINATOR = "
                        "'491711111111'")
                .asInt64(),
            2)
      << "anna and bert";

  const auto first = g.get("/getnewsms?" + g.anna());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 201);
  ASSERT_EQ(first->body.rfind("201:", 0), 0u);
  TAttributedDocument document;
  document.setContent(first->body.substr(4));
  EXPECT_EQ(document.getContent(), first->body.substr(4)) << "the document parses back";
  ASSERT_EQ(document.getAttributeCount(), 1) << "only the SMS whose sender matches anna";
  TAbstractAttribute& record = document.getAttributes(0);
  EXPECT_EQ(record.getAttributeID(), "0");
  TAttributedDocument& sms = record.getValueAsRecord();
  std::vector<std::string> names;
  for (int i = 0; i < sms.getAttributeCount(); ++i) {
    names.push_back(sms.getAttributes(i).getAttributeID());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"sender", "message", "data", "msgtype", "msgindex",
                                             "msgstate", "msglength", "msgtime"}));
  EXPECT_EQ(sms.getAttributesByID("sender")->getValueAsString(), "491711111111");
  EXPECT_EQ(sms.getAttributesByID("message")->getValueAsString(), "Erste");
  EXPECT_EQ(sms.getAttributesByID("msglength")->getValueAsString(), "5");
  expectAnswer(g.get("/getnewsms?" + g.anna()), 200, "200");
  EXPECT_EQ(g.fDatabase.scalar("select count(*) from smsserver_unread").asInt64(), 1)
      << "bert's copy stays";
  EXPECT_EQ(listDirectory(g.fDir.file("received")).size(), 2u);
  expectAnswer(g.get("/getnewsms?smsusr=carl&smspwd=" + encodeMD5("carl")), 403, "403");
}

TEST_F(GatewayTest, ClearsTheModemMemoryForAdministratorsOnly) {
  TGateway& g = *fGateway;
  expectAnswer(g.get("/clearmemoryserialmodem?" + g.anna()), 403, "403");
  expectAnswer(g.get("/clearmemoryserialmodem?smsusr=admin&smspwd=admin&smspwdcoded=false"), 403,
               "401");
  expectAnswer(g.get("/clearmemoryserialmodem?" + g.admin()), 200, "200");
}

// A modem unplugged and plugged in again, powered up anew (echo on), is driven again
// without a restart of the gateway: sends fail at once while it is away and go through
// after, and an SMS that arrives then is fetched as soon as the modem announces it.
TEST_F(GatewayTest, AModemUnpluggedAndPluggedInAgainIsDrivenAgain) {
  TGateway& g = *fGateway;
  ASSERT_EQ(g.simulator("unplug"), "OK");
  const auto whileAway = g.get("/sendsms?" + g.anna() + "&receiver=4917&message=weg");
  ASSERT_TRUE(whileAway);
  EXPECT_EQ(whileAway->status, 500);
  ASSERT_EQ(g.simulator("replug reset"), "OK");
  EXPECT_TRUE(waitFor(
      [&] {
        const auto sent = g.get("/sendsms?" + g.anna() + "&receiver=4917&message=wieder");
        return sent && sent->status == 200;
      },
      std::chrono::seconds(30)))
      << g.log();
  EXPECT_NE(g.simulatorLog().find("POWER-CYCLE"), std::string::npos);
  g.deliver("+491719999999", "Zurueck");
  std::string message;
  EXPECT_TRUE(waitFor([&] {
    const auto result = g.get("/getnewsms?" + g.anna());
    if (result && result->status == 201) {
      TAttributedDocument document;
      document.setContent(result->body.substr(4));
      message = document.getAttributes(0)
                    .getValueAsRecord()
                    .getAttributesByID("message")
                    ->getValueAsString();
    }
    return !message.empty();
  }));
  EXPECT_EQ(message, "Zurueck");
}

TEST(GatewayWithoutModemTest, SendIsNotFoundAndTheDatabaseDownIsReported) {
  TGateway g(false, "/nonexistent/parlino.fdb");
  expectAnswer(g.get("/sendsms?" + g.anna() + "&receiver=4917&message=x"), 404, "");
  expectAnswer(g.get("/getnewsms?" + g.anna()), 403, "500:db not connected");
}

// Every byte of a UTF-8 text percent-encoded, as a client puts it into a query.
std::string percentEncoded(const std::string& aText) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (const unsigned char c : aText) {
    encoded += '%';
    encoded += kDigits[c >> 4];
    encoded += kDigits[c & 0x0F];
  }
  return encoded;
}

// How many message files in a folder of the installation hold aText.
int messageFilesWith(TGateway& aGateway, const std::string& aFolder, const std::string& aText) {
  int found = 0;
  for (const auto& name : listDirectory(aGateway.fDir.file(aFolder))) {
    TVTSMSManagerMessage message;
    if (message.fromStreamBytes(readFile(aGateway.fDir.file(aFolder + "/" + name))) &&
        message.getTheMessage() == aText) {
      ++found;
    }
  }
  return found;
}

// Only the default options here (no DatabaseEncoding): Cyrillic and an emoji go through
// HTTP, the modem, the database and the message files unchanged.
TEST_F(GatewayTest, SendsALongCyrillicTextInThePartsAPhoneJoins) {
  TGateway& g = *fGateway;
  std::string text;
  while (utf8ToCodePoints(text).size() < 400) {
    text += "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80! ";
  }
  text.resize(text.find_last_of(' ')); // whole characters, fewer than 400
  expectAnswer(
      g.get("/sendsms?" + g.anna() + "&receiver=%2B491711234567&message=" + percentEncoded(text)),
      200, "200");

  // What the modem was given: "PDU <octets> <hex>" lines of the simulator's log.
  const TSMSCODEC codec;
  std::vector<std::string> pdus;
  std::vector<TSMSConcatPart> parts;
  std::istringstream log(g.simulatorLog());
  for (std::string line; std::getline(log, line);) {
    const std::size_t at = line.find(" PDU ");
    if (at == std::string::npos) {
      continue;
    }
    const std::string pdu = line.substr(line.find(' ', at + 5) + 1);
    TSMSDecoded decoded = codec.DecodeSMSFull(pdu);
    if (decoded.Concat.isPart()) {
      pdus.push_back(pdu);
      parts.push_back({std::move(decoded), pdu, TDateTime()});
    }
  }
  ASSERT_EQ(parts.size(), 6u) << "UCS2, 67 characters a part";
  const TSMSConcatMessage joined = joinSMSParts(parts);
  EXPECT_TRUE(joined.Complete);
  EXPECT_EQ(joined.Text, text);
  EXPECT_EQ(parts[0].Decoded.Address, "491711234567");

  const auto rows =
      g.fDatabase.query("select SMSPDUDATA from smsserver_out where SMSTEXT = :0", {text});
  ASSERT_EQ(rows.size(), 1u) << "one message";
  std::string stored;
  for (const auto& pdu : pdus) {
    stored += (stored.empty() ? "" : " ") + pdu;
  }
  EXPECT_EQ(rows[0][0].asString(), stored);
  EXPECT_EQ(messageFilesWith(g, "sent", text), 1);
}

TEST_F(GatewayTest, AThreePartSMSReachesGetNewSMSAsOneMessage) {
  TGateway& g = *fGateway;
  std::string text;
  while (utf16Length(text) < 180) {
    text += "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xF0\x9F\x98\x80 ";
  }
  const std::string rowOf = "from smsserver_in where ORIGINATOR = '491715555555'";
  g.deliver("+491715555555", text);
  ASSERT_TRUE(waitFor([&] { return g.fDatabase.scalar("select count(*) " + rowOf).asInt64() == 1; },
                      std::chrono::seconds(30)))
      << g.log();
  const auto result = g.get("/getnewsms?" + g.anna());
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 201) << result->body;
  TAttributedDocument document;
  document.setContent(latin1ToUtf8(result->body.substr(4)));
  int found = 0;
  for (int i = 0; i < document.getAttributeCount(); ++i) {
    TAttributedDocument& sms = document.getAttributes(i).getValueAsRecord();
    if (sms.getAttributesByID("sender")->getValueAsString() == "491715555555") {
      ++found;
      EXPECT_EQ(sms.getAttributesByID("message")->getValueAsString(), text);
      EXPECT_EQ(sms.getAttributesByID("msglength")->getValueAsInteger(),
                static_cast<int>(utf8ToCodePoints(text).size()));
    }
  }
  EXPECT_EQ(found, 1) << "one message";

  EXPECT_EQ(g.fDatabase.scalar("select count(*) from SMSSERVER_PARTS").asInt64(), 0);
  const std::string pdus = g.fDatabase.scalar("select SMSPDUDATA " + rowOf).asString();
  EXPECT_EQ(std::count(pdus.begin(), pdus.end(), ' '), 2) << "the three parts' PDUs";
  EXPECT_EQ(messageFilesWith(g, "received", text), 1);
  EXPECT_TRUE(waitFor([&] {
    return g.simulator("status").find(" stored=0 ") != std::string::npos;
  })) << "every part deleted from the modem";
}

} // namespace
