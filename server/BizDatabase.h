#pragma once

#include "common/DateTime.h"
#include "modem/VTSMSManagerMessage.h"
#include "platform/Locks.h"
#include "server/Accounts.h"
#include "server/DatabaseLock.h"
#include "server/DatabaseReconnect.h"
#include "server/FbDatabase.h"
#include "server/FbStatement.h"
#include "server/IBGenerator.h"
#include "server/SMSStore.h"
#include "server/UserSessionException.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
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
// all of them. The statements of the operations are prepared once per connection and kept
// (freed at disconnect), so a call costs only its execution.
// Errors: connect and disconnect raise EKVLSUserSessionException; the other operations
// return their failure result when not connected, and pass statement errors on as EFbError
// unless the operation says otherwise.
// A lost connection: once connect() was called (until disconnect()), an operation that finds
// the connection broken (the server went away, the network failed) drops it, connects again
// at once and runs once more. When that connect fails, and after a connect() that failed,
// attempts follow in the background on fReconnector's thread, 1 s after the failure and
// then twice as long each time up to 30 s, until one succeeds; meanwhile every operation
// answers as when not connected, at once, without waiting for the lock. Lines logged under
// the lock are written once it is let go (TDatabaseLock), so a slow logger never holds it.
class TBizDatabase : public ISMSStore {
public:
  TBizDatabase();
  ~TBizDatabase() override;
  TBizDatabase(const TBizDatabase&) = delete;
  TBizDatabase& operator=(const TBizDatabase&) = delete;

  // The connection name and parameter lines of a settings record.
  static std::string connectionName(const TBizDatabaseSettings& aSettings);
  static std::vector<std::string> connectionParams(const TBizDatabaseSettings& aSettings);

  void setSettings(const TBizDatabaseSettings& aSettings) EXCLUDES(fCSDatabase);
  TBizDatabaseSettings getSettings() const EXCLUDES(fCSDatabase);

  // Opens the connection, starts the transaction and readies the generators (each raised to
  // the largest key of its table). A second call disconnects first.
  void connect() EXCLUDES(fCSDatabase);
  void connect(const TBizDatabaseSettings& aSettings) EXCLUDES(fCSDatabase);
  // Writes the generators back, commits and closes; ends the attempts to connect again.
  void disconnect() EXCLUDES(fCSDatabase);
  bool isConnected() const { return fConnected; }
  // The pauses between the attempts to connect again (tests shorten them).
  void setReconnectTimings(const TReconnectTimings& aTimings) { fReconnector.setTimings(aTimings); }
  // Connections restored after a loss or after a connect that failed, since the start.
  int getReconnectionCount() const { return fReconnections; }
  bool isReconnecting() const { return fReconnector.isRetrying(); }
  // Runs on the reconnecting thread, without the lock, each time the background attempts
  // have brought the connection back.
  std::function<void()> OnReconnected;

  // Asks the next operation that honours the request to start with a fresh transaction, so
  // that it sees rows other connections committed since. Needs no lock.
  void claimCommitTransaction() override { fClaimCommitTransaction = true; }
  bool getClaimCommitTransaction() const { return fClaimCommitTransaction; }

  // Commits the transaction and starts it again; errors are logged (module "sql") as
  // "on <operation>.commit: ..." and "on <operation>.startTransaction: ...", not raised.
  void writeAndRestart(const std::string& aOperation) EXCLUDES(fCSDatabase);

  // Whether the database file exists locally (a "localhost:" prefix is dropped).
  bool existsDatabase() EXCLUDES(fCSDatabase);
  // Creates an empty database file (no tables) and opens the connection on it with the
  // parameters of the settings; the core is not connected afterwards (connect readies it).
  // Raises EFbError.
  void createDatabase(const std::string& aFileName) EXCLUDES(fCSDatabase);

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
  // The row of a received SMS (operation "saveSMSIn") and its unread copies in one
  // transaction, as ISMSStore states.
  std::int64_t saveReceivedSMS(const TVTSMSManagerMessage& aSMS, TDateTime aReceiveDate) override;
  // True also when no row matched; false only when not connected.
  bool deleteSMSUnRead(std::int64_t aID, std::int64_t aAccountID) override;
  // Appends the account's unread SMS, oldest message date first: the key as text with a new
  // record (index and state -1, no PDU) that belongs to the list.
  bool retrieveSMSUnRead(TSMSList* aToStrings, std::int64_t aAccountID) override;
  // Whether a receive pattern of the account matches the sender of aSMS.
  bool checkSMSForUnread(const TVTSMSManagerMessage* aSMS, std::int64_t aAccountID) override;
  // Whether a send pattern of the account matches aRecipient.
  bool checkSMSForSend(const std::string& aRecipient, std::int64_t aAccountID) override;

  // Parts of long SMS waiting for the rest of their message; each write is committed at once.
  TSMSPartSaveResult saveSMSPart(const TSMSStoredPart& aPart) override;
  bool retrieveSMSParts(const std::string& aMessageKey,
                        std::vector<TSMSStoredPart>& aParts) override;
  bool deleteSMSParts(const std::string& aMessageKey) override;

  // For the owner and for tests: the lock, the connection and the generators (null while not
  // connected). Use the connection only under the lock.
  TRecursiveCriticalSection& getCSDatabase() RETURN_CAPABILITY(fCSDatabase) { return fCSDatabase; }
  TFbDatabase& getIBBizDatabase() NO_THREAD_SAFETY_ANALYSIS { return IBBizDatabase; }
  TFbTransaction& getIBBizTransaction() NO_THREAD_SAFETY_ANALYSIS { return IBBizTransaction; }
  TIBGenerator* getAccountGenerator() const EXCLUDES(fCSDatabase);
  TIBGenerator* getSMSInGenerator() const EXCLUDES(fCSDatabase);
  TIBGenerator* getSMSOutGenerator() const EXCLUDES(fCSDatabase);
  // Statements prepared and kept for the operations now (0 while not connected).
  int getPreparedStatementCount() const EXCLUDES(fCSDatabase);

  // The guarded-operation pattern: under the lock; when not connected the warning
  // "call of "<operation>" while db is not connected" (module aModule) and aFailure;
  // otherwise the commit request is honoured when asked for and aBody runs, once more after
  // a lost connection was restored at once (see the class comment). Also for operations on
  // the shared connection outside this class. The body is a lambda marked
  // REQUIRES(fCSDatabase).
  template <typename R, typename F>
  R guarded(const char* aOperation, R aFailure, bool aHonourCommitRequest, F&& aBody,
            const char* aModule = "db") EXCLUDES(fCSDatabase);

private:
  // guarded without the commit request; the not-connected warning only when aWarn.
  template <typename R, typename F>
  R onConnection(const char* aOperation, const char* aModule, bool aWarn, R aFailure, F&& aBody)
      EXCLUDES(fCSDatabase);
  void warnNotConnected(const char* aOperation, const char* aModule) const;
  // Not connected: a reconnection is asked for when one is wanted; the warning when aWarn.
  void notConnected(const char* aOperation, const char* aModule, bool aWarn);
  // A lost connection found by aOperation: dropped and connected again at once; true when
  // that worked. Otherwise the background attempts are asked for.
  bool reconnectAfterLoss(const char* aOperation, const std::exception& aError)
      REQUIRES(fCSDatabase);
  void dropConnection() REQUIRES(fCSDatabase);
  bool reconnectAttempt(int aAttempt, std::chrono::milliseconds aNextPause) EXCLUDES(fCSDatabase);
  // The write-and-restart of a save that found no connection, unless the lock is busy (a
  // connect under way), so that the save answers at once.
  void restartWhenNotConnected(const std::string& aOperation) EXCLUDES(fCSDatabase);
  void insertSMSIn(std::int64_t aKey, TVTSMSManagerMessageType aType,
                   const std::string& aOriginator, const std::string& aText,
                   const std::string& aDataPDU, TDateTime aMessageDate, TDateTime aReceiveDate,
                   int aIndex, int aState, int aLength) REQUIRES(fCSDatabase);
  void insertSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                       const std::string& aOriginator, const std::string& aText,
                       const std::string& aDataPDU, TDateTime aMessageDate, TDateTime aReceiveDate,
                       int aIndex, int aState, int aLength) REQUIRES(fCSDatabase);
  void rollbackAndStart() REQUIRES(fCSDatabase);
  void connectLocked() REQUIRES(fCSDatabase);
  // Right after the connection opened: adds what a database of an older schema lacks (the
  // table of kept SMS parts, PDU columns wide enough for long SMS) and warns of a connection
  // character set narrower than the text columns. Logs its failures; never raises.
  void upgradeSchema() REQUIRES(fCSDatabase);
  void disconnectLocked() REQUIRES(fCSDatabase);
  void restartTransaction(const std::string& aOperation) REQUIRES(fCSDatabase);
  void honourCommitRequest() REQUIRES(fCSDatabase);
  void ensureTransaction() REQUIRES(fCSDatabase);
  void commitAndStart() REQUIRES(fCSDatabase);
  // The statement of that text on the shared connection and transaction, prepared on first
  // use and kept while connected; any cursor of its last run is closed.
  TFbStatement& preparedStatement(const std::string& aSQL) REQUIRES(fCSDatabase);
  void freePreparedStatements() REQUIRES(fCSDatabase);
  // The account of that name, positioned on its first row (eof when there is none).
  TFbStatement& findAccountByName(const std::string& aName) REQUIRES(fCSDatabase);
  void freeGenerators() REQUIRES(fCSDatabase);
  bool anyPatternMatches(const char* aOperation, const std::string& aTable,
                         const std::string& aNumber, std::int64_t aAccountID) EXCLUDES(fCSDatabase);
  bool patternMatchesLocked(const std::string& aTable, const std::string& aNumber,
                            std::int64_t aAccountID) REQUIRES(fCSDatabase);
  // The "id=name" lines of every account.
  void appendAccountsLocked(std::vector<std::string>& aToStrings) REQUIRES(fCSDatabase);

  mutable TRecursiveCriticalSection fCSDatabase;
  TBizDatabaseSettings fSettings GUARDED_BY(fCSDatabase);
  TFbDatabase IBBizDatabase GUARDED_BY(fCSDatabase);
  TFbTransaction IBBizTransaction GUARDED_BY(fCSDatabase);
  std::atomic<bool> fConnected{false};
  std::atomic<bool> fClaimCommitTransaction{false};
  std::atomic<bool> fReconnectWanted{false}; // from connect() to disconnect()
  std::atomic<int> fReconnections{0};
  // In the generators' open list; exist while connected.
  TIBGenerator* fAccountGenerator GUARDED_BY(fCSDatabase) = nullptr;
  TIBGenerator* fSMSInGenerator GUARDED_BY(fCSDatabase) = nullptr;
  TIBGenerator* fSMSOutGenerator GUARDED_BY(fCSDatabase) = nullptr;
  // By statement text; freed before the connection closes.
  std::map<std::string, std::unique_ptr<TFbStatement>, std::less<>>
      fPreparedStatements GUARDED_BY(fCSDatabase);
  TDatabaseReconnector fReconnector;
};

template <typename R, typename F>
R TBizDatabase::guarded(const char* aOperation, R aFailure, bool aHonourCommitRequest, F&& aBody,
                        const char* aModule) {
  return onConnection(aOperation, aModule, true, aFailure, [&]() REQUIRES(fCSDatabase) {
    if (aHonourCommitRequest) {
      honourCommitRequest();
    }
    return aBody();
  });
}

template <typename R, typename F>
R TBizDatabase::onConnection(const char* aOperation, const char* aModule, bool aWarn, R aFailure,
                             F&& aBody) {
  for (int run = 0;; ++run) {
    // Not connected: answered at once, not after a connect under way that holds the lock.
    if (!fConnected) {
      notConnected(aOperation, aModule, aWarn);
      return aFailure;
    }
    TDatabaseLock lock(fCSDatabase);
    if (!fConnected) {
      notConnected(aOperation, aModule, aWarn);
      return aFailure;
    }
    try {
      return aBody();
    } catch (const EFbError& e) {
      if (!e.isConnectionLost()) {
        throw;
      }
      if (run > 0 || !reconnectAfterLoss(aOperation, e)) {
        if (run > 0) {
          dropConnection();
        }
        notConnected(aOperation, aModule, aWarn);
        return aFailure;
      }
    }
  }
}
