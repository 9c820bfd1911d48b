#include "server/IBGenerator.h"

#include "platform/Locks.h"

#include <map>

namespace {

// The open generators of the process with their two locks (list before value).
struct TGeneratorList {
  TCriticalSection CSList ACQUIRED_BEFORE(CSValue);
  TCriticalSection CSValue;
  std::map<std::string, std::unique_ptr<TIBGenerator>> Open GUARDED_BY(CSList);
};

TGeneratorList& generatorList() {
  static TGeneratorList list;
  return list;
}

std::string keyOf(const TFbDatabase* aDatabase, const std::string& aGeneratorName) {
  return aDatabase->getDatabaseName() + ":" + aGeneratorName;
}

} // namespace

TIBGenerator::TIBGenerator(TFbDatabase* aIBDatabase, TFbTransaction* aIBTransaction,
                           const std::string& aGeneratorName)
    : fDatabase(aIBDatabase), fTransaction(aIBTransaction), fGeneratorName(aGeneratorName) {
  const std::string readSQL = "SELECT GEN_ID(" + fGeneratorName + ",0) FROM RDB$DATABASE;";
  try {
    if (!fTransaction->inTransaction()) {
      fTransaction->startTransaction();
    }
    fIBSQL = std::make_unique<TFbStatement>(fDatabase, fTransaction);
    fIBSQL->setSQL(readSQL);
    fIBSQL->prepare();
  } catch (const std::exception& e) {
    rethrowWithStatement(e, readSQL);
  }
  fSaveToDB_sql = "SET GENERATOR " + fGeneratorName + " TO %0:d;";
  fSaveToDB_IBSQL = std::make_unique<TFbStatement>(fDatabase, fTransaction);
  fGetNewValueFromDB_sql = "SELECT GEN_ID(" + fGeneratorName + ", 1) FROM RDB$DATABASE";
  try {
    fGetNewValueFromDB_IBSQL = std::make_unique<TFbStatement>(fDatabase, fTransaction);
    fGetNewValueFromDB_IBSQL->setSQL(fGetNewValueFromDB_sql);
    fGetNewValueFromDB_IBSQL->prepare();
  } catch (const std::exception& e) {
    rethrowWithStatement(e, fGetNewValueFromDB_sql);
  }
  loadCurrentValue();
  fUsedGetNewValue = false;
}

TIBGenerator::~TIBGenerator() = default;

void TIBGenerator::loadCurrentValue() {
  try {
    fIBSQL->execQuery();
    fCurrentValue = fIBSQL->eof() ? 0 : fIBSQL->field(0).asInt64();
    fIBSQL->close();
  } catch (const std::exception& e) {
    rethrowWithStatement(e, fIBSQL->getSQL());
  }
}

void TIBGenerator::rethrowWithStatement(const std::exception& aError,
                                        const std::string& aStatement) const {
  const std::string message =
      std::string(aError.what()) + " Problem beim Generator \"" + aStatement + "\"";
  if (const auto* fbError = dynamic_cast<const EFbError*>(&aError)) {
    throw EFbError(message, fbError->getSQLCode(), fbError->getGDSCode());
  }
  throw EFbError(message);
}

TIBGenerator* TIBGenerator::getIBGenerator(TFbDatabase* aIBDatabase, TFbTransaction* aIBTransaction,
                                           const std::string& aGeneratorName) {
  TGeneratorList& list = generatorList();
  TScopedLock listLock(list.CSList);
  const std::string key = keyOf(aIBDatabase, aGeneratorName);
  if (const auto found = list.Open.find(key); found != list.Open.end()) {
    return found->second.get();
  }
  TScopedLock valueLock(list.CSValue);
  std::unique_ptr<TIBGenerator> generator(
      new TIBGenerator(aIBDatabase, aIBTransaction, aGeneratorName));
  const auto [position, inserted] = list.Open.emplace(key, std::move(generator));
  if (!inserted) {
    throw EFbError("Ein Generator mit dem Namen " + aGeneratorName + " ist bereits geöffnet");
  }
  return position->second.get();
}

void TIBGenerator::freeIBGenerator(TIBGenerator*& aGenerator) {
  if (aGenerator == nullptr) {
    return;
  }
  TGeneratorList& list = generatorList();
  TScopedLock listLock(list.CSList);
  TScopedLock valueLock(list.CSValue);
  std::exception_ptr failure;
  try {
    aGenerator->saveValueToDB(aGenerator->fCurrentValue);
  } catch (...) {
    failure = std::current_exception();
  }
  for (auto it = list.Open.begin(); it != list.Open.end(); ++it) {
    if (it->second.get() == aGenerator) {
      list.Open.erase(it);
      break;
    }
  }
  aGenerator = nullptr;
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void TIBGenerator::clearIBGenerators() {
  TGeneratorList& list = generatorList();
  TScopedLock listLock(list.CSList);
  TScopedLock valueLock(list.CSValue);
  for (auto& [key, generator] : list.Open) {
    try {
      generator->saveValueToDB(generator->fCurrentValue);
    } catch (const std::exception&) {
      // At program end there is nobody to tell; the next connect repairs the generator.
    }
  }
  list.Open.clear();
}

int TIBGenerator::openGeneratorCount() {
  TGeneratorList& list = generatorList();
  TScopedLock listLock(list.CSList);
  return static_cast<int>(list.Open.size());
}

std::int64_t TIBGenerator::getNewValue() {
  TScopedLock valueLock(generatorList().CSValue);
  fUsedGetNewValue = true;
  return ++fCurrentValue;
}

void TIBGenerator::CheckAndRepair(const std::string& aTable, const std::string& aField) {
  const std::string sql = "select max(" + aField + ") from " + aTable + " where " + aField + " > " +
                          std::to_string(fCurrentValue) + " ";
  try {
    TFbStatement query(fDatabase, fTransaction);
    query.setSQL(sql);
    query.execQuery();
    const std::int64_t largest = query.eof() ? 0 : query.field(0).asInt64();
    query.close();
    if (largest > fCurrentValue) {
      fCurrentValue = largest;
    }
  } catch (const std::exception& e) {
    rethrowWithStatement(e, sql);
  }
  saveValueToDB(fCurrentValue);
}

void TIBGenerator::saveValueToDB(std::int64_t aValue) {
  std::string sql = fSaveToDB_sql;
  sql.replace(sql.find("%0:d"), 4, std::to_string(aValue));
  try {
    fSaveToDB_IBSQL->close();
    fSaveToDB_IBSQL->setSQL(sql);
    fSaveToDB_IBSQL->execQuery();
    fSaveToDB_IBSQL->close();
  } catch (const std::exception& e) {
    rethrowWithStatement(e, sql);
  }
  fUsedGetNewValue = false;
  fLastSavedValue = aValue;
}
