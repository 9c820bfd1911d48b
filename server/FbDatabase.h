#pragma once

#include "server/FbError.h"

#include <string>
#include <vector>

namespace Firebird {
class IAttachment;
class ITransaction;
} // namespace Firebird

class TFbTransaction;
class TFbStatement;

// One attachment to a database. The connection name is a bare path (the embedded engine
// opens the file in this process) or "host:path" (through the database server). The
// parameters are "name=value" lines: user_name, password, sql_role_name, lc_ctype.
// Not thread-safe: the owner serialises every use (the server core under its database
// lock). Move-free: transactions and statements keep a reference to it.
class TFbDatabase {
public:
  TFbDatabase() = default;
  ~TFbDatabase();
  TFbDatabase(const TFbDatabase&) = delete;
  TFbDatabase& operator=(const TFbDatabase&) = delete;

  void setDatabaseName(const std::string& aName) { fDatabaseName = aName; }
  const std::string& getDatabaseName() const { return fDatabaseName; }
  std::vector<std::string>& params() { return fParams; }
  const std::vector<std::string>& params() const { return fParams; }
  // The transaction statements use when they are given none (not owned).
  void setDefaultTransaction(TFbTransaction* aTransaction) { fDefaultTransaction = aTransaction; }
  TFbTransaction* getDefaultTransaction() const { return fDefaultTransaction; }
  int getSQLDialect() const { return 3; }

  // Raise EFbError on failure; open on an open database closes it first.
  void open();
  // Frees the statements prepared on it and rolls back the transactions still active on it,
  // then detaches. An error of the detach
  // is raised after the handle is released, so the object is closed in every case.
  void close();
  bool connected() const { return fAttachment != nullptr; }
  Firebird::IAttachment* handle() const { return fAttachment; }

  // Runs a CREATE DATABASE statement outside any transaction; the new database is not kept
  // open.
  void executeCreateDatabase(const std::string& aStatement);

private:
  friend class TFbTransaction;
  friend class TFbStatement;
  void addTransaction(TFbTransaction* aTransaction);
  void removeTransaction(TFbTransaction* aTransaction);
  void addStatement(TFbStatement* aStatement);
  void removeStatement(TFbStatement* aStatement);

  std::string fDatabaseName;
  std::vector<std::string> fParams;
  TFbTransaction* fDefaultTransaction = nullptr;
  Firebird::IAttachment* fAttachment = nullptr;
  std::vector<TFbTransaction*> fTransactions; // linked to this database, not owned
  std::vector<TFbStatement*> fStatements;     // prepared on the attachment, not owned
};

// A read-write transaction with the client library's default parameters (concurrency, wait)
// on one database. Ending it closes the cursors still open in it. Same threading rules as the
// database.
class TFbTransaction {
public:
  explicit TFbTransaction(TFbDatabase* aDefaultDatabase = nullptr);
  ~TFbTransaction();
  TFbTransaction(const TFbTransaction&) = delete;
  TFbTransaction& operator=(const TFbTransaction&) = delete;

  void setDefaultDatabase(TFbDatabase* aDatabase);
  TFbDatabase* getDefaultDatabase() const { return fDatabase; }
  // Seconds a statement waits for a row another transaction holds before it fails; 0 (the
  // library's default) waits until that transaction ends. Applies from the next start.
  void setLockTimeout(int aSeconds) { fLockTimeout = aSeconds; }
  int getLockTimeout() const { return fLockTimeout; }

  // Each raises EFbError; starting an active transaction or ending an inactive one is an
  // error as well.
  void startTransaction();
  void commit();
  void rollback();
  bool inTransaction() const { return fTransaction != nullptr; }
  Firebird::ITransaction* handle() const { return fTransaction; }

private:
  friend class TFbDatabase;
  friend class TFbStatement;
  void releaseHandle(); // rollback without errors; used when the database closes
  void closeCursors();
  void addCursor(TFbStatement* aStatement);
  void removeCursor(TFbStatement* aStatement);

  TFbDatabase* fDatabase = nullptr;
  Firebird::ITransaction* fTransaction = nullptr;
  int fLockTimeout = 0;
  std::vector<TFbStatement*> fCursors; // statements with a cursor open in it, not owned
};
