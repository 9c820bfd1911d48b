// The account operations of the core's database side.
#include "common/SystemTools.h"
#include "logging/KvLogger.h"
#include "server/BizDatabase.h"
#include "server/PIBSql.h"

#include <limits>
#include <optional>

namespace {

const char* const kCheckModule = "db.checkaccount";

std::optional<TDateTime> optionalTime(const TSQLValue& aValue) {
  if (aValue.isNull()) {
    return std::nullopt;
  }
  return aValue.asDateTime();
}

// A NULL time reads as 0.
TDateTime timeOrZero(const TSQLValue& aValue) {
  return aValue.isNull() ? TDateTime() : aValue.asDateTime();
}

std::string quotedName(const std::string& aName) {
  return "\"" + aName + "\"";
}

} // namespace

TFbStatement& TBizDatabase::findAccountByName(const std::string& aName) {
  TFbStatement& query =
      preparedStatement("select * from accounts acc where (acc.accountname = :var0)");
  query.setParamByName("var0", aName);
  query.execQuery();
  return query;
}

bool TBizDatabase::checkAccount(const std::string& aUserName, const std::string& aPassword,
                                TKVSMSSAction aAction, std::string& aAccountRequestResult,
                                int& aAccountIDResult, bool isMD5) {
  aAccountIDResult = -1;
  aAccountRequestResult = "500:db not connected";
  // The lines of a refused check wait for the lock to be let go (logDatabase): many clients
  // with a wrong password must not hold up the database while the logger writes.
  return guarded(
      "checkAccount", false, true,
      [&]() REQUIRES(fCSDatabase) {
        TFbStatement& account = findAccountByName(aUserName);
        if (account.eof()) {
          aAccountRequestResult = std::to_string(SSMS_UNAUTHORIZED);
          logDatabase(KVLL_WARN, kCheckModule,
                      "account " + quotedName(aUserName) + " NOT found -> fail");
          return false;
        }
        const std::string password = isMD5 ? aPassword : encodeMD5(aPassword);
        if (password != account.fieldByName("accountpwd").asString()) {
          aAccountRequestResult = std::to_string(SSMS_UNAUTHORIZED);
          logDatabase(KVLL_WARN, kCheckModule,
                      "account " + quotedName(aUserName) + " found, password wrong -> fail");
          return false;
        }
        const int type = account.fieldByName("accounttype").asInteger();
        const bool active = readAccountActive(account.fieldByName("accountactive").asString());
        const auto expiry = optionalTime(account.fieldByName("expirationtime"));
        if (accountAllows(type, aAction) && active && notExpired(expiry)) {
          aAccountRequestResult = std::to_string(SSMS_OK);
          aAccountIDResult = account.fieldByName("accountid").asInteger();
          if (Logger().isTrace()) {
            logDatabase(KVLL_TRACE, kCheckModule,
                        "account " + quotedName(aUserName) +
                            " found, password ok, not expired, active -> successfully");
          }
          return true;
        }
        aAccountRequestResult = std::to_string(SSMS_FORBIDDEN);
        logDatabase(KVLL_WARN, kCheckModule,
                    "account " + quotedName(aUserName) +
                        " found, password ok, but expired or inactive -> fail");
        return false;
      },
      kCheckModule);
}

bool TBizDatabase::login(const std::string& aUserName, const std::string& aPassword,
                         int& ResAccountType) {
  ResAccountType = -1;
  return guarded("login", false, false, [&]() REQUIRES(fCSDatabase) {
    TFbStatement& account = preparedStatement("select * from accounts where accountname = :var0");
    account.setParamByName("var0", aUserName);
    account.execQuery();
    if (account.eof()) {
      logDatabase(KVLL_TRACE, "db",
                  "account " + quotedName(aUserName) + " not found, no such username.");
      return false;
    }
    if (encodeMD5(aPassword) == account.fieldByName("accountpwd").asString()) {
      ResAccountType = account.fieldByName("accounttype").asInteger();
      logDatabase(KVLL_TRACE, "db",
                  "account " + quotedName(aUserName) +
                      " found and password ok, logon successfully.");
      return true;
    }
    logDatabase(KVLL_TRACE, "db",
                "account " + quotedName(aUserName) + " found, but password wrong, logon FAILED.");
    return false;
  });
}

void TBizDatabase::appendAccountsLocked(std::vector<std::string>& aToStrings) {
  TFbStatement& accounts = preparedStatement("select * from accounts");
  accounts.execQuery();
  while (!accounts.eof()) {
    aToStrings.push_back(accounts.fieldByName("accountid").asString() + "=" +
                         accounts.fieldByName("accountname").asString());
    accounts.next();
  }
}

bool TBizDatabase::retrieveAccounts(std::vector<std::string>* aToStrings) {
  if (aToStrings == nullptr) {
    return false;
  }
  const std::size_t before = aToStrings->size();
  return guarded("retrieveAccounts", false, false, [&]() REQUIRES(fCSDatabase) {
    aToStrings->resize(before); // a run again after a lost connection starts afresh
    appendAccountsLocked(*aToStrings);
    return true;
  });
}

bool TBizDatabase::existsAccountByName(const std::string& aAccountName) {
  return guarded("existsAccountByName", false, false,
                 [&]() REQUIRES(fCSDatabase) { return !findAccountByName(aAccountName).eof(); });
}

bool TBizDatabase::addAccount(const std::string& aName, const std::string& aPasswd, bool aActive,
                              int aType, TDateTime aExpiration, int aExtraID) {
  try {
    if (existsAccountByName(aName)) {
      return false;
    }
    // Not connected: the existence test has logged the warning.
    return onConnection("addAccount", "db", false, false, [&]() REQUIRES(fCSDatabase) {
      if (fAccountGenerator == nullptr) {
        return false;
      }
      honourCommitRequest();
      ensureTransaction();
      const std::int64_t key = fAccountGenerator->getNewValue();
      if (key < 0 || key > std::numeric_limits<std::int32_t>::max()) {
        return false;
      }
      // Times go as typed timestamps: the creation time is the current local time.
      std::unique_ptr<TFbStatement> insert;
      if (aExpiration.value() > 0) {
        execParamSQL(IBBizDatabase, insert,
                     "insert into ACCOUNTS (accountid, accountname, accountpwd, accountactive, "
                     "accounttype, creationtime, expirationtime, extradataid) values (:0, :1, "
                     ":2, :3, :4, :5, :6, :7);",
                     {static_cast<std::int32_t>(key), aName, aPasswd, accountActiveText(aActive),
                      aType, NowLocal(), aExpiration, aExtraID});
      } else {
        execParamSQL(IBBizDatabase, insert,
                     "insert into ACCOUNTS (accountid, accountname, accountpwd, accountactive, "
                     "accounttype, creationtime, extradataid, expirationtime) values (:0, :1, "
                     ":2, :3, :4, :5, :6, null);",
                     {static_cast<std::int32_t>(key), aName, aPasswd, accountActiveText(aActive),
                      aType, NowLocal(), aExtraID});
      }
      insert.reset();
      commitAndStart();
      return true;
    });
  } catch (const std::exception&) {
    // Reported as false; a second addition of one name ends here on the unique constraint.
    return false;
  }
}

bool TBizDatabase::updateAccount(int aAccountID, const std::string& aName,
                                 const std::string& aPasswd, bool aActive, int aType,
                                 TDateTime aExpiration, int aExtraID) {
  try {
    if (!existsAccountByName(aName)) {
      return false;
    }
    return onConnection("updateAccount", "db", false, false, [&]() REQUIRES(fCSDatabase) {
      honourCommitRequest();
      ensureTransaction();
      std::unique_ptr<TFbStatement> update;
      if (aExpiration.value() > 0) {
        execParamSQL(
            IBBizDatabase, update,
            "update ACCOUNTS set accountname=:0, accountpwd=:1, accountactive=:2, "
            "accounttype=:3, expirationtime=:4, extradataid=:5 where accountid=:6",
            {aName, aPasswd, accountActiveText(aActive), aType, aExpiration, aExtraID, aAccountID});
      } else {
        execParamSQL(IBBizDatabase, update,
                     "update ACCOUNTS set accountname=:0, accountpwd=:1, accountactive=:2, "
                     "accounttype=:3, expirationtime=null, extradataid=:4 where accountid=:5",
                     {aName, aPasswd, accountActiveText(aActive), aType, aExtraID, aAccountID});
      }
      update.reset();
      commitAndStart();
      return true;
    });
  } catch (const std::exception&) {
    return false;
  }
}

bool TBizDatabase::getAccount(int aAccountID, std::string& rAccountName,
                              std::string& rAccountPassword, bool& rActive, int& rType,
                              TDateTime& rCreationTime, TDateTime& rExpiration,
                              std::int64_t& rExtraData) {
  return guarded("getAccount", false, true, [&]() REQUIRES(fCSDatabase) {
    TFbStatement& account =
        preparedStatement("select * from accounts acc where (acc.accountid = :var0)");
    account.setParamByName("var0", aAccountID);
    account.execQuery();
    if (account.eof()) {
      return false;
    }
    rAccountName = account.fieldByName("accountname").asString();
    rAccountPassword = account.fieldByName("accountpwd").asString();
    rActive = readAccountActive(account.fieldByName("accountactive").asString());
    rType = account.fieldByName("accounttype").asInteger();
    rCreationTime = timeOrZero(account.fieldByName("creationtime"));
    rExpiration = timeOrZero(account.fieldByName("expirationtime"));
    rExtraData = account.fieldByName("extradataid").asInt64();
    return true;
  });
}

bool TBizDatabase::getAccountByName(const std::string& aUserName, const std::string& aPassword,
                                    bool isMD5, int& rAccountId, bool& rActive, int& rType,
                                    TDateTime& rCreationTime, TDateTime& rExpiration,
                                    std::int64_t& rExtraData) {
  return guarded("getAccountByName", false, true, [&]() REQUIRES(fCSDatabase) {
    TFbStatement& account = findAccountByName(aUserName);
    if (account.eof()) {
      return false;
    }
    const std::string password = isMD5 ? aPassword : encodeMD5(aPassword);
    if (password != account.fieldByName("accountpwd").asString()) {
      return false;
    }
    rAccountId = account.fieldByName("accountid").asInteger();
    rActive = readAccountActive(account.fieldByName("accountactive").asString());
    rType = account.fieldByName("accounttype").asInteger();
    rCreationTime = timeOrZero(account.fieldByName("creationtime"));
    rExpiration = timeOrZero(account.fieldByName("expirationtime"));
    rExtraData = account.fieldByName("extradataid").asInt64();
    return true;
  });
}

bool TBizDatabase::getAccountData(int aAccountID, std::vector<std::string>* aToDataList) {
  if (aToDataList == nullptr) {
    TDatabaseLock lock(fCSDatabase); // waits for the database like every operation
    return false;
  }
  const std::size_t before = aToDataList->size();
  return guarded("getAccountData", false, true, [&]() REQUIRES(fCSDatabase) {
    aToDataList->resize(before); // a run again after a lost connection starts afresh
    TFbStatement& data =
        preparedStatement("select * from accountsdata accdata where (accdata.accountid = :var0)");
    data.setParamByName("var0", aAccountID);
    data.execQuery();
    while (!data.eof()) {
      aToDataList->push_back(data.fieldByName("datakey").asString() + "=" +
                             data.fieldByName("datavalue").asString());
      data.next();
    }
    return true;
  });
}

bool TBizDatabase::deleteAccount(int aAccountID) {
  return guarded("deleteAccount", false, true, [&]() REQUIRES(fCSDatabase) {
    bool deleted = false;
    {
      TFbStatement& statement =
          preparedStatement("delete from accounts acc where (acc.accountid = :var0)");
      statement.setParamByName("var0", aAccountID);
      statement.execQuery();
      deleted = statement.rowsAffected() > 0;
    }
    restartTransaction("deleteAccount");
    return deleted;
  });
}
