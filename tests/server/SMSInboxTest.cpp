#include "server/SMSInbox.h"

#include "tests/server/DbTestSupport.h"
#include "tests/server/FakeSMSParts.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using dbtest::TCapturedLog;
using fakes::TFakeSMSStore;

TVTSMSManagerMessage reported(TVTSMSManagerMessageType aType = VTSMSMMT_TEXT) {
  TVTSMSManagerMessage info;
  info.setMessageType(aType);
  info.setMessageTimestamp(TDateTime::encode(2026, 5, 6, 7, 8, 9));
  info.setMessageIndex(3);
  info.setMessageState(1);
  info.setMessageLength(5);
  return info;
}

class SMSInboxTest : public testing::Test {
protected:
  SMSInboxTest() {
    fStore.Accounts = {{1, "germany", "", 2, {}, {"49"}},
                       {2, "berlin", "", 2, {}, {"+4930", " 4940"}},
                       {3, "nobody", "", 2, {}, {}},
                       {4, "everyone", "", 2, {}, {""}}};
  }
  std::string folder() const { return fDir.file("received"); }
  std::size_t files() const { return testsupport::listDirectory(folder()).size(); }
  std::vector<int> copiesOf(std::int64_t aKey) const {
    std::vector<int> accounts;
    for (const auto& copy : fStore.Unread) {
      if (copy.Key == aKey) {
        accounts.push_back(copy.AccountId);
      }
    }
    return accounts;
  }

  testsupport::TTempDir fDir;
  TCapturedLog fLog;
  TFakeSMSStore fStore;
  TSMSInbox fInbox{fStore, folder()};
};

TEST_F(SMSInboxTest, CopiesTheSMSToEveryAccountWhosePatternsMatchItsSender) {
  struct TCase {
    const char* Sender;
    std::vector<int> Accounts;
  };
  const TCase cases[] = {{"4930111", {1, 2, 4}},
                         {"4940222", {1, 2, 4}},
                         {"4950333", {1, 4}},
                         {"4412345", {4}},
                         {"+4930", {4}}};
  for (const TCase& c : cases) {
    const std::int64_t key = fStore.NextKey;
    EXPECT_TRUE(fInbox.handleReceived(c.Sender, "Hallo", "PDU", reported())) << c.Sender;
    EXPECT_EQ(copiesOf(key), c.Accounts) << c.Sender;
    ASSERT_EQ(fStore.In.back().Key, key);
    EXPECT_EQ(fStore.In.back().Originator, c.Sender);
  }
  EXPECT_EQ(files(), std::size(cases));
  const auto& copy = fStore.Unread.front();
  EXPECT_EQ(copy.Text, "Hallo");
  EXPECT_EQ(copy.Data, "PDU");
  EXPECT_EQ(copy.MessageDate, TDateTime::encode(2026, 5, 6, 7, 8, 9));
  EXPECT_EQ(copy.ReceiveDate, fStore.In.front().ReceiveDate);
}

// The row and its copies are stored together or not at all; an SMS not stored is offered
// again by the modem and then stored once, its file written at the first reading only.
TEST_F(SMSInboxTest, AnSMSIsStoredWithAllItsCopiesOnceOrNotAtAll) {
  fStore.ThrowIn = "saveReceivedSMS";
  EXPECT_FALSE(fInbox.handleReceived("4930", "a", "PDU-A", reported()));
  EXPECT_TRUE(fStore.In.empty());
  EXPECT_TRUE(fStore.Unread.empty()) << "nothing queued without its row (no key 0)";
  EXPECT_EQ(files(), 1u);
  EXPECT_TRUE(fLog.contains(KVLL_ERROR, "smsmodem", "writing incomming SMS to DB : store failed"));

  fStore.ThrowIn.clear();
  fStore.Connected = false;
  EXPECT_FALSE(fInbox.handleReceived("4930", "a", "PDU-A", reported()));
  EXPECT_FALSE(fInbox.handleReceived("4930", "a", "PDU-A", reported()));
  EXPECT_EQ(files(), 1u) << "the same SMS read again while the database is down";

  fStore.Connected = true;
  const std::int64_t key = fStore.NextKey;
  EXPECT_TRUE(fInbox.handleReceived("4930", "a", "PDU-A", reported()));
  ASSERT_EQ(fStore.In.size(), 1u);
  EXPECT_EQ(copiesOf(key), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(files(), 1u);

  // One account's copy is refused: the others get theirs, and the SMS counts as stored.
  fStore.FailingCopies = {2};
  const std::int64_t next = fStore.NextKey;
  EXPECT_TRUE(fInbox.handleReceived("4930", "b", "PDU-B", reported()));
  EXPECT_EQ(copiesOf(next), (std::vector<int>{1, 4}));
  EXPECT_TRUE(
      fLog.contains(KVLL_ERROR, "smsmodem", "error writing sms to unread table: copy failed"));
  EXPECT_EQ(files(), 2u);
}

// A message file that cannot be written is logged; the SMS is stored in the database all the
// same and may leave the modem (keeping it would store it again at every reading).
TEST_F(SMSInboxTest, AFileThatCannotBeWrittenDoesNotKeepTheSMSInTheModem) {
  testsupport::writeFile(fDir.file("blocked"), "a file, not a folder");
  TSMSInbox blocked(fStore, fDir.file("blocked"));
  const std::int64_t key = fStore.NextKey;
  EXPECT_TRUE(blocked.handleReceived("4930", "d", "PDU-D", reported()));
  EXPECT_EQ(copiesOf(key), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(fStore.In.size(), 1u);
  bool logged = false;
  for (const auto& line : fLog.lines()) {
    logged |= line.Level == KVLL_ERROR && line.Module == "smsmodem" &&
              line.Message.rfind("writing SMS-File \"", 0) == 0;
  }
  EXPECT_TRUE(logged) << fLog.dump();
}

TEST_F(SMSInboxTest, TracesTheDataOfBinarySMSOnly) {
  fInbox.handleReceived("4930", "text", "0011AA", reported());
  fInbox.handleReceived("4930", "0102", "0011BB", reported(VTSMSMMT_DATA));
  EXPECT_TRUE(fLog.contains(KVLL_TRACE, "smsmodem",
                            "SMS received: <06.05.2026 07:08:09> 4930, \"text\", []"))
      << fLog.dump();
  EXPECT_TRUE(fLog.contains(KVLL_TRACE, "smsmodem",
                            "SMS received: <06.05.2026 07:08:09> 4930, \"0102\", [0011BB]"));
  EXPECT_TRUE(fLog.contains(KVLL_TRACE, "receivesmsserial",
                            "new sms received from \"4930\" text=\"text\" data=\"0011AA\" "
                            "timestamp=\"06.05.2026 07:08:09\""));
}

} // namespace
