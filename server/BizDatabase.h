#pragma once

#include "common/DateTime.h"
#include "modem/VTSMSManagerMessage.h"
#include "server/Accounts.h"
#include "server/FbDatabase.h"
#include "server/FbStatement.h"
#include "server/IBGenerator.h"
#include "server/SMSStore.h"
#include "server/UserSessionException.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Where the core's database is and how to log on. An empty host means a local connection:
// the embedded engine opens the file Name in this process. The port is shown in the log only.
struct TBizDatabaseSettings {
  std::string Name;
  std::string Host;
  int Port = 3050;
  std::string Username;
  std::string Password;
  std::string Role;     // empty: none
  std::string Encoding; // connection character set; empty: none
};

// The database side of the server core: the one connection IBBizDatabase with its one
// long-lived transaction IBBizTransaction, shared by every thread under fCSDatabase, the
// three key generators, and every account and SMS-store operation.
// Threads: any (HTTP workers, the modem's threads, page requests); each operation runs on
// the caller's thread and blocks while another holds the lock.
// Lock order: the core's fCSSerialConnection, then fCSDatabase (re-entrant: connect calls
// disconnect under it), then the generators' list and value locks. Logging is allowed under
// all of them.
// Errors: connect and disconnect raise EKVLSUserSessionException; the other operations
// return their failure result when not connected, and pass statement errors on as EFbError
// unless the operation says otherwise.
class TBizDatabase : public ISMSStore {
public:
  TBizDatabase();
  ~TBizDatabase() override;
  TBizDatabase(const TBizDatabase&) = delete;
  TBizDatabase& operator=(const TBizDatabase&) = delete;

  // The connection name and parameter lines of a settings record.
  static std::string connectionName(const TBizDatabaseSettings& aSettings);
  static std::vector<std::string> connectionParams(const TBizDatabaseSettings& aSettings);

  void setSettings(const TBizDatabaseSettings& aSettings);
  const TBizDatabaseSettings& getSettings() const { return fSettings; }

  // Opens the connection, starts the transaction and readies the generators (each raised to
  // the largest key of its table). A second call disconnects first.
  void connect();
  void connect(const TBizDatabaseSettings& aSettings);
  // Writes the generators back, commits and closes.
  void disconnect();
  bool isConnected() const { return fConnected; }

  // Asks the next operation that honours the request to start with a fresh transaction, so
  // that it sees rows other connections committed since. Needs no lock.
  void claimCommitTransaction() override { fClaimCommitTransaction = true; }
  bool getClaimCommitTransaction() const { return fClaimCommitTransaction; }

  // Commits the transaction and starts it again; errors are logged (module "sql") as
  // "on <operation>.commit: ..." and "on <operation>.startTransaction: ...", not raised.
  void writeAndRestart(const std::string& aOperation);

  // Whether the database file exists locally (a "localhost:" prefix is dropped).
  bool existsDatabase();
  // Creates an empty database file (no tables) and opens the connection on it with the
  // parameters of the settings; the core is not connected afterwards (connect readies it).
  // Raises EFbError.
  void createDatabase(const std::string& aFileName);

  // Accounts. The password arguments of add and update are stored unchanged: callers pass
  // the digest (encodeMD5). An expiration of 0 or less means none.
  bool checkAccount(const std::string& aUserName, const std::string& aPassword,
                    TKVSMSSAction aAction, std::string& aAccountRequestResult,
                    int& aAccountIDResult, bool isMD5) override;
  bool login(const std::string& aUserName, const std::string& aPassword, int& ResAccountType);
  // Appends "id=name" per account; false for an absent list or when not connected.
  bool retrieveAccounts(std::vector<std::string>* aToStrings) override;
  bool existsAccountByName(const std::string& aAccountName);
  bool addAccount(const std::string& aName, const std::string& aPasswd, bool aActive, int aType,
                  TDateTime aExpiration, int aExtraID);
  bool updateAccount(int aAccountID, const std::string& aName, const std::string& aPasswd,
                     bool aActive, int aType, TDateTime aExpiration, int aExtraID);
  bool getAccount(int aAccountID, std::string& rAccountName, std::string& rAccountPassword,
                  bool& rActive, int& rType, TDateTime& rCreationTime, TDateTime& rExpiration,
                  std::int64_t& rExtraData);
  bool getAccountByName(const std::string& aUserName, const std::string& aPassword, bool isMD5,
                        int& rAccountId, bool& rActive, int& rType, TDateTime& rCreationTime,
                        TDateTime& rExpiration, std::int64_t& rExtraData);
  // Appends "datakey=datavalue" per row of the account's data.
  bool getAccountData(int aAccountID, std::vector<std::string>* aToDataList);
  bool deleteAccount(int aAccountID);

  // The SMS store. A key above 0 is stored as given; otherwise the next key of the table's
  // generator is used. The saves return the key, -1 when not connected; statement errors are
  // raised (nothing is committed then). Every write is committed at once.
  std::int64_t saveSMSOut(TVTSMSManagerMessageType aType, const std::string& aRecipient,
                          std::int64_t aID, const std::string& aText, const std::string& aDataPDU,
                          TDateTime aCreateDate, const std::string& aOriginator, int aIndex,
                          int aState, int aLength) override;
  std::int64_t saveSMSIn(TVTSMSManagerMessageType aType, const std::string& aOriginator,
                         std::int64_t aID, const std::string& aText, const std::string& aDataPDU,
                         TDateTime aMessageDate, TDateTime aReceiveDate, int aIndex, int aState,
                         int aLength) override;
  // A copy of a received SMS (key aID of smsserver_in) in the unread queue of an account.
  void saveSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                     const std::string& aOriginator, const std::string& aText,
                     const std::string& aDataPDU, TDateTime aMessageDate, TDateTime aReceiveDate,
                     int aIndex, int aState, int aLength) override;
  // True also when no row matched; false only when not connected.
  bool deleteSMSUnRead(std::int64_t aID, std::int64_t aAccountID) override;
  // Appends the account's unread SMS, oldest message date first: the key as text with a new
  // record (index and state -1, no PDU) that belongs to the list.
  bool retrieveSMSUnRead(TSMSList* aToStrings, std::int64_t aAccountID) override;
  // Whether a receive pattern of the account matches the sender of aSMS.
  bool checkSMSForUnread(const TVTSMSManagerMessage* aSMS, std::int64_t aAccountID) override;
  // Whether a send pattern of the account matches aRecipient.
  bool checkSMSForSend(const std::string& aRecipient, std::int64_t aAccountID) override;

  // For the owner and for tests: the lock, the connection and the generators (null while not
  // connected). Use the connection only under the lock.
  std::recursive_mutex& getCSDatabase() { return fCSDatabase; }
  TFbDatabase& getIBBizDatabase() { return IBBizDatabase; }
  TFbTransaction& getIBBizTransaction() { return IBBizTransaction; }
  TIBGenerator* getAccountGenerator() const { return fAccountGenerator; }
  TIBGenerator* getSMSInGenerator() const { return fSMSInGenerator; }
  TIBGenerator* getSMSOutGenerator() const { return fSMSOutGenerator; }

private:
  // The guarded-operation pattern: under the lock; when not connected the warning
  // "call of "<operation>" while db is not connected" (module aModule) and aFailure;
  // otherwise the commit request is honoured when asked for and aBody runs.
  template <typename R, typename F>
  R guarded(const char* aOperation, R aFailure, bool aHonourCommitRequest, F&& aBody,
            const char* aModule = "db");
  void warnNotConnected(const char* aOperation, const char* aModule) const;
  void honourCommitRequest();
  void ensureTransaction();
  void commitAndStart();
  // A statement on the shared connection and transaction, prepared (needs the lock).
  std::unique_ptr<TFbStatement> newStatement(const std::string& aSQL);
  // The account of that name, positioned on its first row (eof when there is none).
  std::unique_ptr<TFbStatement> findAccountByName(const std::string& aName);
  void freeGenerators();
  bool anyPatternMatches(const char* aOperation, const std::string& aTable,
                         const std::string& aNumber, std::int64_t aAccountID);

  TBizDatabaseSettings fSettings;
  TFbDatabase IBBizDatabase;
  TFbTransaction IBBizTransaction;
  std::recursive_mutex fCSDatabase;
  std::atomic<bool> fConnected{false};
  std::atomic<bool> fClaimCommitTransaction{false};
  // In the generators' open list; exist while connected.
  TIBGenerator* fAccountGenerator = nullptr;
  TIBGenerator* fSMSInGenerator = nullptr;
  TIBGenerator* fSMSOutGenerator = nullptr;
};

template <typename R, typename F>
R TBizDatabase::guarded(const char* aOperation, R aFailure, bool aHonourCommitRequest, F&& aBody,
                        const char* aModule) {
  std::lock_guard lock(fCSDatabase);
  if (!fConnected) {
    warnNotConnected(aOperation, aModule);
    return aFailure;
  }
  if (aHonourCommitRequest) {
    honourCommitRequest();
  }
  return aBody();
}
