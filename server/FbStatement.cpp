#include "server/FbStatement.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "server/FbApi.h"
#include "server/FbSQLText.h"

#include <cstring>

namespace {

constexpr unsigned kMaxVaryingLength = 32765;
// Columns of other types (exact numerics of later versions and the like) are read as text.
constexpr unsigned kOtherTypeTextLength = 128;

bool isTextType(unsigned aType) {
  return aType == SQL_TEXT || aType == SQL_VARYING;
}

// The metadata object returned by the library holds a reference; this gives it back.
struct TMetadataHolder {
  Firebird::IMessageMetadata* Metadata = nullptr;
  ~TMetadataHolder() {
    if (Metadata != nullptr) {
      Metadata->release();
    }
  }
};

struct TBuilderHolder {
  Firebird::IMetadataBuilder* Builder = nullptr;
  ~TBuilderHolder() {
    if (Builder != nullptr) {
      Builder->release();
    }
  }
};

void setField(Firebird::IMetadataBuilder* aBuilder, fb::TStatus& aStatus, unsigned aIndex,
              unsigned aType, unsigned aLength, unsigned aCharSet = 0) {
  aBuilder->setType(aStatus.get(), aIndex, aType);
  aBuilder->setSubType(aStatus.get(), aIndex, 0);
  aBuilder->setScale(aStatus.get(), aIndex, 0);
  aBuilder->setCharSet(aStatus.get(), aIndex, aCharSet);
  aBuilder->setLength(aStatus.get(), aIndex, aLength);
  aStatus.throwIfFailed();
}

template <typename T>
void put(std::vector<unsigned char>& aBuffer, unsigned aOffset, const T& aValue) {
  std::memcpy(aBuffer.data() + aOffset, &aValue, sizeof(T));
}

template <typename T>
T take(const std::vector<unsigned char>& aBuffer, unsigned aOffset) {
  T value;
  std::memcpy(&value, aBuffer.data() + aOffset, sizeof(T));
  return value;
}

} // namespace

TFbStatement::TFbStatement(TFbDatabase* aDatabase, TFbTransaction* aTransaction)
    : fDatabase(aDatabase), fTransaction(aTransaction) {
  if (fTransaction == nullptr && fDatabase != nullptr) {
    fTransaction = fDatabase->getDefaultTransaction();
  }
}

TFbStatement::~TFbStatement() {
  try {
    freeHandle();
  } catch (const EFbError&) {
    // Freeing gives the handle back in every case.
  }
}

void TFbStatement::setDatabase(TFbDatabase* aDatabase) {
  if (aDatabase != fDatabase) {
    freeHandle();
    fDatabase = aDatabase;
  }
}

void TFbStatement::setTransaction(TFbTransaction* aTransaction) {
  close();
  fTransaction = aTransaction;
}

void TFbStatement::setSQL(const std::string& aSQL) {
  if (aSQL != fSQL) {
    freeHandle();
    fSQL = aSQL;
  }
}

void TFbStatement::prepare() {
  freeHandle();
  if (fDatabase == nullptr || !fDatabase->connected()) {
    throw EFbError("database not open");
  }
  if (fTransaction == nullptr || !fTransaction->inTransaction()) {
    throw EFbError("transaction is not active");
  }
  const TFbParsedSQL parsed = parseNamedParameters(fSQL);
  fb::TStatus status;
  Firebird::IStatement* statement = fDatabase->handle()->prepare(
      status.get(), fTransaction->handle(), static_cast<unsigned>(parsed.SQL.size()),
      parsed.SQL.c_str(), static_cast<unsigned>(fDatabase->getSQLDialect()),
      Firebird::IStatement::PREPARE_PREFETCH_METADATA);
  status.throwIfFailed();
  fStatement = statement;
  fPreparedOn = fDatabase;
  fDatabase->addStatement(this);
  try {
    const unsigned type = fStatement->getType(status.get());
    status.throwIfFailed();
    fIsQuery = type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
    fInputMetadata = fStatement->getInputMetadata(status.get());
    status.throwIfFailed();
    const unsigned count = fInputMetadata->getCount(status.get());
    status.throwIfFailed();
    fParamNames = parsed.Names;
    fParamNames.resize(count); // a "?" the scanner did not see stays nameless
    fParams.assign(count, TSQLValue());
    setupOutput();
  } catch (...) {
    freeHandle();
    throw;
  }
}

void TFbStatement::setupOutput() {
  fb::TStatus status;
  TMetadataHolder described{fStatement->getOutputMetadata(status.get())};
  status.throwIfFailed();
  const unsigned count = described.Metadata->getCount(status.get());
  status.throwIfFailed();
  fFieldNames.clear();
  fHasSingletonOutput = !fIsQuery && count > 0;
  if (count == 0) {
    return;
  }
  TBuilderHolder builder{described.Metadata->getBuilder(status.get())};
  status.throwIfFailed();
  for (unsigned i = 0; i < count; ++i) {
    const unsigned type = described.Metadata->getType(status.get(), i);
    const int scale = described.Metadata->getScale(status.get(), i);
    const unsigned length = described.Metadata->getLength(status.get(), i);
    const unsigned charSet = described.Metadata->getCharSet(status.get(), i);
    fFieldNames.emplace_back(described.Metadata->getAlias(status.get(), i));
    status.throwIfFailed();
    switch (type) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (scale == 0) {
        setField(builder.Builder, status, i, SQL_INT64, 8);
      } else {
        setField(builder.Builder, status, i, SQL_DOUBLE, 8);
      }
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      setField(builder.Builder, status, i, SQL_DOUBLE, 8);
      break;
    case SQL_TEXT:
    case SQL_VARYING:
      setField(builder.Builder, status, i, SQL_VARYING, length, charSet);
      break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      setField(builder.Builder, status, i, SQL_TIMESTAMP, 8);
      break;
    case SQL_BOOLEAN:
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_NULL:
      break; // read as described
    default:
      setField(builder.Builder, status, i, SQL_VARYING, kOtherTypeTextLength);
      break;
    }
  }
  fOutputMetadata = builder.Builder->getMetadata(status.get());
  status.throwIfFailed();
  const unsigned bufferLength = fOutputMetadata->getMessageLength(status.get());
  status.throwIfFailed();
  fOutputBuffer.assign(bufferLength, 0);
}

int TFbStatement::fieldIndex(std::string_view aName) const {
  for (std::size_t i = 0; i < fFieldNames.size(); ++i) {
    if (equalsIgnoreCase(fFieldNames[i], aName)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

const TSQLValue& TFbStatement::field(int aIndex) const {
  if (!fOpen || fEof) {
    throw EFbError("no current row");
  }
  if (aIndex < 0 || aIndex >= static_cast<int>(fRow.size())) {
    throw EFbError("column index " + std::to_string(aIndex) + " out of range");
  }
  return fRow[aIndex];
}

const TSQLValue& TFbStatement::fieldByName(std::string_view aName) const {
  const int index = fieldIndex(aName);
  if (index < 0) {
    throw EFbError("column \"" + std::string(aName) + "\" not found");
  }
  return field(index);
}

void TFbStatement::setParam(int aIndex, TSQLValue aValue) {
  requirePrepared();
  if (aIndex < 0 || aIndex >= paramCount()) {
    throw EFbError("parameter index " + std::to_string(aIndex) + " out of range (" +
                   std::to_string(paramCount()) + " parameters)");
  }
  fParams[aIndex] = std::move(aValue);
}

void TFbStatement::setParamByName(std::string_view aName, const TSQLValue& aValue) {
  requirePrepared();
  bool found = false;
  for (int i = 0; i < paramCount(); ++i) {
    if (equalsIgnoreCase(fParamNames[i], aName)) {
      fParams[i] = aValue;
      found = true;
    }
  }
  if (!found) {
    throw EFbError("parameter \"" + std::string(aName) + "\" not found");
  }
}

void TFbStatement::clearParams() {
  fParams.assign(fParams.size(), TSQLValue());
}

void TFbStatement::requirePrepared() {
  if (!isPrepared()) {
    prepare();
  }
}

void TFbStatement::bindMessage(std::vector<unsigned char>& aBuffer,
                               Firebird::IMessageMetadata*& aMetadata) {
  fb::TStatus status;
  TBuilderHolder builder{fInputMetadata->getBuilder(status.get())};
  status.throwIfFailed();
  for (unsigned i = 0; i < fParams.size(); ++i) {
    const TSQLValue& value = fParams[i];
    switch (value.kind()) {
    case TSQLValue::svkNull:
      break; // sent as described, with the null flag
    case TSQLValue::svkInteger:
      setField(builder.Builder, status, i, SQL_LONG, 4);
      break;
    case TSQLValue::svkInt64:
      setField(builder.Builder, status, i, SQL_INT64, 8);
      break;
    case TSQLValue::svkBoolean:
      setField(builder.Builder, status, i, SQL_BOOLEAN, 1);
      break;
    case TSQLValue::svkDouble:
      setField(builder.Builder, status, i, SQL_DOUBLE, 8);
      break;
    case TSQLValue::svkTimestamp:
      setField(builder.Builder, status, i, SQL_TIMESTAMP, 8);
      break;
    case TSQLValue::svkText: {
      const std::size_t size = value.get<std::string>().size();
      if (size > kMaxVaryingLength) {
        throw EFbError("text parameter " + std::to_string(i + 1) + " too long (" +
                       std::to_string(size) + " bytes)");
      }
      // A text keeps the character set of a text parameter; for others the database converts.
      const unsigned describedType = fInputMetadata->getType(status.get(), i);
      const unsigned charSet = isTextType(describedType) || describedType == SQL_BLOB
                                   ? fInputMetadata->getCharSet(status.get(), i)
                                   : 0;
      status.throwIfFailed();
      setField(builder.Builder, status, i, SQL_VARYING, static_cast<unsigned>(size == 0 ? 1 : size),
               charSet);
      break;
    }
    }
  }
  TMetadataHolder metadata{builder.Builder->getMetadata(status.get())};
  status.throwIfFailed();
  aBuffer.assign(metadata.Metadata->getMessageLength(status.get()), 0);
  status.throwIfFailed();
  for (unsigned i = 0; i < fParams.size(); ++i) {
    const TSQLValue& value = fParams[i];
    const unsigned offset = metadata.Metadata->getOffset(status.get(), i);
    const unsigned nullOffset = metadata.Metadata->getNullOffset(status.get(), i);
    status.throwIfFailed();
    put<short>(aBuffer, nullOffset, value.isNull() ? -1 : 0);
    switch (value.kind()) {
    case TSQLValue::svkNull:
      break;
    case TSQLValue::svkInteger:
      put<ISC_LONG>(aBuffer, offset, value.get<std::int32_t>());
      break;
    case TSQLValue::svkInt64:
      put<ISC_INT64>(aBuffer, offset, value.get<std::int64_t>());
      break;
    case TSQLValue::svkBoolean:
      put<FB_BOOLEAN>(aBuffer, offset, value.get<bool>() ? FB_TRUE : FB_FALSE);
      break;
    case TSQLValue::svkDouble:
      put<double>(aBuffer, offset, value.get<double>());
      break;
    case TSQLValue::svkTimestamp:
      put<ISC_TIMESTAMP>(aBuffer, offset,
                         fb::toTimestamp(value.get<TDateTime>().totalMilliseconds()));
      break;
    case TSQLValue::svkText: {
      const std::string& text = value.get<std::string>();
      put<ISC_USHORT>(aBuffer, offset, static_cast<ISC_USHORT>(text.size()));
      std::memcpy(aBuffer.data() + offset + sizeof(ISC_USHORT), text.data(), text.size());
      break;
    }
    }
  }
  aMetadata = metadata.Metadata;
  metadata.Metadata = nullptr; // handed to the caller
}

void TFbStatement::execQuery() {
  requirePrepared();
  close();
  if (fTransaction == nullptr || !fTransaction->inTransaction()) {
    throw EFbError("transaction is not active");
  }
  std::vector<unsigned char> inputBuffer;
  TMetadataHolder input;
  if (!fParams.empty()) {
    bindMessage(inputBuffer, input.Metadata);
  }
  fb::TStatus status;
  if (fIsQuery) {
    Firebird::IResultSet* resultSet = fStatement->openCursor(
        status.get(), fTransaction->handle(), input.Metadata,
        inputBuffer.empty() ? nullptr : inputBuffer.data(), fOutputMetadata, 0);
    status.throwIfFailed();
    fResultSet = resultSet;
    fCursorIn = fTransaction;
    fCursorIn->addCursor(this);
    fOpen = true;
    fetch();
    return;
  }
  fStatement->execute(status.get(), fTransaction->handle(), input.Metadata,
                      inputBuffer.empty() ? nullptr : inputBuffer.data(),
                      fHasSingletonOutput ? fOutputMetadata : nullptr,
                      fHasSingletonOutput ? fOutputBuffer.data() : nullptr);
  status.throwIfFailed();
  if (fHasSingletonOutput) {
    readRow();
    fOpen = true;
    fEof = false;
  }
}

void TFbStatement::next() {
  if (!fOpen || fResultSet == nullptr) {
    fEof = true;
    return;
  }
  fetch();
}

void TFbStatement::fetch() {
  fb::TStatus status;
  const int result = fResultSet->fetchNext(status.get(), fOutputBuffer.data());
  status.throwIfFailed();
  fEof = result != Firebird::IStatus::RESULT_OK;
  if (!fEof) {
    readRow();
  }
}

void TFbStatement::readRow() {
  fb::TStatus status;
  fRow.assign(fFieldNames.size(), TSQLValue());
  for (unsigned i = 0; i < fFieldNames.size(); ++i) {
    const unsigned offset = fOutputMetadata->getOffset(status.get(), i);
    const unsigned nullOffset = fOutputMetadata->getNullOffset(status.get(), i);
    const unsigned type = fOutputMetadata->getType(status.get(), i);
    status.throwIfFailed();
    if (take<short>(fOutputBuffer, nullOffset) != 0) {
      continue;
    }
    switch (type) {
    case SQL_INT64:
      fRow[i] = static_cast<std::int64_t>(take<ISC_INT64>(fOutputBuffer, offset));
      break;
    case SQL_DOUBLE:
      fRow[i] = take<double>(fOutputBuffer, offset);
      break;
    case SQL_VARYING: {
      const auto length = take<ISC_USHORT>(fOutputBuffer, offset);
      fRow[i] = std::string(
          reinterpret_cast<const char*>(fOutputBuffer.data() + offset + sizeof(ISC_USHORT)),
          length);
      break;
    }
    case SQL_TIMESTAMP:
      fRow[i] = TDateTime::fromMilliseconds(
          fb::fromTimestamp(take<ISC_TIMESTAMP>(fOutputBuffer, offset)));
      break;
    case SQL_BOOLEAN:
      fRow[i] = take<FB_BOOLEAN>(fOutputBuffer, offset) != FB_FALSE;
      break;
    case SQL_BLOB:
      fRow[i] = readBlob(fOutputBuffer.data() + offset);
      break;
    default:
      break; // arrays and the like read as NULL
    }
  }
}

std::string TFbStatement::readBlob(const void* aBlobId) {
  ISC_QUAD id;
  std::memcpy(&id, aBlobId, sizeof(id));
  fb::TStatus status;
  Firebird::IBlob* blob =
      fDatabase->handle()->openBlob(status.get(), fTransaction->handle(), &id, 0, nullptr);
  status.throwIfFailed();
  std::string content;
  char segment[8192];
  for (;;) {
    unsigned length = 0;
    const int result = blob->getSegment(status.get(), sizeof(segment), segment, &length);
    if (status.failed()) {
      blob->release();
      status.throwIfFailed();
    }
    if (result != Firebird::IStatus::RESULT_OK && result != Firebird::IStatus::RESULT_SEGMENT) {
      break;
    }
    content.append(segment, length);
  }
  blob->close(status.get());
  if (status.failed()) {
    blob->release();
  }
  return content;
}

std::int64_t TFbStatement::rowsAffected() {
  if (!isPrepared()) {
    return 0;
  }
  const unsigned char items[] = {isc_info_sql_records, isc_info_end};
  unsigned char buffer[64] = {};
  fb::TStatus status;
  fStatement->getInfo(status.get(), sizeof(items), items, sizeof(buffer), buffer);
  status.throwIfFailed();
  if (buffer[0] != isc_info_sql_records) {
    return 0;
  }
  std::int64_t count = 0;
  const unsigned char* p = buffer + 3;
  const unsigned char* end = buffer + sizeof(buffer);
  while (p + 3 <= end && *p != isc_info_end) {
    const unsigned char item = *p;
    const auto length = static_cast<short>(isc_portable_integer(p + 1, 2));
    if (length < 0 || p + 3 + length > end) {
      break;
    }
    const std::int64_t value = isc_portable_integer(p + 3, length);
    if (item == isc_info_req_insert_count || item == isc_info_req_update_count ||
        item == isc_info_req_delete_count) {
      count += value;
    }
    p += 3 + length;
  }
  return count;
}

void TFbStatement::close() {
  fOpen = false;
  fEof = true;
  fRow.clear();
  if (fResultSet == nullptr) {
    return;
  }
  if (fCursorIn != nullptr) {
    fCursorIn->removeCursor(this);
    fCursorIn = nullptr;
  }
  fb::TStatus status;
  fResultSet->close(status.get()); // releases the cursor on success
  if (status.failed()) {
    fResultSet->release();
  }
  fResultSet = nullptr;
  status.throwIfFailed();
}

void TFbStatement::freeHandle() {
  try {
    close();
  } catch (const EFbError&) {
    // The cursor is gone with the statement.
  }
  if (fOutputMetadata != nullptr) {
    fOutputMetadata->release();
    fOutputMetadata = nullptr;
  }
  if (fInputMetadata != nullptr) {
    fInputMetadata->release();
    fInputMetadata = nullptr;
  }
  fParamNames.clear();
  fParams.clear();
  fFieldNames.clear();
  fOutputBuffer.clear();
  fIsQuery = false;
  fHasSingletonOutput = false;
  if (fStatement == nullptr) {
    return;
  }
  if (fPreparedOn != nullptr) {
    fPreparedOn->removeStatement(this);
    fPreparedOn = nullptr;
  }
  fb::TStatus status;
  fStatement->free(status.get());
  if (status.failed()) {
    fStatement->release();
  }
  fStatement = nullptr;
}
