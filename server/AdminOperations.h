#pragma once

#include "server/BizDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

// Core operations the administration pages use beyond the account operations: both work on
// the core's main connection under its database lock (taken here), like every operation of
// the core's database side.

// The number of SMS queued for one account and not yet fetched.
struct TUnreadCount {
  std::int64_t AccountID = 0;
  std::string AccountName; // empty when the account no longer exists
  std::int64_t Count = 0;
};

// The queued SMS per account, by account name; accounts with an empty queue are left out.
// Starts the main transaction afresh first, so that the counts are those of now. False (with
// the "call of ... while db is not connected" warning) when not connected; statement errors
// raise EFbError.
bool retrieveUnreadCounts(TBizDatabase& aDatabase, std::vector<TUnreadCount>& aCounts);

// Commits the main transaction IBBizTransaction, when it is active, and starts it again.
// Errors are logged (module "sql"), not raised.
void restartMainTransaction(TBizDatabase& aDatabase);
