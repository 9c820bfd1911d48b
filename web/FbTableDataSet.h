#pragma once

#include "server/FbDatabase.h"
#include "server/FbStatement.h"
#include "web/FbColumnValue.h"
#include "webframework/WebDataControls.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The columns of a table in their order, read from the system tables; empty when the
// database has no such table. aTable as the database keeps it (upper case).
std::vector<TFbColumnInfo> readTableColumns(TFbDatabase& aDatabase, TFbTransaction& aTransaction,
                                            const std::string& aTable);

// A database table as a data set for a grid and a navigator: every row, in the order of an
// integer key column, with the fields named at construction.
//
// Rows are read by window: open reads the keys of all rows in one query (eight bytes a row
// in memory), and the rows of a window are then read by key range ("where key between the
// window's first and last key", served by the key's index), WindowSize rows at a time. So a
// table of any size opens, pages and jumps to its end without ever reading all its rows.
// Everything runs in the transaction given at construction: with a snapshot transaction the
// data set shows the table as it stood when the transaction started, with its own changes;
// refresh reads the keys again within it and so shows no rows committed since.
//
// Edits are statements in that transaction, which the owner commits or rolls back: an insert
// writes the data set's fields (an empty key takes OnNewKey's value), a change writes only
// the fields whose text changed, a deletion deletes by key. A text that does not fit its
// column, or a statement the database refuses (a key in use, a row another transaction holds),
// raises EWebDataSetError and writes nothing; the data set keeps its state. Connection
// failures raise EFbError.
// Not thread-safe: used by one request at a time (its page's), like its database.
class TFbTableDataSet : public TWebDataSet {
public:
  // aDatabase and aTransaction are not owned and outlive the data set. aKeyField is one of
  // aFieldNames, an integer column unique in the table. Names are plain SQL names.
  TFbTableDataSet(TFbDatabase& aDatabase, TFbTransaction& aTransaction, std::string aTableName,
                  std::string aKeyField, std::vector<std::string> aFieldNames);
  ~TFbTableDataSet() override;

  // The name messages give a field (the grid's column title); the field's name by default.
  void setDisplayLabel(int aField, std::string aLabel);
  // The key of an inserted record whose key was left empty; unset, the key must be typed.
  std::function<std::int64_t()> OnNewKey;
  // Rows read at once.
  int WindowSize = 100;

  // Reads the columns and the keys (transaction active). Raises EFbError, or
  // std::runtime_error when the table or a field does not exist.
  void open();
  // Frees the statements; changes stay in the transaction.
  void close();
  bool isOpen() const { return fState != dsInactive; }
  const TFbColumnInfo& column(int aField) const { return fColumns.at(aField); }

  TWebDataSetState getState() const override { return fState; }
  int fieldCount() const override { return static_cast<int>(fFieldNames.size()); }
  std::string fieldName(int aField) const override { return fFieldNames.at(aField); }
  int recordCount() const override { return static_cast<int>(fKeys.size()); }
  std::string fieldText(int aRecord, int aField) const override;
  int getRecNo() const override { return fRecNo; }
  void moveTo(int aRecord) override;
  void insert() override;
  void edit() override;
  std::string editText(int aField) const override;
  void setEditText(int aField, const std::string& aText) override;
  void post() override;
  void cancel() override;
  void deleteRecord() override;
  void refresh() override;
  void fetchWindow(int aFirst, int aCount) override;

private:
  void readKeys();
  // Makes the rows aFirst..aEnd-1 the cached window.
  void readWindow(int aFirst, int aEnd) const;
  const std::vector<std::string>& row(int aRecord) const;
  void forgetWindow() const;
  // The values of the edit buffer's fields aFields, checked against their columns.
  std::vector<TSQLValue> bufferValues(const std::vector<int>& aFields, bool aInserting) const;
  void postInsert();
  void postEdit();
  // Runs a writing statement; a refusal of the database becomes EWebDataSetError.
  std::int64_t execWrite(const std::string& aSQL, const std::vector<TSQLValue>& aValues,
                         const std::string& aFailure);
  void placeKey(std::int64_t aKey);
  std::string label(int aField) const;

  TFbDatabase& fDatabase;       // not owned
  TFbTransaction& fTransaction; // not owned
  std::string fTableName;       // upper case
  std::string fKeyField;        // as given
  std::vector<std::string> fFieldNames;
  std::vector<std::string> fLabels;
  std::vector<TFbColumnInfo> fColumns; // by field
  int fKeyIndex = -1;
  std::vector<std::int64_t> fKeys; // ascending; the records in order
  TWebDataSetState fState = dsInactive;
  int fRecNo = -1;
  std::vector<std::string> fBuffer;
  std::vector<std::string> fOriginal; // the edited record's texts, to see what changed

  // The window of rows last read; rows of keys the database did not return are empty.
  mutable std::unique_ptr<TFbStatement> fWindowQuery;
  mutable int fWindowFirst = 0;
  mutable std::vector<std::vector<std::string>> fWindowRows;
};
