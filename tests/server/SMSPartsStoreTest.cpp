// Long SMS and any Unicode text on the real database: the kept parts of long SMS, the schema
// additions for them in databases of an older schema, and texts beyond the Basic
// Multilingual Plane from a received SMS to "/getnewsms".
#include "common/AttributedDocument.h"
#include "common/TextEncoding.h"
#include "modem/SMSCodec.h"
#include "server/BizDatabase.h"
#include "server/FbSQLText.h"
#include "server/SMSCommands.h"
#include "server/SMSInbox.h"
#include "server/ServerOptions.h"
#include "tests/server/DbTestSupport.h"
#include "tests/server/FakeSMSParts.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dbtest::EDbEngine;
using dbtest::TCapturedLog;
using dbtest::TTestDatabase;

class SMSPartsStoreTest : public dbtest::TDatabaseTest {
protected:
  // The server's settings for the test database with the options' default character set.
  TBizDatabaseSettings defaultSettings() const {
    TServerOptions options;
    readServerOptions(fDir.file("none/parlino.reg"), options);
    TBizDatabaseSettings settings = fDb->settings();
    settings.Encoding = options.DatabaseEncoding;
    return settings;
  }
  static bool receive(TSMSInbox& aInbox, const std::string& aPDU) {
    const auto decoded = TSMSCODEC().DecodeSMS(aPDU);
    TVTSMSManagerMessage info;
    info.setMessageType(static_cast<TVTSMSManagerMessageType>(std::stoi(decoded[2])));
    return aInbox.handleReceived(decoded[0], decoded[1], aPDU, info);
  }

  testsupport::TTempDir fDir;
};

TEST_P(SMSPartsStoreTest, PartsAreKeptOnceUntilTheirMessageGoes) {
  TBizDatabase database;
  database.connect(fDb->settings());
  const TDateTime t0 = TDateTime::encode(2026, 5, 6, 7, 8, 9, 250);
  EXPECT_EQ(database.saveSMSPart({"4930/8/7/3", 3, "PDU3", t0}), psSaved);
  EXPECT_EQ(database.saveSMSPart({"4930/8/7/3", 1, "PDU1", t0}), psSaved);
  EXPECT_EQ(database.saveSMSPart({"4930/8/7/3", 3, "again", t0}), psDuplicate);
  EXPECT_EQ(database.saveSMSPart({"4940/16/7/2", 1, "OTHER", t0}), psSaved);
  EXPECT_EQ(fDb->scalar("select count(*) from SMSSERVER_PARTS").asInt64(), 3) << "committed";

  std::vector<TSMSStoredPart> parts;
  ASSERT_TRUE(database.retrieveSMSParts("4930/8/7/3", parts));
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].Number, 1);
  EXPECT_EQ(parts[0].PDU, "PDU1");
  EXPECT_EQ(parts[0].Received, t0);
  EXPECT_EQ(parts[1].PDU, "PDU3");
  parts.clear();
  ASSERT_TRUE(database.retrieveSMSParts("", parts));
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].MessageKey, "4930/8/7/3");
  EXPECT_EQ(parts[2].MessageKey, "4940/16/7/2");

  EXPECT_TRUE(database.deleteSMSParts("4930/8/7/3"));
  EXPECT_EQ(fDb->scalar("select count(*) from SMSSERVER_PARTS").asInt64(), 1);
  database.disconnect();

  TCapturedLog log;
  EXPECT_EQ(database.saveSMSPart({"k", 1, "P", t0}), psNotConnected);
  EXPECT_FALSE(database.retrieveSMSParts("", parts));
  EXPECT_FALSE(database.deleteSMSParts("k"));
  EXPECT_TRUE(log.contains(KVLL_WARN, "db", "call of \"saveSMSPart\" while db is not connected"));
}

// An emoji that ends the first part, Cyrillic and GSM text, received in two parts with a
// restart of the server between them, reaches "/getnewsms" as one message, unchanged.
TEST_P(SMSPartsStoreTest, ARestartBetweenTwoPartsLosesNothingAndEmojiReachGetNewSMS) {
  std::string text = "Gr\xC3\xBC\xC3\x9F"
                     "e ";
  while (utf8ToUtf16(text).size() < 65) {
    text += "\xD0\x96";
  }
  text += "\xF0\x9F\x98\x80 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC";
  const auto parts = fakes::deliveredParts("491711234567", text, 200);
  ASSERT_EQ(parts.size(), 2u);
  fDb->exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTPWD, ACCOUNTACTIVE, "
            "ACCOUNTTYPE) values (1, 'anna', :0, 'true', 2)",
            {encodeMD5("pw")});
  fDb->exec("insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (1, 1, '4917')");
  {
    TBizDatabase before;
    before.connect(defaultSettings());
    TSMSInbox inbox(before, fDir.file("received"));
    EXPECT_TRUE(receive(inbox, parts[1]));
    before.disconnect();
  }
  TBizDatabase database;
  database.connect(defaultSettings());
  TSMSInbox inbox(database, fDir.file("received"));
  EXPECT_TRUE(receive(inbox, parts[0]));
  EXPECT_EQ(fDb->scalar("select SMSTEXT from smsserver_in").asString(), text);
  EXPECT_EQ(fDb->scalar("select SMSPDUDATA from smsserver_in").asString(),
            parts[0] + " " + parts[1]);
  EXPECT_EQ(fDb->scalar("select count(*) from SMSSERVER_PARTS").asInt64(), 0);

  fakes::TFakeSMSModem modem;
  TSMSCommands commands(database, modem);
  TWebRequest request;
  request.Method = "GET";
  request.Path = "/getnewsms";
  request.QueryFields = parseWebFormFields("smsusr=anna&smspwd=" + encodeMD5("pw"));
  TWebResponse answer;
  commands.dispatch(request, answer);
  ASSERT_EQ(answer.Status, 201) << answer.Body;
  TAttributedDocument document;
  document.setContent(latin1ToUtf8(answer.Body.substr(4)));
  ASSERT_EQ(document.getAttributeCount(), 1);
  TAttributedDocument& sms = document.getAttributes(0).getValueAsRecord();
  EXPECT_EQ(sms.getAttributesByID("message")->getValueAsString(), text);
  EXPECT_EQ(sms.getAttributesByID("sender")->getValueAsString(), "491711234567");
  EXPECT_EQ(sms.getAttributesByID("msglength")->getValueAsInteger(),
            static_cast<int>(utf8ToCodePoints(text).size()));
  EXPECT_EQ(sms.getAttributesByID("msgtime")->getValueAsDateTime(), fakes::IC_DELIVEREDSTAMP);
}

TEST_P(SMSPartsStoreTest, ADatabaseOfTheOlderSchemaIsBroughtUpToDateWhenTheServerConnects) {
  // The schema as it was: PDU columns of 2000 characters, no table of parts.
  TTestDatabase old(GetParam(), false);
  std::string schema = testsupport::readFile(testsupport::sourcePath("db/schema.sql"));
  for (std::size_t at; (at = schema.find("VARCHAR(8000)")) != std::string::npos;) {
    schema.replace(at, 13, "VARCHAR(2000)");
  }
  for (const std::string& statement : splitSQLScript(schema)) {
    if (statement.find("SMSSERVER_PARTS") == std::string::npos) {
      old.exec(statement);
    }
  }
  const std::string columnLengths =
      "select f.RDB$CHARACTER_LENGTH from RDB$RELATION_FIELDS rf join RDB$FIELDS f on "
      "f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE where rf.RDB$FIELD_NAME = 'SMSPDUDATA' and "
      "rf.RDB$RELATION_NAME starting with 'SMSSERVER_' order by rf.RDB$RELATION_NAME";
  ASSERT_EQ(old.query(columnLengths).size(), 3u);

  TCapturedLog log;
  TBizDatabase database;
  database.connect(old.settings());
  EXPECT_TRUE(log.contains(KVLL_INFO, "connect.schema",
                           "added the table SMSSERVER_PARTS for the parts of long SMS"))
      << log.dump();
  EXPECT_TRUE(log.contains(KVLL_INFO, "connect.schema",
                           "widened SMSSERVER_OUT.SMSPDUDATA to 8000 characters for the PDUs of "
                           "long SMS"));
  EXPECT_EQ(old.query(columnLengths), fDb->query(columnLengths)) << "as a new database has them";
  EXPECT_EQ(database.saveSMSPart({"k", 1, "P", TDateTime()}), psSaved);
  const std::string pdus(7999, 'A');
  EXPECT_GT(database.saveSMSOut(VTSMSMMT_TEXT, "49", 0, "long", pdus, TDateTime(), "", 0, 0, 0), 0);
  database.disconnect();

  const std::size_t before = log.lines().size();
  database.connect(old.settings());
  for (std::size_t i = before; i < log.lines().size(); ++i) {
    EXPECT_NE(log.lines()[i].Module, "connect.schema") << "nothing more to do";
  }
  database.disconnect();

  // A database without the gateway's tables gets none of them.
  TTestDatabase empty(GetParam(), false);
  EXPECT_THROW(database.connect(empty.settings()), std::exception) << "it has no generators";
  EXPECT_EQ(empty
                .scalar("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = "
                        "'SMSSERVER_PARTS'")
                .asInt64(),
            0);
}

TEST_P(SMSPartsStoreTest, AConnectionCharacterSetNarrowerThanTheColumnsIsReported) {
  TCapturedLog log;
  TBizDatabase database;
  TBizDatabaseSettings settings = fDb->settings();
  settings.Encoding = "UNICODE_FSS";
  database.connect(settings);
  EXPECT_TRUE(log.contains(KVLL_WARN, "connect.schema",
                           "the connection character set \"UNICODE_FSS\" cannot carry every "
                           "character of the UTF8 text columns (emoji among them): set the "
                           "option DatabaseEncoding to \"UTF8\""))
      << log.dump();
}

INSTANTIATE_TEST_SUITE_P(Engines, SMSPartsStoreTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

} // namespace
