// Operations per second of the core's database work on the embedded engine and on the
// Firebird server, next to the same statements run directly on one attachment with each
// statement prepared once (the limit). Prints figures only.
//   db_bench [seconds per figure, default 1]
// The server is $PARLINO_FB_HOST (default localhost) with $PARLINO_FB_USER / $PARLINO_FB_PASSWORD
// (default SYSDBA and the ISC_PASSWORD of /etc/firebird/3.0/SYSDBA.password).
#include "common/SystemTools.h"
#include "logging/KvLogger.h"
#include "server/BizDatabase.h"
#include "server/DatabaseSetup.h"
#include "server/FbStatement.h"
#include "server/PIBSql.h"
#include "server/SMSInbox.h"
#include "tests/support/LocalServices.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kAccounts = 10;
constexpr int kUnreadRows = 10;

std::string environment(const char* aName, const std::string& aDefault) {
  const char* value = std::getenv(aName);
  return value != nullptr && *value != '\0' ? std::string(value) : aDefault;
}

std::string readText(const std::string& aPath) {
  std::ifstream in(aPath);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs aStep (which returns the time it spent on the measured part) until aSeconds of
// measured time have passed; returns operations per second.
double measure(double aSeconds, const std::function<TClock::duration()>& aStep) {
  TClock::duration spent{};
  long operations = 0;
  while (std::chrono::duration<double>(spent).count() < aSeconds || operations < 10) {
    spent += aStep();
    ++operations;
  }
  return operations / std::chrono::duration<double>(spent).count();
}

template <typename F>
TClock::duration timed(F&& aWork) {
  const auto start = TClock::now();
  aWork();
  return TClock::now() - start;
}

// The same statements as the core's, each prepared once on an attachment of its own.
class TDirect {
public:
  explicit TDirect(const TBizDatabaseSettings& aSettings) {
    fDatabase.setDatabaseName(TBizDatabase::connectionName(aSettings));
    fDatabase.params() = TBizDatabase::connectionParams(aSettings);
    fDatabase.setDefaultTransaction(&fTransaction);
    fDatabase.open();
    fTransaction.startTransaction();
  }
  TFbStatement& statement(std::unique_ptr<TFbStatement>& aSlot, const std::string& aSQL) {
    if (!aSlot) {
      aSlot = std::make_unique<TFbStatement>(&fDatabase, &fTransaction);
      aSlot->setSQL(aSQL);
      aSlot->prepare();
    }
    return *aSlot;
  }
  void commit() {
    fTransaction.commit();
    fTransaction.startTransaction();
  }

  TFbDatabase fDatabase;
  TFbTransaction fTransaction{&fDatabase};
  std::unique_ptr<TFbStatement> fAccount, fInsertIn, fAccounts, fPatterns, fInsertUnread, fUnread,
      fDeleteUnread;
};

const char* const kInsertIn =
    "insert into smsserver_in (ID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, MESSAGE_DATE, "
    "RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSPDUDATA, SMSINDEX, SMSSTATE, SMSLENGTH) values (:varID, "
    ":varPROCESS, :varORIGINATOR, :varSMSTYPE, :varSMSENCODING, :varMESSAGE_DATE, "
    ":varRECEIVE_DATE, :varSMSTEXT, :varGATEWAY_ID, :varSMSPDUDATA, :varSMSINDEX, :varSMSSTATE, "
    ":varSMSLENGTH)";
const char* const kInsertUnread =
    "insert into smsserver_unread (ID, ACCOUNTID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, "
    "MESSAGE_DATE, RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSPDUDATA, SMSINDEX, SMSSTATE, SMSLENGTH) "
    "values (:varID, :varACCOUNTID, :varPROCESS, :varORIGINATOR, :varSMSTYPE, :varSMSENCODING, "
    ":varMESSAGE_DATE, :varRECEIVE_DATE, :varSMSTEXT, :varGATEWAY_ID, :varSMSPDUDATA, "
    ":varSMSINDEX, :varSMSSTATE, :varSMSLENGTH)";

void printFigure(const char* aEngine, const char* aOperation, double aCore, double aDirect) {
  std::printf("%-9s %-40s %12.0f %12.0f %8.2f\n", aEngine, aOperation, aCore, aDirect,
              aCore / aDirect);
}

void runEngine(const char* aEngineName, const TBizDatabaseSettings& aSettings, double aSeconds) {
  std::string error;
  if (!setupDatabase(aSettings, readText(PARLINO_SOURCE_DIR "/db/schema.sql"), "bench", "pw",
                     error)) {
    std::printf("%-9s not available: %s\n", aEngineName, error.c_str());
    return;
  }
  TBizDatabase core;
  core.connect(aSettings);
  for (int i = 1; i <= kAccounts; ++i) {
    core.addAccount("receiver" + std::to_string(i), "x", true, 2, TDateTime(), 0);
  }
  TDirect direct(aSettings);
  // A receive pattern for each of the 10 accounts (and the checked one, key 1).
  for (int i = 1; i <= kAccounts + 1; ++i) {
    TFbStatement insert(&direct.fDatabase, &direct.fTransaction);
    insert.setSQL(
        "insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (:0, :0, '49')");
    insert.prepare();
    insert.setParam(0, i);
    insert.setParam(1, i);
    insert.execQuery();
  }
  direct.commit();
  core.claimCommitTransaction();

  // The account check of every HTTP command.
  const double coreCheck = measure(aSeconds, [&] {
    return timed([&] {
      std::string result;
      int id = 0;
      core.checkAccount("bench", "pw", ACT_SENDSMS, result, id, false);
    });
  });
  const double directCheck = measure(aSeconds, [&] {
    return timed([&] {
      TFbStatement& account = direct.statement(
          direct.fAccount, "select * from accounts acc where (acc.accountname = :var0)");
      account.setParam(0, "bench");
      account.execQuery();
      const bool passed = !account.eof() &&
                          account.fieldByName("accountpwd").asString() == encodeMD5("pw") &&
                          readAccountActive(account.fieldByName("accountactive").asString());
      account.close();
      (void)passed;
    });
  });
  printFigure(aEngineName, "checkAccount", coreCheck, directCheck);

  // One received SMS: stored, then copied for every account whose pattern matches.
  const TDateTime now = NowUTC();
  TSMSInbox inbox(core, "");
  TVTSMSManagerMessage received;
  received.setRecipient("491711");
  received.setTheMessage("Hallo");
  received.setMessageDataPDU("PDU");
  received.setMessageTimestamp(now);
  received.setMessageIndex(1);
  received.setMessageState(1);
  received.setMessageLength(5);
  const double coreSave =
      measure(aSeconds, [&] { return timed([&] { inbox.storeReceived(received, now); }); });
  std::int64_t directKey = 1'000'000'000;
  const double directSave = measure(aSeconds, [&] {
    return timed([&] {
      const std::int64_t key = ++directKey;
      TFbStatement& insert = direct.statement(direct.fInsertIn, kInsertIn);
      bindParameter(insert, {key, 1, "491711", "I", "7", now, now, "Hallo", "0", "PDU", 1, 1, 5});
      insert.execQuery();
      direct.commit();
      TFbStatement& accounts = direct.statement(direct.fAccounts, "select * from accounts");
      accounts.execQuery();
      std::vector<std::int64_t> ids;
      for (; !accounts.eof(); accounts.next()) {
        ids.push_back(accounts.fieldByName("accountid").asInt64());
      }
      accounts.close();
      for (const std::int64_t account : ids) {
        TFbStatement& patterns =
            direct.statement(direct.fPatterns, "select * from SMSSERVER_INPATTERNS where "
                                               "ACCOUNTID = :varACCOUNTID");
        patterns.setParam(0, account);
        patterns.execQuery();
        const bool matches = !patterns.eof();
        patterns.close();
        if (matches) {
          TFbStatement& unread = direct.statement(direct.fInsertUnread, kInsertUnread);
          bindParameter(unread, {key, account, 1, "491711", "I", "7", now, now, "Hallo", "0", "PDU",
                                 1, 1, 5});
          unread.execQuery();
          direct.commit();
        }
      }
    });
  });
  printFigure(aEngineName, "saveSMSIn + unread copies (10 accounts)", coreSave, directSave);

  // A client's fetch of 10 queued SMS: read them, then delete each.
  constexpr std::int64_t kQueue = 999;
  std::int64_t refillKey = 2'000'000'000;
  const auto refill = [&] {
    for (int i = 0; i < kUnreadRows; ++i) {
      core.saveSMSUnRead(static_cast<int>(kQueue), VTSMSMMT_TEXT, ++refillKey, "491711", "Hallo",
                         "", now.addMilliseconds(i), now, 1, 1, 5);
    }
  };
  const double coreFetch = measure(aSeconds, [&] {
    refill();
    return timed([&] {
      core.claimCommitTransaction();
      TSMSList list;
      core.retrieveSMSUnRead(&list, kQueue);
      for (const TSMSListItem& item : list) {
        core.deleteSMSUnRead(std::stoll(item.Text), kQueue);
      }
    });
  });
  const double directFetch = measure(aSeconds, [&] {
    refill();
    return timed([&] {
      direct.commit();
      TFbStatement& rows =
          direct.statement(direct.fUnread, "select * from smsserver_unread where ACCOUNTID = "
                                           ":varACCOUNTID order by MESSAGE_DATE");
      rows.setParam(0, kQueue);
      rows.execQuery();
      std::vector<std::int64_t> keys;
      for (; !rows.eof(); rows.next()) {
        keys.push_back(rows.fieldByName("ID").asInt64());
        (void)rows.fieldByName("SMSTEXT").asString();
      }
      rows.close();
      for (const std::int64_t key : keys) {
        TFbStatement& remove =
            direct.statement(direct.fDeleteUnread, "delete from smsserver_unread where (ID = "
                                                   ":varID) and (ACCOUNTID = :varACCOUNTID)");
        bindParameter(remove, {key, kQueue});
        remove.execQuery();
        direct.commit();
      }
    });
  });
  printFigure(aEngineName, "retrieveSMSUnRead + deleteSMSUnRead (10)", coreFetch, directFetch);
  core.disconnect();
}

} // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  Logger().clearAppenders(); // the figures, not log files
  char folder[] = "/tmp/parlino-db-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  ::chmod(folder, 0777); // reachable for a server running as its own user
  std::printf("%-9s %-40s %12s %12s %8s\n", "engine", "operation", "core ops/s", "direct ops/s",
              "ratio");
  TBizDatabaseSettings embedded;
  embedded.Name = std::string(folder) + "/embedded.fdb";
  embedded.Username = "SYSDBA";
  embedded.Encoding = "UTF8";
  runEngine("embedded", embedded, seconds);

  TBizDatabaseSettings server = embedded;
  server.Name = std::string(folder) + "/server.fdb";
  server.Host = environment("PARLINO_FB_HOST", "localhost");
  server.Username = environment("PARLINO_FB_USER", "SYSDBA");
  server.Password = testsupport::localServerPassword();
  runEngine("server", server, seconds);

  std::filesystem::remove_all(folder);
  return 0;
}
