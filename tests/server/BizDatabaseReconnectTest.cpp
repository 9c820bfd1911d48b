// The core's database connection when the database server goes away and comes back: a TCP
// forwarder between the core and the shared Firebird server stands for the line that breaks.
#include "common/SystemTools.h"
#include "server/BizDatabase.h"
#include "server/SMSInbox.h"
#include "tests/server/DbTestSupport.h"
#include "tests/support/TcpForwarder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using dbtest::EDbEngine;
using dbtest::TCapturedLog;
using testsupport::waitFor;

class BizDatabaseReconnectTest : public testing::Test {
protected:
  void SetUp() override {
    dbtest::requireEngine(EDbEngine::server);
    if (IsSkipped()) {
      return;
    }
    fDb = std::make_unique<dbtest::TTestDatabase>(EDbEngine::server);
    fDb->exec("insert into ACCOUNTS (accountid, accountname, accountpwd, accountactive, "
              "accounttype) values (1, 'anna', :0, 'true', 3)",
              {encodeMD5("pw")});
    fDb->exec("insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (1, 1, '49')");
    fForwarder = std::make_unique<testsupport::TTcpForwarder>(dbtest::serverLogin().Host, 3050);
    fSettings = fDb->settings();
    fSettings.Host = "127.0.0.1/" + std::to_string(fForwarder->port());
    fDatabase.setReconnectTimings({std::chrono::milliseconds(50), std::chrono::milliseconds(200)});
    fDatabase.OnReconnected = [this] { ++fReconnectedEvents; };
  }
  void TearDown() override {
    if (fDatabase.isConnected()) {
      fDatabase.disconnect();
    }
  }
  bool check() {
    std::string result;
    int account = 0;
    return fDatabase.checkAccount("anna", encodeMD5("pw"), ACT_RECEIVESMS, result, account, true);
  }
  std::int64_t received() { return fDb->scalar("select count(*) from smsserver_in").asInt64(); }
  static TVTSMSManagerMessage sms(const std::string& aPdu) {
    TVTSMSManagerMessage message;
    message.setRecipient("4917");
    message.setTheMessage("text");
    message.setMessageDataPDU(aPdu);
    message.setMessageTimestamp(NowUTC());
    return message;
  }

  std::unique_ptr<dbtest::TTestDatabase> fDb;
  std::unique_ptr<testsupport::TTcpForwarder> fForwarder;
  TBizDatabaseSettings fSettings;
  TBizDatabase fDatabase;
  std::atomic<int> fReconnectedEvents{0};
};

TEST_F(BizDatabaseReconnectTest, ALostConnectionIsRestoredInTheBackgroundWhenTheServerIsBack) {
  TCapturedLog log;
  fDatabase.connect(fSettings);
  ASSERT_TRUE(check());

  fForwarder->cut();
  std::string result;
  int account = 0;
  EXPECT_FALSE(
      fDatabase.checkAccount("anna", encodeMD5("pw"), ACT_RECEIVESMS, result, account, true));
  EXPECT_EQ(result, "500:db not connected");
  EXPECT_FALSE(fDatabase.isConnected());
  EXPECT_TRUE(fDatabase.isReconnecting());
  bool lostLogged = false;
  for (const auto& line : log.lines()) {
    lostLogged |= line.Level == KVLL_ERROR && line.Module == "db" &&
                  line.Message.rfind("connection lost in \"checkAccount\": ", 0) == 0;
  }
  EXPECT_TRUE(lostLogged) << log.dump();

  // Meanwhile: not connected at once; a received SMS is not stored (it stays in the modem).
  TSMSInbox inbox(fDatabase, fDb->folder() + "/received");
  EXPECT_LT(inbox.storeReceived(sms("PDU1"), NowUTC()), 0);
  EXPECT_TRUE(log.contains(KVLL_WARN, "db", "call of \"saveSMSIn\" while db is not connected"));
  EXPECT_TRUE(waitFor([&] {
    for (const auto& line : log.lines()) {
      if (line.Module == "connect" &&
          line.Message.find("next attempt in 200 ms") != std::string::npos) {
        return true;
      }
    }
    return false;
  })) << "the pauses grow to the longest one";

  fForwarder->restore();
  ASSERT_TRUE(waitFor([&] { return fDatabase.isConnected(); }));
  EXPECT_TRUE(waitFor([&] { return fReconnectedEvents == 1; }));
  EXPECT_EQ(fDatabase.getReconnectionCount(), 1);
  EXPECT_FALSE(fDatabase.isReconnecting());
  EXPECT_TRUE(check());
  EXPECT_GT(inbox.storeReceived(sms("PDU1"), NowUTC()), 0);
  EXPECT_EQ(received(), 1);
  EXPECT_EQ(fDb->scalar("select count(*) from smsserver_unread").asInt64(), 1);
}

// The server was away a moment and is back when the next operation runs: that operation
// connects again itself and runs once more, so its caller sees no failure at all.
TEST_F(BizDatabaseReconnectTest, AnOperationThatFindsTheConnectionBrokenConnectsAgainAndRunsOnce) {
  fDatabase.connect(fSettings);
  fForwarder->cut();
  fForwarder->restore();
  TSMSInbox inbox(fDatabase, fDb->folder() + "/received");
  EXPECT_GT(inbox.storeReceived(sms("PDU2"), NowUTC()), 0);
  EXPECT_EQ(received(), 1);
  EXPECT_EQ(fDatabase.getReconnectionCount(), 1);
  EXPECT_EQ(fReconnectedEvents, 0) << "no background attempt was needed";
  fForwarder->cut();
  fForwarder->restore();
  EXPECT_TRUE(check());
  EXPECT_EQ(fDatabase.getReconnectionCount(), 2);
}

// A server that cannot be reached at start-up is tried again the same way until it can.
TEST_F(BizDatabaseReconnectTest, AConnectThatFailedAtStartUpIsTriedAgain) {
  fForwarder->cut();
  EXPECT_THROW(fDatabase.connect(fSettings), EKVLSUserSessionException);
  EXPECT_FALSE(check());
  fForwarder->restore();
  ASSERT_TRUE(waitFor([&] { return fDatabase.isConnected(); }));
  EXPECT_TRUE(check());
  EXPECT_EQ(fDatabase.getReconnectionCount(), 1);
  // disconnect ends the attempts: a later loss is no longer repaired.
  fDatabase.disconnect();
  EXPECT_FALSE(fDatabase.isReconnecting());
  EXPECT_FALSE(check());
  EXPECT_FALSE(fDatabase.isReconnecting());
}

} // namespace
