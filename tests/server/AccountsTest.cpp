#include "server/Accounts.h"

#include "common/SystemTools.h"
#include "server/BizDatabase.h"
#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace {

using dbtest::EDbEngine;
using dbtest::TCapturedLog;
using dbtest::TTestDatabase;

TEST(AccountToolsTest, DigestIsMD5OfTheSingleByteCharactersInLowerCase) {
  EXPECT_EQ(encodeMD5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(encodeMD5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(encodeMD5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  // One byte per character: "ü" is FC and "€" is 80 in the ANSI code page.
  EXPECT_EQ(encodeMD5("ü€"), "d81b3a1b5324b2b17ca898536e47f73b");
  EXPECT_EQ(encodeMD5("Grüße"), "2c987648c54e9054bf8c8c916b17d5c0");
}

TEST(AccountToolsTest, ActiveTextsAndPermissionBits) {
  EXPECT_TRUE(readAccountActive("true"));
  EXPECT_TRUE(readAccountActive("True"));
  EXPECT_TRUE(readAccountActive("1"));
  EXPECT_FALSE(readAccountActive("yes"));
  EXPECT_FALSE(readAccountActive(""));
  EXPECT_FALSE(readAccountActive("false"));
  struct TCase {
    int Type;
    bool Send, Receive, Clear;
  };
  for (const TCase& c :
       {TCase{0, false, false, false}, TCase{1, true, false, false}, TCase{2, false, true, false},
        TCase{3, true, true, false}, TCase{255, true, true, true}}) {
    EXPECT_EQ(accountAllows(c.Type, ACT_SENDSMS), c.Send) << c.Type;
    EXPECT_EQ(accountAllows(c.Type, ACT_RECEIVESMS), c.Receive) << c.Type;
    EXPECT_EQ(accountAllows(c.Type, ACT_CLEARSMSMEMORY), c.Clear) << c.Type;
  }
}

class AccountsTest : public dbtest::TDatabaseTest {
protected:
  void TearDown() override {
    if (fDatabase.isConnected()) {
      fDatabase.disconnect();
    }
  }
  void connect() { fDatabase.connect(fDb->settings()); }

  // An account row written past the core, as an administrator's tool would.
  void insertAccount(int aId, const std::string& aName, const std::string& aPassword,
                     const TSQLValue& aActive, int aType, const TSQLValue& aExpiration) {
    fDb->exec("insert into ACCOUNTS (accountid, accountname, accountpwd, accountactive, "
              "accounttype, expirationtime) values (:0, :1, :2, :3, :4, :5)",
              {aId, aName, encodeMD5(aPassword), aActive, aType, aExpiration});
  }

  std::string check(const std::string& aName, const std::string& aPassword, TKVSMSSAction aAction,
                    bool isMD5 = false, int* aId = nullptr) {
    std::string result;
    int id = 0;
    const bool passed = fDatabase.checkAccount(aName, aPassword, aAction, result, id, isMD5);
    EXPECT_EQ(passed, result == "200") << aName << " " << result;
    EXPECT_EQ(id == -1, !passed);
    if (aId != nullptr) {
      *aId = id;
    }
    return result;
  }

  TBizDatabase fDatabase;
};

TEST_P(AccountsTest, CheckAccountComparesTheDigestOrThePlainPassword) {
  insertAccount(7, "anna", "geheim", "true", 3, TSQLValue());
  connect();
  TCapturedLog log;
  int id = 0;
  EXPECT_EQ(check("anna", "geheim", ACT_SENDSMS, false, &id), "200");
  EXPECT_EQ(id, 7);
  EXPECT_TRUE(log.contains(KVLL_TRACE, "db.checkaccount",
                           "account \"anna\" found, password ok, not expired, active -> "
                           "successfully"));
  const std::string digest = encodeMD5("geheim");
  EXPECT_EQ(check("anna", digest, ACT_SENDSMS, true), "200");
  std::string upper = digest;
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  EXPECT_EQ(check("anna", upper, ACT_SENDSMS, true), "401");
  EXPECT_EQ(check("anna", "geheim", ACT_SENDSMS, true), "401");
  EXPECT_TRUE(
      log.contains(KVLL_WARN, "db.checkaccount", "account \"anna\" found, password wrong -> fail"));
  EXPECT_EQ(check("Anna", "geheim", ACT_SENDSMS), "401"); // names are case-sensitive
  EXPECT_TRUE(log.contains(KVLL_WARN, "db.checkaccount", "account \"Anna\" NOT found -> fail"));
}

TEST_P(AccountsTest, CheckAccountNeedsTheBitTheActiveFlagAndAValidDate) {
  const TDateTime now = NowLocal();
  insertAccount(1, "type3", "pw", "true", 3, TSQLValue());
  insertAccount(2, "type255", "pw", "True", 255, TSQLValue());
  insertAccount(3, "type0", "pw", "1", 0, TSQLValue());
  insertAccount(4, "yes", "pw", "yes", 255, TSQLValue());
  insertAccount(5, "empty", "pw", "", 255, TSQLValue());
  insertAccount(6, "null", "pw", TSQLValue(), 255, TSQLValue());
  insertAccount(7, "future", "pw", "true", 255, now.addMilliseconds(60'000));
  insertAccount(8, "past", "pw", "true", 255, now.addMilliseconds(-60'000));
  connect();
  TCapturedLog log;
  struct TCase {
    const char* Name;
    TKVSMSSAction Action;
    const char* Result;
  };
  const TCase cases[] = {
      {"type3", ACT_SENDSMS, "200"},        {"type3", ACT_RECEIVESMS, "200"},
      {"type3", ACT_CLEARSMSMEMORY, "403"}, {"type255", ACT_CLEARSMSMEMORY, "200"},
      {"type0", ACT_SENDSMS, "403"},        {"type0", ACT_RECEIVESMS, "403"},
      {"yes", ACT_SENDSMS, "403"},          {"empty", ACT_SENDSMS, "403"},
      {"null", ACT_SENDSMS, "403"},         {"future", ACT_SENDSMS, "200"},
      {"past", ACT_SENDSMS, "403"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(check(c.Name, "pw", c.Action), c.Result) << c.Name << " action " << c.Action;
  }
  EXPECT_TRUE(log.contains(KVLL_WARN, "db.checkaccount",
                           "account \"past\" found, password ok, but expired or inactive -> "
                           "fail"));
}

TEST_P(AccountsTest, LoginLooksOnlyAtThePassword) {
  insertAccount(9, "old", "pw", "false", 255, NowLocal().addMilliseconds(-86'400'000));
  connect();
  TCapturedLog log;
  int type = 0;
  EXPECT_TRUE(fDatabase.login("old", "pw", type));
  EXPECT_EQ(type, 255);
  EXPECT_TRUE(log.contains(KVLL_TRACE, "db",
                           "account \"old\" found and password ok, logon "
                           "successfully."));
  EXPECT_FALSE(fDatabase.login("old", encodeMD5("pw"), type)); // the plain password only
  EXPECT_EQ(type, -1);
  EXPECT_TRUE(
      log.contains(KVLL_TRACE, "db", "account \"old\" found, but password wrong, logon FAILED."));
  EXPECT_FALSE(fDatabase.login("nobody", "pw", type));
  EXPECT_TRUE(log.contains(KVLL_TRACE, "db", "account \"nobody\" not found, no such username."));
}

TEST_P(AccountsTest, AddGetUpdateAndDelete) {
  connect();
  const TDateTime before = NowLocal();
  const TDateTime expiry = TDateTime::encode(2031, 1, 2, 3, 4, 5, 678);
  ASSERT_TRUE(fDatabase.addAccount("bert", encodeMD5("a"), true, 3, expiry, 42));
  ASSERT_TRUE(fDatabase.addAccount("NULL", "NULL", false, 0, TDateTime(), 0));
  EXPECT_FALSE(fDatabase.addAccount("bert", "other", false, 0, TDateTime(), 0));
  EXPECT_EQ(fDb->scalar("select count(*) from accounts").asInt64(), 2);
  // The word NULL is stored as a text.
  EXPECT_EQ(fDb->scalar("select accountpwd from accounts where accountname = 'NULL'").asString(),
            "NULL");

  std::vector<std::string> accounts;
  ASSERT_TRUE(fDatabase.retrieveAccounts(&accounts));
  std::sort(accounts.begin(), accounts.end());
  EXPECT_EQ(accounts, (std::vector<std::string>{"1=bert", "2=NULL"}));

  std::string name, password;
  bool active = false;
  int type = 0;
  TDateTime created, expires;
  std::int64_t extra = 0;
  ASSERT_TRUE(fDatabase.getAccount(1, name, password, active, type, created, expires, extra));
  EXPECT_EQ(name, "bert");
  EXPECT_EQ(password, encodeMD5("a"));
  EXPECT_TRUE(active);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(expires, expiry);
  EXPECT_EQ(extra, 42);
  // The creation time is the local time of the addition, stored as a timestamp.
  EXPECT_GE(created.addMilliseconds(1), before);
  EXPECT_LE(created, NowLocal());
  ASSERT_TRUE(fDatabase.getAccount(2, name, password, active, type, created, expires, extra));
  EXPECT_EQ(expires, TDateTime());

  int id = 0;
  EXPECT_TRUE(
      fDatabase.getAccountByName("bert", "a", false, id, active, type, created, expires, extra));
  EXPECT_EQ(id, 1);
  EXPECT_TRUE(fDatabase.getAccountByName("bert", encodeMD5("a"), true, id, active, type, created,
                                         expires, extra));
  EXPECT_FALSE(
      fDatabase.getAccountByName("bert", "a", true, id, active, type, created, expires, extra));

  // A name must exist already; the creation time stays.
  EXPECT_FALSE(fDatabase.updateAccount(1, "berta", "x", true, 1, TDateTime(), 0));
  ASSERT_TRUE(fDatabase.updateAccount(1, "bert", "x", false, 1, TDateTime(), 7));
  TDateTime createdAgain;
  ASSERT_TRUE(fDatabase.getAccount(1, name, password, active, type, createdAgain, expires, extra));
  EXPECT_EQ(password, "x");
  EXPECT_FALSE(active);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(expires, TDateTime());
  EXPECT_EQ(extra, 7);
  EXPECT_EQ(createdAgain,
            fDb->query("select creationtime from accounts where accountid = 1")[0][0].asDateTime());
  EXPECT_TRUE(fDatabase.updateAccount(99, "bert", "y", true, 1, expiry, 0)); // no such key
  // Renaming onto another account's name fails on the unique name.
  EXPECT_FALSE(fDatabase.updateAccount(2, "bert", "y", true, 1, TDateTime(), 0));

  EXPECT_FALSE(fDatabase.deleteAccount(99));
  EXPECT_TRUE(fDatabase.deleteAccount(2));
  EXPECT_FALSE(fDatabase.getAccount(2, name, password, active, type, created, expires, extra));
  EXPECT_EQ(fDb->scalar("select count(*) from accounts").asInt64(), 1); // committed
}

TEST_P(AccountsTest, AccountDataLines) {
  fDb->exec("insert into accountsdata (accountid, datakey, datavalue) values (1, 'mail', 'a@b')");
  fDb->exec("insert into accountsdata (accountid, datakey, datavalue) values (2, 'x', 'y')");
  connect();
  std::vector<std::string> data;
  ASSERT_TRUE(fDatabase.getAccountData(1, &data));
  EXPECT_EQ(data, std::vector<std::string>{"mail=a@b"});
}

TEST_P(AccountsTest, AdditionsOfOneNameStoreOneAccount) {
  connect();
  // Another connection adds the name after the core's transaction began: the existence
  // test does not see it, the unique name stops the insert.
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (500, 'carl')");
  EXPECT_FALSE(fDatabase.existsAccountByName("carl"));
  EXPECT_FALSE(fDatabase.addAccount("carl", "pw", true, 1, TDateTime(), 0));

  std::atomic<int> added{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([&] {
      if (fDatabase.addAccount("dora", "pw", true, 1, TDateTime(), 0)) {
        ++added;
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(added, 1);
  EXPECT_EQ(fDb->scalar("select count(*) from accounts where accountname = 'dora'").asInt64(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, AccountsTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

} // namespace
