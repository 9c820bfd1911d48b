#include "web/FbTableDataSet.h"

#include "common/TextEncoding.h"

#include <ibase.h>

#include <algorithm>
#include <stdexcept>

namespace {

const char* const kNothingWritten = " Es wurde nichts gespeichert.";

std::string upperAscii(std::string aText) {
  for (char& c : aText) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return aText;
}

// Names go into the statements as they are, so only plain SQL names are taken.
void requirePlainName(const std::string& aName) {
  bool plain = !aName.empty() && aName.size() <= 63 &&
               !(aName.front() >= '0' && aName.front() <= '9') && aName.front() != '$';
  for (const char c : aName) {
    plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '$');
  }
  if (!plain) {
    throw std::invalid_argument("\"" + aName + "\" is no plain SQL name");
  }
}

// The library's message in one line.
std::string oneLine(const std::string& aMessage) {
  std::string result;
  for (const char c : aMessage) {
    if (c == '\n' || c == '\r') {
      if (!result.empty() && result.back() != ' ') {
        result += ' ';
      }
    } else {
      result += c;
    }
  }
  while (!result.empty() && result.back() == ' ') {
    result.pop_back();
  }
  return result;
}

// Whether the database refused a write because another transaction holds the row.
bool isLockConflict(const EFbError& aError) {
  const long code = aError.getGDSCode();
  return code == isc_deadlock || code == isc_lock_conflict || code == isc_update_conflict ||
         code == isc_lock_timeout;
}

} // namespace

std::vector<TFbColumnInfo> readTableColumns(TFbDatabase& aDatabase, TFbTransaction& aTransaction,
                                            const std::string& aTable) {
  TFbStatement query(&aDatabase, &aTransaction);
  query.setSQL("select trim(rf.RDB$FIELD_NAME) as FIELD_NAME, f.RDB$FIELD_TYPE as FIELD_TYPE, "
               "coalesce(f.RDB$FIELD_SCALE, 0) as FIELD_SCALE, "
               "coalesce(f.RDB$CHARACTER_LENGTH, 0) as CHARACTERS, "
               "coalesce(rf.RDB$NULL_FLAG, f.RDB$NULL_FLAG, 0) as NOT_NULL "
               "from RDB$RELATION_FIELDS rf "
               "join RDB$FIELDS f on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
               "where rf.RDB$RELATION_NAME = :varTable order by rf.RDB$FIELD_POSITION");
  query.setParamByName("varTable", aTable);
  query.execQuery();
  std::vector<TFbColumnInfo> columns;
  while (!query.eof()) {
    columns.push_back(describeFbColumn(query.field(0).asString(), query.field(1).asInteger(),
                                       query.field(2).asInteger(), query.field(3).asInteger(),
                                       query.field(4).asInteger() != 0));
    query.next();
  }
  return columns;
}

TFbTableDataSet::TFbTableDataSet(TFbDatabase& aDatabase, TFbTransaction& aTransaction,
                                 std::string aTableName, std::string aKeyField,
                                 std::vector<std::string> aFieldNames)
    : fDatabase(aDatabase), fTransaction(aTransaction), fTableName(upperAscii(aTableName)),
      fKeyField(std::move(aKeyField)), fFieldNames(std::move(aFieldNames)), fLabels(fFieldNames) {
  requirePlainName(fTableName);
  for (std::size_t i = 0; i < fFieldNames.size(); ++i) {
    requirePlainName(fFieldNames[i]);
    if (upperAscii(fFieldNames[i]) == upperAscii(fKeyField)) {
      fKeyIndex = static_cast<int>(i);
    }
  }
  if (fKeyIndex < 0) {
    throw std::invalid_argument("the key field \"" + fKeyField + "\" is none of the fields");
  }
}

TFbTableDataSet::~TFbTableDataSet() {
  close();
}

void TFbTableDataSet::setDisplayLabel(int aField, std::string aLabel) {
  fLabels.at(aField) = std::move(aLabel);
}

std::string TFbTableDataSet::label(int aField) const {
  return fLabels.at(aField);
}

void TFbTableDataSet::open() {
  close();
  const std::vector<TFbColumnInfo> columns = readTableColumns(fDatabase, fTransaction, fTableName);
  if (columns.empty()) {
    throw std::runtime_error("the database has no table \"" + fTableName + "\"");
  }
  std::vector<TFbColumnInfo> chosen;
  for (const std::string& field : fFieldNames) {
    const auto found = std::find_if(columns.begin(), columns.end(), [&](const TFbColumnInfo& c) {
      return c.Name == upperAscii(field);
    });
    if (found == columns.end()) {
      throw std::runtime_error("the table \"" + fTableName + "\" has no column \"" + field + "\"");
    }
    chosen.push_back(*found);
  }
  if (chosen[fKeyIndex].Kind != EFbColumnKind::ckInteger) {
    throw std::runtime_error("the key column \"" + fKeyField + "\" is no integer column");
  }
  fColumns = std::move(chosen);
  std::string select = "select ";
  for (std::size_t i = 0; i < fColumns.size(); ++i) {
    select += (i == 0 ? "" : ", ") + fColumns[i].Name;
  }
  const std::string& key = fColumns[fKeyIndex].Name;
  select +=
      " from " + fTableName + " where " + key + " between :varFirst and :varLast order by " + key;
  fWindowQuery = std::make_unique<TFbStatement>(&fDatabase, &fTransaction);
  fWindowQuery->setSQL(select);
  fWindowQuery->prepare();
  readKeys();
  fState = dsBrowse;
  fRecNo = fKeys.empty() ? -1 : 0;
}

void TFbTableDataSet::close() {
  fWindowQuery.reset();
  forgetWindow();
  fKeys.clear();
  fBuffer.clear();
  fOriginal.clear();
  fState = dsInactive;
  fRecNo = -1;
}

void TFbTableDataSet::readKeys() {
  const std::string& key = fColumns[fKeyIndex].Name;
  TFbStatement query(&fDatabase, &fTransaction);
  query.setSQL("select " + key + " from " + fTableName + " order by " + key);
  query.execQuery();
  std::vector<std::int64_t> keys;
  while (!query.eof()) {
    keys.push_back(query.field(0).asInt64());
    query.next();
  }
  fKeys = std::move(keys);
  forgetWindow();
}

void TFbTableDataSet::forgetWindow() const {
  fWindowFirst = 0;
  fWindowRows.clear();
}

void TFbTableDataSet::fetchWindow(int aFirst, int aCount) {
  const int count = recordCount();
  aFirst = std::clamp(aFirst, 0, count);
  const int end = std::clamp(aFirst + std::max(aCount, 0), aFirst, count);
  if (aFirst >= end) {
    return;
  }
  if (aFirst >= fWindowFirst && end <= fWindowFirst + static_cast<int>(fWindowRows.size())) {
    return;
  }
  readWindow(aFirst, std::max(end, std::min(count, aFirst + WindowSize)));
}

void TFbTableDataSet::readWindow(int aFirst, int aEnd) const {
  forgetWindow();
  fWindowQuery->setParamByName("varFirst", fKeys[aFirst]);
  fWindowQuery->setParamByName("varLast", fKeys[aEnd - 1]);
  fWindowQuery->execQuery();
  std::vector<std::vector<std::string>> rows(aEnd - aFirst);
  const auto begin = fKeys.begin() + aFirst;
  const auto end = fKeys.begin() + aEnd;
  while (!fWindowQuery->eof()) {
    const std::int64_t key = fWindowQuery->field(fKeyIndex).asInt64();
    const auto found = std::lower_bound(begin, end, key);
    if (found != end && *found == key) {
      std::vector<std::string>& row = rows[found - begin];
      for (std::size_t i = 0; i < fColumns.size(); ++i) {
        row.push_back(formatColumnValue(fColumns[i], fWindowQuery->field(static_cast<int>(i))));
      }
    }
    fWindowQuery->next();
  }
  fWindowQuery->close();
  fWindowFirst = aFirst;
  fWindowRows = std::move(rows);
}

const std::vector<std::string>& TFbTableDataSet::row(int aRecord) const {
  if (aRecord < 0 || aRecord >= recordCount()) {
    throw std::out_of_range("record " + std::to_string(aRecord) + " out of range");
  }
  if (aRecord < fWindowFirst || aRecord >= fWindowFirst + static_cast<int>(fWindowRows.size())) {
    const int first = aRecord / WindowSize * WindowSize;
    readWindow(first, std::min(recordCount(), first + WindowSize));
  }
  return fWindowRows[aRecord - fWindowFirst];
}

std::string TFbTableDataSet::fieldText(int aRecord, int aField) const {
  const std::vector<std::string>& texts = row(aRecord);
  return aField >= 0 && aField < static_cast<int>(texts.size()) ? texts[aField] : std::string();
}

void TFbTableDataSet::moveTo(int aRecord) {
  if (fState != dsBrowse || fKeys.empty()) {
    return;
  }
  fRecNo = std::clamp(aRecord, 0, recordCount() - 1);
}

void TFbTableDataSet::insert() {
  if (fState != dsBrowse) {
    return;
  }
  fBuffer.assign(fFieldNames.size(), std::string());
  fOriginal = fBuffer;
  fState = dsInsert;
}

void TFbTableDataSet::edit() {
  if (fState != dsBrowse || fRecNo < 0) {
    return;
  }
  fBuffer = row(fRecNo);
  fBuffer.resize(fFieldNames.size());
  fOriginal = fBuffer;
  fState = dsEdit;
}

std::string TFbTableDataSet::editText(int aField) const {
  return fState == dsEdit || fState == dsInsert ? fBuffer.at(aField) : std::string();
}

void TFbTableDataSet::setEditText(int aField, const std::string& aText) {
  if (fState != dsEdit && fState != dsInsert) {
    throw std::logic_error("the data set is not in edit mode");
  }
  fBuffer.at(aField) = aText;
}

std::vector<TSQLValue> TFbTableDataSet::bufferValues(const std::vector<int>& aFields,
                                                     bool aInserting) const {
  std::vector<TSQLValue> values;
  for (const int field : aFields) {
    TSQLValue value;
    std::string error;
    if (aInserting && field == fKeyIndex && OnNewKey &&
        fBuffer[field].find_first_not_of(" \t") == std::string::npos) {
      value = OnNewKey();
    } else if (!parseColumnText(fColumns[field], label(field), fBuffer[field], value, error)) {
      throw EWebDataSetError(error + kNothingWritten);
    }
    values.push_back(std::move(value));
  }
  return values;
}

std::int64_t TFbTableDataSet::execWrite(const std::string& aSQL,
                                        const std::vector<TSQLValue>& aValues,
                                        const std::string& aFailure) {
  TFbStatement statement(&fDatabase, &fTransaction);
  statement.setSQL(aSQL);
  try {
    statement.prepare();
    for (std::size_t i = 0; i < aValues.size(); ++i) {
      statement.setParam(static_cast<int>(i), aValues[i]);
    }
    statement.execQuery();
    return statement.rowsAffected();
  } catch (const EFbError& e) {
    if (!fDatabase.connected() || !fTransaction.inTransaction()) {
      throw;
    }
    // The database undid the statement; the transaction goes on.
    if (isLockConflict(e)) {
      throw EWebDataSetError(aFailure + ": jemand anderes bearbeitet ihn gerade (" +
                             oneLine(e.what()) + ")." + kNothingWritten);
    }
    throw EWebDataSetError(aFailure + ": " + oneLine(e.what()) + kNothingWritten);
  }
}

void TFbTableDataSet::placeKey(std::int64_t aKey) {
  const auto position = std::lower_bound(fKeys.begin(), fKeys.end(), aKey);
  if (position == fKeys.end() || *position != aKey) {
    fRecNo = static_cast<int>(fKeys.insert(position, aKey) - fKeys.begin());
  } else {
    fRecNo = static_cast<int>(position - fKeys.begin());
  }
}

void TFbTableDataSet::postInsert() {
  std::vector<int> fields(fFieldNames.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i] = static_cast<int>(i);
  }
  const std::vector<TSQLValue> values = bufferValues(fields, true);
  if (values[fKeyIndex].isNull()) {
    throw EWebDataSetError("Die Spalte \"" + label(fKeyIndex) + "\" darf nicht leer sein." +
                           kNothingWritten);
  }
  std::string names;
  std::string markers;
  for (std::size_t i = 0; i < fColumns.size(); ++i) {
    names += (i == 0 ? "" : ", ") + fColumns[i].Name;
    markers += i == 0 ? "?" : ", ?";
  }
  execWrite("insert into " + fTableName + " (" + names + ") values (" + markers + ")", values,
            "Der Datensatz konnte nicht gespeichert werden");
  forgetWindow();
  placeKey(values[fKeyIndex].asInt64());
}

void TFbTableDataSet::postEdit() {
  std::vector<int> changed;
  for (std::size_t i = 0; i < fBuffer.size(); ++i) {
    if (fBuffer[i] != fOriginal[i]) {
      changed.push_back(static_cast<int>(i));
    }
  }
  if (changed.empty()) {
    return;
  }
  std::vector<TSQLValue> values = bufferValues(changed, false);
  std::string assignments;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    assignments += (i == 0 ? "" : ", ") + fColumns[changed[i]].Name + " = ?";
  }
  const std::int64_t oldKey = fKeys.at(fRecNo);
  std::int64_t newKey = oldKey;
  const auto keyChange = std::find(changed.begin(), changed.end(), fKeyIndex);
  if (keyChange != changed.end()) {
    const TSQLValue& key = values[keyChange - changed.begin()];
    if (key.isNull()) {
      throw EWebDataSetError("Die Spalte \"" + label(fKeyIndex) + "\" darf nicht leer sein." +
                             kNothingWritten);
    }
    newKey = key.asInt64();
  }
  values.emplace_back(oldKey);
  const std::int64_t rows = execWrite("update " + fTableName + " set " + assignments + " where " +
                                          fColumns[fKeyIndex].Name + " = ?",
                                      values, "Der Datensatz konnte nicht gespeichert werden");
  if (rows == 0) {
    throw EWebDataSetError("Der Datensatz ist nicht mehr vorhanden." +
                           std::string(kNothingWritten));
  }
  forgetWindow();
  if (newKey != oldKey) {
    fKeys.erase(fKeys.begin() + fRecNo);
    placeKey(newKey);
  }
}

void TFbTableDataSet::post() {
  if (fState == dsInsert) {
    postInsert();
  } else if (fState == dsEdit) {
    postEdit();
  } else {
    return;
  }
  fState = dsBrowse;
  fBuffer.clear();
  fOriginal.clear();
}

void TFbTableDataSet::cancel() {
  if (fState == dsEdit || fState == dsInsert) {
    fState = dsBrowse;
  }
  fBuffer.clear();
  fOriginal.clear();
}

void TFbTableDataSet::deleteRecord() {
  if (fState != dsBrowse || fRecNo < 0) {
    return;
  }
  execWrite("delete from " + fTableName + " where " + fColumns[fKeyIndex].Name + " = ?",
            {TSQLValue(fKeys.at(fRecNo))}, "Der Datensatz konnte nicht gelöscht werden");
  fKeys.erase(fKeys.begin() + fRecNo);
  forgetWindow();
  fRecNo = std::min(fRecNo, recordCount() - 1);
}

void TFbTableDataSet::refresh() {
  if (fState != dsBrowse) {
    return;
  }
  const bool hadRecord = fRecNo >= 0;
  const std::int64_t current = hadRecord ? fKeys.at(fRecNo) : 0;
  readKeys();
  if (fKeys.empty()) {
    fRecNo = -1;
    return;
  }
  const auto position = std::lower_bound(fKeys.begin(), fKeys.end(), current);
  fRecNo = hadRecord ? std::min(static_cast<int>(position - fKeys.begin()), recordCount() - 1) : 0;
}
