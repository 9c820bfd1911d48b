#include "common/SystemTools.h"
#include "server/BizDatabase.h"
#include "server/SMSInbox.h"
#include "server/SMSPatterns.h"
#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dbtest::EDbEngine;
using dbtest::TCapturedLog;
using dbtest::TTestDatabase;

TEST(SMSPatternsTest, PatternsArePrefixesWithOneOptionalPlusOrBlank) {
  struct TCase {
    const char* Number;
    const char* Pattern;
    bool Matches;
  };
  const TCase cases[] = {
      {"491711234567", "49", true},
      {"491711234567", "+49", true},
      {"491711234567", " 49", true},
      {"491711234567", "0049", false},
      {"491711234567", "+", false},
      {"491711234567", " ", false},
      {"491711234567", "", true},
      {"", "", true},
      {"+491711234567", "4917", false},
      {"491711234567", "++49", false},
      {"49", "4917", false},
      {"491711234567", "491711234567", true},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(matchPattern(std::string(c.Number), std::string(c.Pattern)), c.Matches)
        << "number \"" << c.Number << "\" pattern \"" << c.Pattern << "\"";
  }
  TVTSMSManagerMessage sms;
  sms.setRecipient("4930123");
  EXPECT_TRUE(matchPattern(&sms, "+4930"));
  EXPECT_FALSE(matchPattern(&sms, "4931"));
  EXPECT_TRUE(matchPattern(nullptr, ""));
  EXPECT_FALSE(matchPattern(nullptr, "49"));
}

TEST(SMSStoreOfflineTest, OperationsWithoutAConnectionWarnAndStoreNothing) {
  TCapturedLog log;
  TBizDatabase database;
  TSMSList list;
  TVTSMSManagerMessage sms;
  EXPECT_EQ(database.saveSMSOut(VTSMSMMT_TEXT, "49", 0, "t", "", NowUTC(), "", -1, -1, -1), -1);
  EXPECT_EQ(database.saveSMSIn(VTSMSMMT_TEXT, "49", 0, "t", "", NowUTC(), NowUTC(), 1, 1, 1), -1);
  database.saveSMSUnRead(1, VTSMSMMT_TEXT, 5, "49", "t", "", NowUTC(), NowUTC(), 1, 1, 1);
  EXPECT_FALSE(database.deleteSMSUnRead(5, 1));
  EXPECT_FALSE(database.retrieveSMSUnRead(&list, 1));
  EXPECT_FALSE(database.checkSMSForSend("49", 1));
  EXPECT_FALSE(database.checkSMSForUnread(&sms, 1));
  for (const char* name : {"saveSMSOut", "saveSMSIn", "saveSMSUnRead", "deleteSMSUnRead",
                           "retrieveSMSUnRead", "checkSMSForSend", "checkSMSForUnread"}) {
    EXPECT_TRUE(log.contains(KVLL_WARN, "db",
                             std::string("call of \"") + name + "\" while db is not connected"))
        << name;
  }
  // The saves still try to restart the transaction, and say so.
  EXPECT_TRUE(log.contains(KVLL_ERROR, "sql", "on saveSMSIn.startTransaction: database not open"))
      << log.dump();
  const auto before = log.lines().size();
  EXPECT_FALSE(database.retrieveSMSUnRead(nullptr, 1));
  EXPECT_FALSE(database.checkSMSForUnread(nullptr, 1));
  EXPECT_EQ(log.lines().size(), before);
}

class SMSStoreTest : public dbtest::TDatabaseTest {
protected:
  void TearDown() override {
    if (fDatabase.isConnected()) {
      fDatabase.disconnect();
    }
  }
  void addPattern(const char* aTable, int aId, int aAccount, const TSQLValue& aPattern) {
    fDb->exec(std::string("insert into ") + aTable +
                  " (ID, ACCOUNTID, PATTERN) values (:0, :1, :2)",
              {aId, aAccount, aPattern});
  }
  // The database part of handling a received SMS: the row and the copies.
  std::int64_t receive(const TVTSMSManagerMessage& aSMS, TDateTime aReceived) {
    TSMSInbox inbox(fDatabase, fDb->folder() + "/received");
    return inbox.storeReceived(aSMS, aReceived);
  }
  static TVTSMSManagerMessage sms(const std::string& aSender, const std::string& aText,
                                  TDateTime aTime, int aType = VTSMSMMT_TEXT) {
    TVTSMSManagerMessage message;
    message.setRecipient(aSender);
    message.setTheMessage(aText);
    message.setMessageDataPDU(
        "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07");
    message.setMessageTimestamp(aTime);
    message.setMessageType(static_cast<TVTSMSManagerMessageType>(aType));
    message.setMessageIndex(3);
    message.setMessageState(1);
    message.setMessageLength(static_cast<int>(aText.size()));
    return message;
  }

  TBizDatabase fDatabase;
};

TEST_P(SMSStoreTest, SentSMSTakeAGeneratorKeyUnlessOneIsGiven) {
  fDb->exec("insert into smsserver_out (ID) values (40)");
  fDatabase.connect(fDb->settings());
  const TDateTime sent = TDateTime::encode(2025, 3, 4, 5, 6, 7, 89);
  EXPECT_EQ(fDatabase.saveSMSOut(VTSMSMMT_TEXT, "491711", 0, "Hallo NULL", "0011PDU", sent, "me", 1,
                                 2, 3),
            41);
  EXPECT_EQ(fDatabase.saveSMSOut(VTSMSMMT_DATA, "491722", 17, "01AB", "PDU2", sent, "", 1, 2, 3),
            17);
  EXPECT_EQ(fDatabase.getSMSOutGenerator()->getCurrentValue(), 41); // untouched by key 17
  // Committed at once: another connection sees both rows.
  const auto rows = fDb->query("select ID, SMSTYPE, RECIPIENT, SMSTEXT, CREATE_DATE, "
                               "ORIGINATOR, SMSENCODING, STATUS_REPORT, FLASH_SMS, SRC_PORT, "
                               "DST_PORT, PRIORITY, STATUS, ERRORS, GATEWAY_ID, SMSPDUDATA "
                               "from smsserver_out where ID <> 40 order by ID");
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<TSQLValue> first = {std::int64_t{17},
                                        "O",
                                        "491722",
                                        "01AB",
                                        sent,
                                        "0",
                                        "8",
                                        std::int64_t{0},
                                        std::int64_t{0},
                                        std::int64_t{0},
                                        std::int64_t{0},
                                        std::int64_t{0},
                                        "S",
                                        std::int64_t{0},
                                        "0",
                                        "PDU2"};
  EXPECT_EQ(rows[0], first);
  EXPECT_EQ(rows[1][3].asString(), "Hallo NULL");
  EXPECT_EQ(rows[1][6].asString(), "7");
  // An insert error reaches the caller; the store goes on working.
  EXPECT_THROW(fDatabase.saveSMSOut(VTSMSMMT_TEXT, "49", 17, "again", "", sent, "", 0, 0, 0),
               EFbError);
  EXPECT_EQ(fDatabase.saveSMSOut(VTSMSMMT_TEXT, "49", 0, "next", "", sent, "", 0, 0, 0), 42);
  EXPECT_EQ(fDb->scalar("select count(*) from smsserver_out").asInt64(), 4);
}

TEST_P(SMSStoreTest, ReceivedSMSAreCopiedToTheAccountsWhosePatternsMatch) {
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (1, 'germany')");
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (2, 'berlin')");
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (3, 'nobody')");
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (4, 'everyone')");
  addPattern("SMSSERVER_INPATTERNS", 1, 1, "49");
  addPattern("SMSSERVER_INPATTERNS", 2, 2, "+4930");
  addPattern("SMSSERVER_INPATTERNS", 3, 2, " 4940");
  addPattern("SMSSERVER_INPATTERNS", 4, 4, TSQLValue()); // NULL: every number
  fDatabase.connect(fDb->settings());

  const TDateTime t0 = TDateTime::encode(2025, 6, 1, 12, 0, 0);
  const TDateTime received = NowUTC();
  receive(sms("4930111", "later", t0.addMilliseconds(5000)), received);
  const std::int64_t early = receive(sms("4940222", "Grüße", t0, 2), received);
  receive(sms("4930333", "binary", t0.addMilliseconds(2000), VTSMSMMT_DATA), received);
  receive(sms("4412345", "abroad", t0), received);

  const auto queue = [&](int aAccount) {
    return fDb->scalar("select count(*) from smsserver_unread where ACCOUNTID = :0", {aAccount})
        .asInt64();
  };
  EXPECT_EQ(queue(1), 3);
  EXPECT_EQ(queue(2), 3);
  EXPECT_EQ(queue(3), 0);
  EXPECT_EQ(queue(4), 4);
  const auto stored = fDb->query("select SMSENCODING, SMSTYPE, PROCESS, GATEWAY_ID, SMSINDEX, "
                                 "RECEIVE_DATE from smsserver_in where ID = :0",
                                 {early});
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0][0].asString(), "7"); // 16-bit text is stored as text
  EXPECT_EQ(stored[0][1].asString(), "I");
  EXPECT_EQ(stored[0][2].asInt64(), 1);
  EXPECT_EQ(stored[0][3].asString(), "0");
  EXPECT_EQ(stored[0][4].asInt64(), 3);
  EXPECT_EQ(stored[0][5].asDateTime(), received);

  TSMSList list;
  ASSERT_TRUE(fDatabase.retrieveSMSUnRead(&list, 2));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Text, std::to_string(early)); // oldest message date first
  const TVTSMSManagerMessage& first = *list[0].Object;
  EXPECT_EQ(first.getRecipient(), "4940222");
  EXPECT_EQ(first.getTheMessage(), "Grüße");
  EXPECT_EQ(first.getMessageType(), VTSMSMMT_TEXT);
  EXPECT_EQ(first.getMessageTimestamp(), t0);
  EXPECT_EQ(first.getMessageIndex(), -1);
  EXPECT_EQ(first.getMessageState(), -1);
  EXPECT_EQ(first.getMessageLength(), 5); // characters, not bytes
  EXPECT_EQ(first.getMessageDataPDU(), "");
  EXPECT_EQ(list[1].Object->getTheMessage(), "binary");
  EXPECT_EQ(list[1].Object->getMessageType(), VTSMSMMT_DATA);
  EXPECT_EQ(list[2].Object->getTheMessage(), "later");

  // Fetching deletes each copy of the account, and only of that account.
  for (const TSMSListItem& item : list) {
    EXPECT_TRUE(fDatabase.deleteSMSUnRead(std::stoll(item.Text), 2));
  }
  EXPECT_TRUE(fDatabase.deleteSMSUnRead(999, 2)); // nothing to delete is no failure
  EXPECT_EQ(queue(2), 0);
  EXPECT_EQ(queue(4), 4);
  TSMSList empty;
  EXPECT_TRUE(fDatabase.retrieveSMSUnRead(&empty, 2));
  EXPECT_TRUE(empty.empty());
}

// A copy the database refuses (here: a row of that key is queued for the account already)
// is logged and left out; the row and the other copies are stored all the same.
TEST_P(SMSStoreTest, ACopyTheDatabaseRefusesIsLeftOutAndTheRestIsStored) {
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (1, 'one')");
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (2, 'two')");
  addPattern("SMSSERVER_INPATTERNS", 1, 1, "49");
  addPattern("SMSSERVER_INPATTERNS", 2, 2, "49");
  fDb->exec("insert into smsserver_in (ID) values (7)");
  fDb->exec("insert into smsserver_unread (ID, ACCOUNTID) values (8, 1)");
  dbtest::TCapturedLog log;
  fDatabase.connect(fDb->settings());
  EXPECT_EQ(receive(sms("4930", "x", NowUTC()), NowUTC()), 8);
  EXPECT_EQ(fDb->scalar("select count(*) from smsserver_in where ID = 8").asInt64(), 1);
  EXPECT_EQ(
      fDb->scalar("select count(*) from smsserver_unread where ID = 8 and ACCOUNTID = 2").asInt64(),
      1);
  bool logged = false;
  for (const auto& line : log.lines()) {
    logged |= line.Level == KVLL_ERROR && line.Module == "smsmodem" &&
              line.Message.rfind("error writing sms to unread table: ", 0) == 0;
  }
  EXPECT_TRUE(logged) << log.dump();
}

TEST_P(SMSStoreTest, SendPatternsDecideTheRecipients) {
  addPattern("SMSSERVER_OUTPATTERNS", 1, 1, "+49171");
  addPattern("SMSSERVER_OUTPATTERNS", 2, 1, "4930");
  addPattern("SMSSERVER_OUTPATTERNS", 3, 2, "");
  fDatabase.connect(fDb->settings());
  EXPECT_TRUE(fDatabase.checkSMSForSend("491711234", 1));
  EXPECT_TRUE(fDatabase.checkSMSForSend("4930", 1));
  EXPECT_FALSE(fDatabase.checkSMSForSend("491721234", 1));
  EXPECT_TRUE(fDatabase.checkSMSForSend("anything", 2));
  EXPECT_FALSE(fDatabase.checkSMSForSend("491711234", 3)); // no patterns: no rights
}

TEST_P(SMSStoreTest, UnreadQueueSeesCopiesCommittedElsewhereAfterACommitRequest) {
  fDatabase.connect(fDb->settings());
  TSMSList list;
  ASSERT_TRUE(fDatabase.retrieveSMSUnRead(&list, 7));
  fDb->exec("insert into smsserver_unread (ID, ACCOUNTID, ORIGINATOR, SMSTEXT, SMSENCODING) "
            "values (1, 7, '49', 'x', '7')");
  ASSERT_TRUE(fDatabase.retrieveSMSUnRead(&list, 7));
  EXPECT_TRUE(list.empty()); // the long-lived transaction's snapshot
  fDatabase.claimCommitTransaction();
  ASSERT_TRUE(fDatabase.retrieveSMSUnRead(&list, 7));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Object->getMessageType(), VTSMSMMT_TEXT);
  EXPECT_EQ(list[0].Object->getMessageTimestamp(), TDateTime());
}

INSTANTIATE_TEST_SUITE_P(Engines, SMSStoreTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

} // namespace
