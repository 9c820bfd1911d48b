#include "server/BizDatabase.h"

#include "logging/KvLogger.h"
#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using dbtest::EDbEngine;
using dbtest::TCapturedLog;
using dbtest::TTestDatabase;

TEST(BizDatabaseNameTest, ConnectionNameAndParameters) {
  TBizDatabaseSettings settings;
  settings.Name = "C:\\data\\sms.fdb";
  settings.Port = 3051; // not part of the name
  settings.Username = "sysdba";
  settings.Password = "pondlight";
  EXPECT_EQ(TBizDatabase::connectionName(settings), "C:\\data\\sms.fdb");
  settings.Host = "db1";
  EXPECT_EQ(TBizDatabase::connectionName(settings), "db1:C:\\data\\sms.fdb");
  EXPECT_EQ(TBizDatabase::connectionParams(settings),
            (std::vector<std::string>{"user_name=sysdba", "password=pondlight"}));
  settings.Role = "R";
  settings.Encoding = "UNICODE_FSS";
  EXPECT_EQ(TBizDatabase::connectionParams(settings),
            (std::vector<std::string>{"user_name=sysdba", "password=pondlight", "sql_role_name=R",
                                      "lc_ctype=UNICODE_FSS"}));
}

TEST(BizDatabaseNameTest, ExistsDatabaseDropsOnlyALocalhostPrefix) {
  testsupport::TTempDir dir;
  testsupport::writeFile(dir.file("a.fdb"), "x");
  TBizDatabase database;
  TBizDatabaseSettings settings;
  settings.Name = dir.file("a.fdb");
  const auto existsWith = [&](const std::string& aHost) {
    settings.Host = aHost;
    database.getIBBizDatabase().setDatabaseName(TBizDatabase::connectionName(settings));
    return database.existsDatabase();
  };
  EXPECT_TRUE(existsWith(""));
  EXPECT_TRUE(existsWith("localhost"));
  EXPECT_FALSE(existsWith("db1"));
}

TEST(BizDatabaseNameTest, OperationsWithoutAConnectionWarnAndFail) {
  TCapturedLog log;
  TBizDatabase database;
  std::string text;
  int number = 0;
  bool flag = false;
  TDateTime time;
  std::int64_t big = 0;
  std::vector<std::string> list;
  const std::pair<const char*, bool> calls[] = {
      {"login", database.login("a", "b", number)},
      {"retrieveAccounts", database.retrieveAccounts(&list)},
      {"existsAccountByName", database.existsAccountByName("a")},
      {"getAccount", database.getAccount(1, text, text, flag, number, time, time, big)},
      {"getAccountByName",
       database.getAccountByName("a", "b", true, number, flag, number, time, time, big)},
      {"getAccountData", database.getAccountData(1, &list)},
      {"deleteAccount", database.deleteAccount(1)},
  };
  for (const auto& [name, result] : calls) {
    EXPECT_FALSE(result) << name;
    EXPECT_TRUE(log.contains(KVLL_WARN, "db",
                             std::string("call of \"") + name + "\" while db is not connected"))
        << name << "\n"
        << log.dump();
  }
  int accountID = 0;
  EXPECT_FALSE(database.checkAccount("a", "b", ACT_SENDSMS, text, accountID, true));
  EXPECT_EQ(text, "500:db not connected");
  EXPECT_EQ(accountID, -1);
  EXPECT_TRUE(log.contains(KVLL_WARN, "db.checkaccount",
                           "call of \"checkAccount\" while db is not connected"));
  // Adding and changing: one warning, that of the existence test.
  const auto before = log.lines().size();
  EXPECT_FALSE(database.addAccount("a", "b", true, 1, TDateTime(), 0));
  EXPECT_FALSE(database.updateAccount(1, "a", "b", true, 1, TDateTime(), 0));
  EXPECT_EQ(log.lines().size(), before + 2);
  // Absent lists fail without a warning.
  EXPECT_FALSE(database.retrieveAccounts(nullptr));
  EXPECT_FALSE(database.getAccountData(1, nullptr));
  EXPECT_EQ(log.lines().size(), before + 2);
}

class BizDatabaseTest : public dbtest::TDatabaseTest {
protected:
  // The message of the exception connect raises, "" when it connects.
  std::string connectError(TBizDatabase& aDatabase, const TBizDatabaseSettings& aSettings) {
    try {
      aDatabase.connect(aSettings);
    } catch (const EKVLSUserSessionException& e) {
      return e.what();
    }
    return {};
  }
};

TEST_P(BizDatabaseTest, ConnectReadiesTheGeneratorsAndDisconnectWritesThemBack) {
  fDb->exec("insert into smsserver_out (ID) values (123)");
  TCapturedLog log;
  TBizDatabase database;
  database.connect(fDb->settings());
  EXPECT_TRUE(database.isConnected());
  EXPECT_TRUE(log.contains(KVLL_INFO, "connect", "connect..."));
  EXPECT_TRUE(log.contains(KVLL_INFO, "connect", "DB=" + fDb->connectionName()));
  EXPECT_TRUE(log.contains(KVLL_INFO, "connect", "connect...OK"));
  ASSERT_NE(database.getSMSOutGenerator(), nullptr);
  EXPECT_EQ(database.getSMSOutGenerator()->getNewValue(), 124);
  EXPECT_EQ(database.getAccountGenerator()->getCurrentValue(), 0);

  database.disconnect();
  EXPECT_FALSE(database.isConnected());
  EXPECT_EQ(database.getSMSOutGenerator(), nullptr);
  EXPECT_EQ(TIBGenerator::openGeneratorCount(), 0);
  EXPECT_EQ(fDb->scalar("select gen_id(smsserver_out_GEN, 0) from rdb$database").asInt64(), 124);
}

TEST_P(BizDatabaseTest, SecondConnectDisconnectsFirst) {
  TBizDatabase database;
  database.connect(fDb->settings());
  database.getSMSInGenerator()->getNewValue();
  database.getSMSInGenerator()->getNewValue();
  database.connect(); // written back, disposed of, loaded again
  EXPECT_TRUE(database.isConnected());
  EXPECT_EQ(database.getSMSInGenerator()->getCurrentValue(), 2);
  EXPECT_EQ(TIBGenerator::openGeneratorCount(), 3);
  database.disconnect();
}

TEST_P(BizDatabaseTest, OpenFailuresRaiseAndLeaveTheCoreDisconnected) {
  TBizDatabaseSettings wrongPath = fDb->settings();
  wrongPath.Name = fDb->folder() + "/missing/none.fdb";
  std::vector<TBizDatabaseSettings> failing{wrongPath};
  if (GetParam() == EDbEngine::server) {
    TBizDatabaseSettings wrongPassword = fDb->settings();
    wrongPassword.Password += "-wrong";
    failing.push_back(wrongPassword);
  }
  for (const TBizDatabaseSettings& settings : failing) {
    TCapturedLog log;
    TBizDatabase database;
    const std::string message = connectError(database, settings);
    EXPECT_EQ(message.rfind("Fehler bei Connect in UserSession:  (open) EFbError\"", 0), 0)
        << message;
    EXPECT_EQ(message.back(), '"');
    EXPECT_FALSE(database.isConnected());
    bool logged = false;
    for (const auto& line : log.lines()) {
      logged |= line.Level == KVLL_ERROR && line.Module == "connect.open" &&
                line.Message.rfind("t=EFbError e=", 0) == 0;
    }
    EXPECT_TRUE(logged) << log.dump();
    std::vector<std::string> list;
    EXPECT_FALSE(database.retrieveAccounts(&list));
  }
}

TEST_P(BizDatabaseTest, MissingTableOrGeneratorFailsTheTransactionStep) {
  const char* breakages[] = {"drop table smsserver_out", "drop sequence smsserver_in_GEN"};
  for (const char* breakage : breakages) {
    TTestDatabase broken(GetParam());
    broken.exec(breakage);
    TCapturedLog log;
    TBizDatabase database;
    const std::string message = connectError(database, broken.settings());
    EXPECT_EQ(message.rfind("Fehler bei Connect in UserSession:  (transaction) \"", 0), 0)
        << message;
    EXPECT_NE(message.find("Problem beim Generator"), std::string::npos) << message;
    EXPECT_FALSE(database.isConnected());
    EXPECT_TRUE(database.getIBBizDatabase().connected()); // the connection stays open
    EXPECT_EQ(TIBGenerator::openGeneratorCount(), 0);     // generators only while connected
    bool logged = false;
    for (const auto& line : log.lines()) {
      logged |= line.Level == KVLL_ERROR && line.Module == "connect.transaction" &&
                line.Message.rfind("e=", 0) == 0;
    }
    EXPECT_TRUE(logged) << log.dump();
  }
}

TEST_P(BizDatabaseTest, WriteAndRestartLogsItsFailures) {
  TBizDatabase database;
  TCapturedLog log;
  database.writeAndRestart("saveSMSOut"); // never connected: nothing to commit, no start
  EXPECT_TRUE(log.contains(KVLL_ERROR, "sql", "on saveSMSOut.startTransaction: database not open"))
      << log.dump();
  database.connect(fDb->settings());
  database.writeAndRestart("deleteAccount");
  EXPECT_TRUE(database.getIBBizTransaction().inTransaction());
  database.disconnect();
}

TEST_P(BizDatabaseTest, CommitRequestLetsTheNextOperationSeeRowsCommittedElsewhere) {
  TBizDatabase database;
  database.connect(fDb->settings());
  EXPECT_FALSE(database.existsAccountByName("outside"));
  fDb->exec("insert into ACCOUNTS (accountid, accountname, accountpwd, accountactive, "
            "accounttype) values (50, 'outside', :0, 'true', 3)",
            {encodeMD5("pw")});
  // The long-lived transaction still sees its snapshot.
  std::string result;
  int id = 0;
  EXPECT_FALSE(database.checkAccount("outside", "pw", ACT_SENDSMS, result, id, false));
  EXPECT_EQ(result, "401");
  database.claimCommitTransaction();
  EXPECT_FALSE(database.existsAccountByName("outside")); // does not honour the request
  EXPECT_TRUE(database.getClaimCommitTransaction());
  EXPECT_TRUE(database.checkAccount("outside", "pw", ACT_SENDSMS, result, id, false));
  EXPECT_EQ(id, 50);
  EXPECT_FALSE(database.getClaimCommitTransaction());
  database.disconnect();
}

TEST_P(BizDatabaseTest, CreateDatabaseMakesAnEmptyDatabaseAndOpensIt) {
  TBizDatabase database;
  database.setSettings(fDb->settings());
  const std::string name =
      (GetParam() == EDbEngine::server ? fDb->settings().Host + ":" : std::string()) +
      fDb->folder() + "/it's new.fdb";
  database.createDatabase(name);
  EXPECT_TRUE(database.getIBBizDatabase().connected());
  EXPECT_EQ(database.getIBBizDatabase().getDatabaseName(), name);
  EXPECT_TRUE(database.existsDatabase() || GetParam() == EDbEngine::server);
  EXPECT_FALSE(database.isConnected());
  EXPECT_THROW(database.createDatabase(name), EFbError); // the file exists
}

TEST_P(BizDatabaseTest, SharedConnectionServesManyThreads) {
  TBizDatabase database;
  database.connect(fDb->settings());
  ASSERT_TRUE(database.addAccount("shared", encodeMD5("pw"), true, 3, TDateTime(), 0));
  constexpr int kThreads = 8;
  constexpr int kRounds = 25;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        std::string result;
        int id = 0;
        if (!database.checkAccount("shared", "pw", ACT_RECEIVESMS, result, id, false)) {
          ++failures;
        }
        const std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
        if (!database.addAccount(name, "x", true, 1, TDateTime(), 0)) {
          ++failures;
        }
        if (i % 5 == 0) {
          database.claimCommitTransaction();
        }
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures, 0);
  std::vector<std::string> accounts;
  ASSERT_TRUE(database.retrieveAccounts(&accounts));
  EXPECT_EQ(accounts.size(), 1u + kThreads * kRounds);
  database.disconnect();
  // Every key was handed out once and the generator ends at the largest.
  EXPECT_EQ(fDb->scalar("select count(distinct accountid) from accounts").asInt64(),
            1 + kThreads * kRounds);
  EXPECT_EQ(fDb->scalar("select gen_id(ACCOUNTS_GEN, 0) from rdb$database").asInt64(),
            fDb->scalar("select max(accountid) from accounts").asInt64());
}

// Lines of the database side are written once the database lock is let go: an appender that
// takes its time (a slow disk) while writing a refused logon's warning holds up nobody who
// needs the database. The appender looks from another thread whether the lock is free.
class TLockProbe : public TKvLogAppender {
public:
  explicit TLockProbe(TBizDatabase& aDatabase) : fDatabase(aDatabase) {
    Logger().addAppender(this);
  }
  ~TLockProbe() override {
    for (int i = Logger().getAppenderCount() - 1; i >= 0; --i) {
      if (Logger().getAppender(i) == this) {
        Logger().deleteAppender(i);
      }
    }
  }
  void append(const TKvLoggerMessage& aEvent) override {
    if (aEvent.getLogModule() != "db.checkaccount") {
      return;
    }
    std::thread other([this] {
      TRecursiveCriticalSection& lock = fDatabase.getCSDatabase();
      if (lock.try_lock()) {
        lock.unlock();
        ++Free;
      } else {
        ++Held;
      }
    });
    other.join();
  }
  std::atomic<int> Free{0};
  std::atomic<int> Held{0};

private:
  TBizDatabase& fDatabase;
};

TEST_P(BizDatabaseTest, TheWarningsOfARefusedLogonAreWrittenOutsideTheDatabaseLock) {
  fDb->exec("insert into ACCOUNTS (accountid, accountname, accountpwd, accountactive, "
            "accounttype) values (1, 'anna', 'digest', 'true', 3)");
  TBizDatabase database;
  database.connect(fDb->settings());
  TCapturedLog log;
  TLockProbe probe(database);
  std::string result;
  int account = 0;
  EXPECT_FALSE(database.checkAccount("anna", "wrong", ACT_SENDSMS, result, account, true));
  EXPECT_FALSE(database.checkAccount("nobody", "x", ACT_SENDSMS, result, account, true));
  EXPECT_TRUE(
      log.contains(KVLL_WARN, "db.checkaccount", "account \"anna\" found, password wrong -> fail"));
  EXPECT_TRUE(log.contains(KVLL_WARN, "db.checkaccount", "account \"nobody\" NOT found -> fail"));
  EXPECT_EQ(probe.Free, 2);
  EXPECT_EQ(probe.Held, 0);
  database.disconnect();
}

INSTANTIATE_TEST_SUITE_P(Engines, BizDatabaseTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

} // namespace
