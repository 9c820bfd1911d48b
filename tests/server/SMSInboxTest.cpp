#include "server/SMSInbox.h"

#include "modem/SMSCodec.h"
#include "server/SMSPartsWatch.h"
#include "tests/server/DbTestSupport.h"
#include "tests/server/FakeSMSParts.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using dbtest::TCapturedLog;
using fakes::deliveredParts;
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

// Long SMS arrive in parts, each reported by the driver as it decodes it.
class SMSInboxPartsTest : public SMSInboxTest {
protected:
  bool receive(const std::string& aPDU) { return receive(fInbox, aPDU); }
  bool receive(TSMSInbox& aInbox, const std::string& aPDU) {
    const auto decoded = TSMSCODEC().DecodeSMS(aPDU);
    TVTSMSManagerMessage info =
        reported(static_cast<TVTSMSManagerMessageType>(std::stoi(decoded[2])));
    return aInbox.handleReceived(decoded[0], decoded[1], aPDU, info);
  }
  static std::string joined(const std::vector<std::string>& aPDUs) {
    std::string text;
    for (const auto& pdu : aPDUs) {
      text += (text.empty() ? "" : " ") + pdu;
    }
    return text;
  }
  static std::string repeated(const std::string& aText, int aTimes) {
    std::string text;
    for (int i = 0; i < aTimes; ++i) {
      text += aText;
    }
    return text;
  }
};

TEST_F(SMSInboxPartsTest, PartsInAnyOrderAndRepeatedMakeOneMessage) {
  const std::string text = repeated("Ein langer Text. ", 20); // 340 septets: three parts
  const auto parts = deliveredParts("4930111", text, 42);
  ASSERT_EQ(parts.size(), 3u);
  for (const std::string& pdu : {parts[2], parts[0], parts[0], parts[2]}) {
    EXPECT_TRUE(receive(pdu)) << "kept, or kept before: the modem may delete it";
  }
  EXPECT_EQ(fStore.Parts.size(), 2u);
  EXPECT_TRUE(fStore.In.empty());
  EXPECT_EQ(files(), 0u);

  EXPECT_TRUE(receive(parts[1]));
  ASSERT_EQ(fStore.In.size(), 1u);
  const auto& row = fStore.In[0];
  EXPECT_EQ(row.Originator, "4930111");
  EXPECT_EQ(row.Text, text) << "joined in part order, without the header";
  EXPECT_EQ(row.Data, joined(parts));
  EXPECT_EQ(row.Type, VTSMSMMT_TEXT);
  EXPECT_EQ(row.MessageDate, fakes::IC_DELIVEREDSTAMP);
  EXPECT_EQ(copiesOf(row.Key), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(fStore.Unread[0].Text, text);
  EXPECT_EQ(files(), 1u);
  EXPECT_TRUE(fStore.Parts.empty());

  EXPECT_TRUE(receive(fakes::deliveredParts("4930111", "kurz", 0)[0]));
  EXPECT_EQ(fStore.In.size(), 2u) << "a single SMS is stored at once";
  EXPECT_TRUE(fStore.Parts.empty());
}

TEST_F(SMSInboxPartsTest, InterleavedMessagesOfTwoSendersAndBothReferenceWidthsStayApart) {
  // Cyrillic and an emoji (a surrogate pair in UCS2) from one sender, GSM text from another,
  // under the same reference; and a message with a 16-bit reference (element 08).
  const std::string russian =
      repeated("\xD0\x96", 66) + "\xF0\x9F\x98\x80" + repeated("\xD0\x96", 10);
  const std::string german = repeated("abc", 60);
  const auto a = deliveredParts("4930111", russian, 7);
  const auto b = deliveredParts("4940222", german, 7);
  const std::string wide = "00440C91947111325476000862506070809000";
  const std::vector<std::string> c = {wide + "09060804123402010048", wide + "09060804123402020069"};
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), 2u);
  for (const std::string& pdu : {a[0], b[1], c[1], b[0], a[1], c[0]}) {
    EXPECT_TRUE(receive(pdu));
  }
  ASSERT_EQ(fStore.In.size(), 3u);
  EXPECT_EQ(fStore.In[0].Originator, "4940222");
  EXPECT_EQ(fStore.In[0].Text, german);
  EXPECT_EQ(fStore.In[1].Originator, "4930111");
  EXPECT_EQ(fStore.In[1].Text, russian);
  EXPECT_EQ(fStore.In[1].Type, 2) << "UCS2 text, stored as text";
  EXPECT_EQ(fStore.In[2].Originator, "491711234567");
  EXPECT_EQ(fStore.In[2].Text, "Hi");
  EXPECT_TRUE(fStore.Parts.empty());
}

TEST_F(SMSInboxPartsTest, AMessageLeftIncompleteIsStoredAsItIsAfterTheTimeOut) {
  const TDateTime t0 = TDateTime::encode(2026, 5, 6, 8, 0, 0);
  TDateTime now = t0;
  fInbox.setClock([&] { return now; });
  fInbox.setConcatTimeout(std::chrono::minutes(60));
  const auto parts = deliveredParts("4930111", repeated("0123456789", 40), 9); // three parts
  receive(parts[0]);
  now = t0.addMilliseconds(10 * 60 * 1000);
  receive(parts[2]);

  EXPECT_EQ(fInbox.deliverDueParts(t0.addMilliseconds(60 * 60 * 1000)), 0) << "still waiting";
  EXPECT_TRUE(fStore.In.empty());
  EXPECT_EQ(fInbox.deliverDueParts(t0.addMilliseconds(61 * 60 * 1000)), 1);
  ASSERT_EQ(fStore.In.size(), 1u);
  const TSMSCODEC codec;
  EXPECT_EQ(fStore.In[0].Text,
            codec.DecodeSMSFull(parts[0]).Message + codec.DecodeSMSFull(parts[2]).Message);
  EXPECT_EQ(fStore.In[0].Data, parts[0] + " " + parts[2]);
  EXPECT_EQ(fStore.In[0].ReceiveDate, now) << "when its last part came";
  EXPECT_EQ(copiesOf(fStore.In[0].Key), (std::vector<int>{1, 2, 4}));
  EXPECT_TRUE(fLog.contains(KVLL_WARN, "smsmodem",
                            "incomplete SMS from \"4930111\" stored as it is: parts 1, 3 of 3 "
                            "arrived before the time-out"))
      << fLog.dump();
  EXPECT_TRUE(fStore.Parts.empty());
  EXPECT_EQ(fInbox.deliverDueParts(t0.addMilliseconds(120 * 60 * 1000)), 0);

  // The part that was missing comes late: it waits on its own, as a message of its own.
  receive(parts[1]);
  EXPECT_EQ(fStore.Parts.size(), 1u);
}

TEST_F(SMSInboxPartsTest, KeptPartsSurviveARestartAndFailuresLeaveThemForALaterTry) {
  const auto parts = deliveredParts("4930111", repeated("x", 200), 3);
  ASSERT_EQ(parts.size(), 2u);
  {
    TSMSInbox before(fStore, folder());
    EXPECT_TRUE(receive(before, parts[0]));
  }
  // Without a database a part is not kept, and the modem keeps it.
  fStore.Connected = false;
  EXPECT_FALSE(receive(parts[1]));
  fStore.Connected = true;
  fStore.ThrowIn = "saveSMSPart";
  EXPECT_FALSE(receive(parts[1]));
  EXPECT_TRUE(
      fLog.contains(KVLL_ERROR, "smsmodem",
                    "writing part 2 of 2 of the SMS from \"4930111\" to DB : store failed"));

  // Kept, but the parts cannot be read back now: the next check stores the message.
  fStore.ThrowIn = "retrieveSMSParts";
  EXPECT_TRUE(receive(parts[1]));
  EXPECT_TRUE(fStore.In.empty());
  fStore.ThrowIn.clear();
  EXPECT_EQ(fInbox.deliverDueParts(fInbox.now()), 1) << "whole messages need no time-out";
  ASSERT_EQ(fStore.In.size(), 1u);
  EXPECT_EQ(fStore.In[0].Text, repeated("x", 200));
  EXPECT_TRUE(fStore.Parts.empty());
}

TEST_F(SMSInboxPartsTest, TheWatchStoresWhatIsDueWithoutAnotherSMSArriving) {
  const auto parts = deliveredParts("4930111", repeated("y", 200), 5);
  ASSERT_EQ(parts.size(), 2u);
  fInbox.setConcatTimeout(std::chrono::minutes(1));
  fStore.Parts.push_back({"4930111/8/5/2", 1, parts[0], fInbox.now().addMilliseconds(-120000)});
  {
    TSMSPartsWatch watch(fInbox);
    watch.start(std::chrono::hours(1)); // the first check runs at once
    EXPECT_TRUE(testsupport::waitFor([&] {
      return fLog.contains(KVLL_WARN, "smsmodem",
                           "incomplete SMS from \"4930111\" stored as it is: parts 1 of 2 "
                           "arrived before the time-out");
    }));
  }
  ASSERT_EQ(fStore.In.size(), 1u);
  EXPECT_EQ(fStore.In[0].Text, repeated("y", 153));
}

} // namespace
