#include "server/AdminOperations.h"

#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

namespace {

using dbtest::EDbEngine;

TEST(AdminOperationsTest, CountsTheQueuedSMSPerAccountAsTheyAreNow) {
  dbtest::TTestDatabase db(EDbEngine::embedded);
  db.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTTYPE) values (1, 'zoe', 2)");
  db.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTTYPE) values (2, 'anna', 2)");
  db.exec("insert into ACCOUNTS (ACCOUNTID, ACCOUNTNAME, ACCOUNTTYPE) values (3, 'idle', 2)");
  TBizDatabase database;
  std::vector<TUnreadCount> counts;
  {
    dbtest::TCapturedLog log;
    EXPECT_FALSE(retrieveUnreadCounts(database, counts));
    EXPECT_TRUE(log.contains(KVLL_WARN, "db",
                             "call of \"retrieveUnreadCounts\" while db is not connected"));
  }
  database.connect(db.settings());
  ASSERT_TRUE(retrieveUnreadCounts(database, counts));
  EXPECT_TRUE(counts.empty());
  // Rows another connection commits later are counted: the query starts a fresh snapshot.
  const char* rows[][2] = {{"10", "1"}, {"11", "1"}, {"10", "2"}, {"12", "9"}};
  for (const auto& row : rows) {
    db.exec(std::string("insert into smsserver_unread (ID, ACCOUNTID) values (") + row[0] + ", " +
            row[1] + ")");
  }
  ASSERT_TRUE(retrieveUnreadCounts(database, counts));
  ASSERT_EQ(counts.size(), 3u);
  EXPECT_EQ(counts[0].AccountName, ""); // account 9 is gone
  EXPECT_EQ(counts[0].AccountID, 9);
  EXPECT_EQ(counts[1].AccountName, "anna");
  EXPECT_EQ(counts[1].Count, 1);
  EXPECT_EQ(counts[2].AccountName, "zoe");
  EXPECT_EQ(counts[2].Count, 2);
  restartMainTransaction(database);
  EXPECT_TRUE(database.getIBBizTransaction().inTransaction());
  database.disconnect();
}

} // namespace
