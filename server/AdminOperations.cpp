#include "server/AdminOperations.h"

#include "server/DatabaseLock.h"

#include <algorithm>

namespace {

void commitAndRestart(TFbTransaction& aTransaction) {
  if (aTransaction.inTransaction()) {
    aTransaction.commit();
    aTransaction.startTransaction();
  }
}

} // namespace

bool retrieveUnreadCounts(TBizDatabase& aDatabase, std::vector<TUnreadCount>& aCounts) {
  aCounts.clear();
  return aDatabase.guarded("retrieveUnreadCounts", false, false, [&]() NO_THREAD_SAFETY_ANALYSIS {
    aCounts.clear(); // a run again after a lost connection starts afresh
    TFbTransaction& transaction = aDatabase.getIBBizTransaction();
    commitAndRestart(transaction);
    if (!transaction.inTransaction()) {
      transaction.startTransaction();
    }
    TFbStatement query(&aDatabase.getIBBizDatabase(), &transaction);
    query.setSQL("select u.ACCOUNTID, a.ACCOUNTNAME, count(*) as QUEUED from smsserver_unread u "
                 "left join ACCOUNTS a on a.ACCOUNTID = u.ACCOUNTID "
                 "group by u.ACCOUNTID, a.ACCOUNTNAME");
    query.execQuery();
    while (!query.eof()) {
      TUnreadCount count;
      count.AccountID = query.fieldByName("ACCOUNTID").asInt64();
      if (!query.fieldByName("ACCOUNTNAME").isNull()) {
        count.AccountName = query.fieldByName("ACCOUNTNAME").asString();
      }
      count.Count = query.fieldByName("QUEUED").asInt64();
      aCounts.push_back(std::move(count));
      query.next();
    }
    std::sort(aCounts.begin(), aCounts.end(), [](const TUnreadCount& a, const TUnreadCount& b) {
      return a.AccountName != b.AccountName ? a.AccountName < b.AccountName
                                            : a.AccountID < b.AccountID;
    });
    return true;
  });
}

void restartMainTransaction(TBizDatabase& aDatabase) {
  TDatabaseLock lock(aDatabase.getCSDatabase()); // its line is written after the lock goes
  try {
    commitAndRestart(aDatabase.getIBBizTransaction());
  } catch (const std::exception& e) {
    logDatabase(KVLL_ERROR, "sql", std::string("on restartMainTransaction: ") + e.what());
  }
}
