#include "server/BizDatabase.h"

#include "logging/KvLogger.h"
#include "logging/KvLoggerMessage.h"
#include "platform/Files.h"
#include "server/FbError.h"

namespace {

const char* const kGeneratorTables[][2] = {
    {"ACCOUNTS", "accountid"}, {"smsserver_in", "ID"}, {"smsserver_out", "ID"}};

std::string paramValue(const std::vector<std::string>& aParams, const std::string& aName) {
  const std::string prefix = aName + "=";
  for (const std::string& line : aParams) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      return line.substr(prefix.size());
    }
  }
  return {};
}

// A text inside single quotes of a statement, quotes doubled.
std::string quoted(const std::string& aText) {
  std::string result = "'";
  for (const char c : aText) {
    result += c;
    if (c == '\'') {
      result += '\'';
    }
  }
  return result + "'";
}

// "30 s", or "250 ms" for a pause that is no whole number of seconds.
std::string pauseText(std::chrono::milliseconds aPause) {
  return aPause.count() % 1000 == 0 ? std::to_string(aPause.count() / 1000) + " s"
                                    : std::to_string(aPause.count()) + " ms";
}

} // namespace

TBizDatabase::TBizDatabase()
    : IBBizTransaction(&IBBizDatabase),
      fReconnector([this](int aAttempt, std::chrono::milliseconds aNextPause) {
        return reconnectAttempt(aAttempt, aNextPause);
      }) {
  IBBizDatabase.setDefaultTransaction(&IBBizTransaction);
}

TBizDatabase::~TBizDatabase() {
  fReconnectWanted = false;
  fReconnector.stop(); // before the lock: an attempt under way takes it
  TDatabaseLock lock(fCSDatabase);
  try {
    // Normally done at shutdown already; otherwise the generators are written back and the
    // transaction is committed here.
    disconnectLocked();
  } catch (const std::exception&) {
    freePreparedStatements();
    freeGenerators();
  }
}

std::string TBizDatabase::connectionName(const TBizDatabaseSettings& aSettings) {
  return aSettings.Host.empty() ? aSettings.Name : aSettings.Host + ":" + aSettings.Name;
}

std::vector<std::string> TBizDatabase::connectionParams(const TBizDatabaseSettings& aSettings) {
  std::vector<std::string> params{"user_name=" + aSettings.Username,
                                  "password=" + aSettings.Password};
  if (!aSettings.Role.empty()) {
    params.push_back("sql_role_name=" + aSettings.Role);
  }
  if (!aSettings.Encoding.empty()) {
    params.push_back("lc_ctype=" + aSettings.Encoding);
  }
  return params;
}

void TBizDatabase::setSettings(const TBizDatabaseSettings& aSettings) {
  TScopedLock lock(fCSDatabase);
  fSettings = aSettings;
}

TBizDatabaseSettings TBizDatabase::getSettings() const {
  TScopedLock lock(fCSDatabase);
  return fSettings;
}

TIBGenerator* TBizDatabase::getAccountGenerator() const {
  TScopedLock lock(fCSDatabase);
  return fAccountGenerator;
}

TIBGenerator* TBizDatabase::getSMSInGenerator() const {
  TScopedLock lock(fCSDatabase);
  return fSMSInGenerator;
}

TIBGenerator* TBizDatabase::getSMSOutGenerator() const {
  TScopedLock lock(fCSDatabase);
  return fSMSOutGenerator;
}

int TBizDatabase::getPreparedStatementCount() const {
  TScopedLock lock(fCSDatabase);
  return static_cast<int>(fPreparedStatements.size());
}

void TBizDatabase::connect(const TBizDatabaseSettings& aSettings) {
  {
    TDatabaseLock lock(fCSDatabase);
    fSettings = aSettings;
  }
  connect();
}

void TBizDatabase::connect() {
  fReconnectWanted = true;
  try {
    TDatabaseLock lock(fCSDatabase);
    connectLocked();
  } catch (const std::exception&) {
    // Tried again in the background until it works (or disconnect).
    fReconnector.request();
    throw;
  }
}

void TBizDatabase::connectLocked() {
  if (fConnected) {
    disconnectLocked();
  }
  logDatabase(KVLL_INFO, "connect", "connect...");
  const std::string name = connectionName(fSettings);
  IBBizDatabase.setDatabaseName(name);
  IBBizDatabase.params() = connectionParams(fSettings);
  logDatabase(KVLL_INFO, "connect", "DB=" + name);
  try {
    IBBizDatabase.open();
  } catch (const std::exception& e) {
    fConnected = false;
    logDatabase(KVLL_ERROR, "connect.open", "t=" + exceptionClassName(&e) + " e=" + e.what());
    throw EKVLSUserSessionException(std::string("Fehler bei Connect in UserSession: ") +
                                    " (open) " + exceptionClassName(&e) + "\"" + e.what() + "\"");
  }
  upgradeSchema();
  try {
    IBBizTransaction.startTransaction();
    TIBGenerator** generators[] = {&fAccountGenerator, &fSMSInGenerator, &fSMSOutGenerator};
    for (int i = 0; i < 3; ++i) {
      const std::string table = kGeneratorTables[i][0];
      TIBGenerator* generator =
          TIBGenerator::getIBGenerator(&IBBizDatabase, &IBBizTransaction, table + "_GEN");
      *generators[i] = generator;
      generator->CheckAndRepair(table, kGeneratorTables[i][1]);
    }
    if (!IBBizTransaction.inTransaction()) {
      IBBizTransaction.startTransaction();
    }
    fConnected = true;
    logDatabase(KVLL_INFO, "connect", "connect...OK");
  } catch (const std::exception& e) {
    fConnected = false;
    // Generators exist only while connected; those readied before the failure go again.
    freeGenerators();
    logDatabase(KVLL_ERROR, "connect.transaction", std::string("e=") + e.what());
    throw EKVLSUserSessionException(std::string("Fehler bei Connect in UserSession: ") +
                                    " (transaction) " + "\"" + e.what() + "\"");
  }
}

void TBizDatabase::disconnect() {
  fReconnectWanted = false;
  fReconnector.stop(); // before the lock: an attempt under way takes it
  TDatabaseLock lock(fCSDatabase);
  disconnectLocked();
}

void TBizDatabase::disconnectLocked() {
  freePreparedStatements();
  try {
    for (TIBGenerator** generator : {&fAccountGenerator, &fSMSInGenerator, &fSMSOutGenerator}) {
      if (*generator != nullptr) {
        TIBGenerator::freeIBGenerator(*generator);
      }
    }
    if (IBBizTransaction.inTransaction()) {
      IBBizTransaction.commit();
    }
    if (IBBizDatabase.connected()) {
      IBBizDatabase.close();
    }
  } catch (const std::exception& e) {
    throw EKVLSUserSessionException(std::string("Fehler bei Disconnect in UserSession: ") + "\"" +
                                    exceptionClassName(&e) + "\"" + ":" + "\"" + e.what() + "\"");
  }
  fConnected = false;
}

void TBizDatabase::freeGenerators() {
  for (TIBGenerator** generator : {&fAccountGenerator, &fSMSInGenerator, &fSMSOutGenerator}) {
    try {
      TIBGenerator::freeIBGenerator(*generator);
    } catch (const std::exception&) {
      // Freed in any case; the next connect repairs the database generator from the table.
    }
  }
}

void TBizDatabase::warnNotConnected(const char* aOperation, const char* aModule) const {
  if (Logger().isWarn()) {
    logDatabase(KVLL_WARN, aModule,
                std::string("call of \"") + aOperation + "\" while db is not connected");
  }
}

void TBizDatabase::notConnected(const char* aOperation, const char* aModule, bool aWarn) {
  if (fReconnectWanted) {
    fReconnector.request(); // never waits; a no-op while the attempts run
  }
  if (aWarn) {
    warnNotConnected(aOperation, aModule);
  }
}

void TBizDatabase::dropConnection() {
  fConnected = false;
  try {
    // Frees the statements' and the transaction's handles with it; nothing is committed.
    IBBizDatabase.close();
  } catch (const std::exception&) {
    // A broken connection cannot be detached cleanly; it is gone all the same.
  }
  freePreparedStatements();
  freeGenerators(); // their write-back fails at once; the next connect repairs them
}

bool TBizDatabase::reconnectAfterLoss(const char* aOperation, const std::exception& aError) {
  logDatabase(KVLL_ERROR, "db",
              std::string("connection lost in \"") + aOperation + "\": " + aError.what());
  dropConnection();
  if (!fReconnectWanted) {
    return false;
  }
  try {
    connectLocked();
  } catch (const std::exception&) {
    fReconnector.request();
    return false;
  }
  ++fReconnections;
  logDatabase(KVLL_INFO, "connect",
              std::string("connection restored, \"") + aOperation + "\" runs once more");
  return true;
}

bool TBizDatabase::reconnectAttempt(int aAttempt, std::chrono::milliseconds aNextPause) {
  if (!fReconnectWanted) {
    return true; // nothing more to do
  }
  {
    TDatabaseLock lock(fCSDatabase);
    if (fConnected) {
      return true; // an operation has connected again meanwhile
    }
    try {
      connectLocked();
    } catch (const std::exception&) {
      logDatabase(KVLL_WARN, "connect",
                  "the database cannot be reached (attempt " + std::to_string(aAttempt) +
                      "), next attempt in " + pauseText(aNextPause));
      return false;
    }
    ++fReconnections;
    logDatabase(KVLL_INFO, "connect",
                "connection restored after " + std::to_string(aAttempt) + " attempt(s)");
  }
  if (OnReconnected) {
    try {
      OnReconnected();
    } catch (const std::exception&) {
      // A handler's failure does not undo the connection.
    }
  }
  return true;
}

void TBizDatabase::restartWhenNotConnected(const std::string& aOperation) {
  if (!fCSDatabase.try_lock()) {
    return; // a connect under way holds it: the save answers at once instead
  }
  restartTransaction(aOperation);
  fCSDatabase.unlock();
}

void TBizDatabase::rollbackAndStart() {
  try {
    if (IBBizTransaction.inTransaction()) {
      IBBizTransaction.rollback();
    }
    IBBizTransaction.startTransaction();
  } catch (const std::exception&) {
    // A lost connection is found again by the next statement.
  }
}

void TBizDatabase::honourCommitRequest() {
  if (!fClaimCommitTransaction) {
    return;
  }
  if (IBBizTransaction.inTransaction()) {
    IBBizTransaction.commit();
    IBBizTransaction.startTransaction();
  }
  fClaimCommitTransaction = false;
}

void TBizDatabase::ensureTransaction() {
  // A restart that failed earlier is repaired here instead of failing every later statement.
  if (!IBBizTransaction.inTransaction()) {
    IBBizTransaction.startTransaction();
  }
}

void TBizDatabase::commitAndStart() {
  if (IBBizTransaction.inTransaction()) {
    IBBizTransaction.commit();
  }
  IBBizTransaction.startTransaction();
}

void TBizDatabase::writeAndRestart(const std::string& aOperation) {
  TDatabaseLock lock(fCSDatabase);
  restartTransaction(aOperation);
}

void TBizDatabase::restartTransaction(const std::string& aOperation) {
  try {
    if (IBBizTransaction.inTransaction()) {
      IBBizTransaction.commit();
    }
  } catch (const std::exception& e) {
    logDatabase(KVLL_ERROR, "sql", "on " + aOperation + ".commit: " + e.what());
  }
  try {
    IBBizTransaction.startTransaction();
  } catch (const std::exception& e) {
    logDatabase(KVLL_ERROR, "sql", "on " + aOperation + ".startTransaction: " + e.what());
  }
}

TFbStatement& TBizDatabase::preparedStatement(const std::string& aSQL) {
  ensureTransaction();
  auto found = fPreparedStatements.find(aSQL);
  if (found == fPreparedStatements.end()) {
    auto statement = std::make_unique<TFbStatement>(&IBBizDatabase, &IBBizTransaction);
    statement->setSQL(aSQL);
    found = fPreparedStatements.emplace(aSQL, std::move(statement)).first;
  }
  TFbStatement& statement = *found->second;
  if (!statement.isPrepared()) {
    // New, or freed with a connection that closed since: one failed preparation costs
    // nothing kept.
    try {
      statement.prepare();
    } catch (...) {
      fPreparedStatements.erase(found);
      throw;
    }
  }
  statement.close();
  return statement;
}

void TBizDatabase::freePreparedStatements() {
  fPreparedStatements.clear(); // each frees its handle
}

bool TBizDatabase::existsDatabase() {
  TScopedLock lock(fCSDatabase);
  std::string name = IBBizDatabase.getDatabaseName();
  if (name.compare(0, 10, "localhost:") == 0) {
    name.erase(0, 10);
  }
  return platform::fileExists(name);
}

void TBizDatabase::createDatabase(const std::string& aFileName) {
  TScopedLock lock(fCSDatabase);
  if (fConnected) {
    disconnectLocked();
  }
  freePreparedStatements();
  IBBizDatabase.close();
  IBBizDatabase.setDatabaseName(aFileName);
  IBBizDatabase.params() = connectionParams(fSettings);
  // The database is created with the login of the connection (SYSDBA/pondlight without one),
  // so that it can be opened with the same parameters afterwards.
  std::string user = paramValue(IBBizDatabase.params(), "user_name");
  std::string password = paramValue(IBBizDatabase.params(), "password");
  if (user.empty()) {
    user = "SYSDBA";
    password = "pondlight";
  }
  IBBizDatabase.executeCreateDatabase("CREATE DATABASE " + quoted(aFileName) + " USER " +
                                      quoted(user) + " PASSWORD " + quoted(password) +
                                      " PAGE_SIZE 8129");
  IBBizDatabase.close();
  IBBizDatabase.open();
}
