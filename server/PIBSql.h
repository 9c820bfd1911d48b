#pragma once

#include "platform/Locks.h"
#include "server/FbStatement.h"

#include <memory>
#include <string>

// A statement prepared once for a fixed text and executed many times, possibly from several
// threads: fCSPreparedSQL is held while it is prepared, bound and executed. Reading the rows
// of a query afterwards is the caller's business (under its own lock).
class TPIBSql : public TFbStatement {
public:
  // Starts the transaction when it is not active, then prepares aSQL. Raises EFbError.
  TPIBSql(const std::string& aSQL, TFbTransaction* aTransaction, TFbDatabase* aDatabase);

  // Binds aParams (when there is at least one) and executes. The first form refuses a text
  // other than the prepared one with "Das preparierte SQL-Statement stimmt nicht mit dem
  // auszuführenden überein".
  void execPreparedSQL(const std::string& aSQL, const TSQLParams& aParams);
  void execPreparedSQL(const TSQLParams& aParams);

private:
  TCriticalSection fCSPreparedSQL;
};

// Binds the i-th argument to the i-th parameter of the statement (by position in the text,
// not by name). Raises EFbError when the counts differ.
void bindParameter(TFbStatement& aIBSql, const TSQLParams& aSQLParameter);

// Runs aSQLText with aParamArr. When aIBSql is empty a TPIBSql for that text is created on
// the database's default transaction and kept in aIBSql (the caller owns it). Returns the
// statement that ran. Raises EFbError.
TFbStatement* execParamSQL(TFbDatabase& aIBDatabase, std::unique_ptr<TFbStatement>& aIBSql,
                           const std::string& aSQLText, const TSQLParams& aParamArr);
