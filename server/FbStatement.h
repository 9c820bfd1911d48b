#pragma once

#include "server/FbDatabase.h"
#include "server/SQLValue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Firebird {
class IStatement;
class IResultSet;
class IMessageMetadata;
} // namespace Firebird

// A statement on a database and a transaction (neither owned; both outlive it; without a
// transaction it runs in the database's default one). The text may
// name its parameters (":var0", ":varID"): prepare turns them into positional ones. Values are
// bound by position or by name and sent with their own types, so the database converts them
// to the column types (a text "NULL" is a text; a timestamp goes as a timestamp). A query is
// executed with its cursor opened on the first row; the current row is read by column name.
// Not thread-safe: used under the lock of its database's owner. Every failure raises EFbError.
class TFbStatement {
public:
  TFbStatement(TFbDatabase* aDatabase, TFbTransaction* aTransaction);
  virtual ~TFbStatement();
  TFbStatement(const TFbStatement&) = delete;
  TFbStatement& operator=(const TFbStatement&) = delete;

  TFbDatabase* getDatabase() const { return fDatabase; }
  TFbTransaction* getTransaction() const { return fTransaction; }
  void setDatabase(TFbDatabase* aDatabase);
  void setTransaction(TFbTransaction* aTransaction);

  // Setting a new text frees the prepared statement.
  void setSQL(const std::string& aSQL);
  const std::string& getSQL() const { return fSQL; }
  void prepare();
  bool isPrepared() const { return fStatement != nullptr; }

  // Parameters, in text order; available after prepare.
  int paramCount() const { return static_cast<int>(fParams.size()); }
  const std::string& paramName(int aIndex) const { return fParamNames.at(aIndex); }
  void setParam(int aIndex, TSQLValue aValue);
  // Sets every parameter of that name (compared without regard to case).
  void setParamByName(std::string_view aName, const TSQLValue& aValue);
  void clearParams();

  // Runs the statement in its transaction (prepared first when needed). A query opens its
  // cursor and fetches the first row.
  void execQuery();
  bool isOpen() const { return fOpen; }
  bool eof() const { return fEof; }
  void next();
  // Closes the cursor; the statement stays prepared.
  void close();
  // Rows inserted, updated or deleted by the last execution.
  std::int64_t rowsAffected();

  // Columns of the current row.
  int fieldCount() const { return static_cast<int>(fFieldNames.size()); }
  const std::string& fieldName(int aIndex) const { return fFieldNames.at(aIndex); }
  int fieldIndex(std::string_view aName) const; // -1 when there is no such column
  const TSQLValue& field(int aIndex) const;
  const TSQLValue& fieldByName(std::string_view aName) const;

  // Frees the prepared statement (also done on a new text and on destruction).
  void freeHandle();

private:
  void requirePrepared();
  void bindMessage(std::vector<unsigned char>& aBuffer, Firebird::IMessageMetadata*& aMetadata);
  void setupOutput();
  void fetch();
  void readRow();
  std::string readBlob(const void* aBlobId);

  TFbDatabase* fDatabase;
  TFbTransaction* fTransaction;
  std::string fSQL;
  std::vector<std::string> fParamNames;
  std::vector<TSQLValue> fParams;
  Firebird::IStatement* fStatement = nullptr;
  Firebird::IMessageMetadata* fInputMetadata = nullptr;  // as described by the database
  Firebird::IMessageMetadata* fOutputMetadata = nullptr; // as we read it
  Firebird::IResultSet* fResultSet = nullptr;
  bool fIsQuery = false;
  bool fHasSingletonOutput = false;
  std::vector<unsigned char> fOutputBuffer;
  std::vector<std::string> fFieldNames;
  std::vector<TSQLValue> fRow;
  bool fOpen = false;
  bool fEof = true;
  TFbDatabase* fPreparedOn = nullptr;  // the database the handle is registered with
  TFbTransaction* fCursorIn = nullptr; // the transaction the open cursor is registered with
};
