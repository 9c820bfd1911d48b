#include "server/PIBSql.h"

TPIBSql::TPIBSql(const std::string& aSQL, TFbTransaction* aTransaction, TFbDatabase* aDatabase)
    : TFbStatement(aDatabase, aTransaction) {
  TScopedLock lock(fCSPreparedSQL);
  if (aTransaction != nullptr && !aTransaction->inTransaction()) {
    aTransaction->startTransaction();
  }
  setSQL(aSQL);
  prepare();
}

void TPIBSql::execPreparedSQL(const std::string& aSQL, const TSQLParams& aParams) {
  TScopedLock lock(fCSPreparedSQL);
  if (aSQL != getSQL()) {
    throw EFbError("Das preparierte SQL-Statement stimmt nicht mit dem auszuführenden überein");
  }
  close();
  if (!aParams.empty()) {
    bindParameter(*this, aParams);
  }
  execQuery();
}

void TPIBSql::execPreparedSQL(const TSQLParams& aParams) {
  TScopedLock lock(fCSPreparedSQL);
  close();
  if (!aParams.empty()) {
    bindParameter(*this, aParams);
  }
  execQuery();
}

void bindParameter(TFbStatement& aIBSql, const TSQLParams& aSQLParameter) {
  if (!aIBSql.isPrepared()) {
    aIBSql.prepare();
  }
  if (static_cast<int>(aSQLParameter.size()) != aIBSql.paramCount()) {
    throw EFbError("paramSQL.bindParameter(): " + std::to_string(aSQLParameter.size()) +
                   " arguments for " + std::to_string(aIBSql.paramCount()) + " parameters");
  }
  for (std::size_t i = 0; i < aSQLParameter.size(); ++i) {
    aIBSql.setParam(static_cast<int>(i), aSQLParameter[i]);
  }
}

TFbStatement* execParamSQL(TFbDatabase& aIBDatabase, std::unique_ptr<TFbStatement>& aIBSql,
                           const std::string& aSQLText, const TSQLParams& aParamArr) {
  if (!aIBSql) {
    aIBSql = std::make_unique<TPIBSql>(aSQLText, aIBDatabase.getDefaultTransaction(), &aIBDatabase);
  }
  if (auto* prepared = dynamic_cast<TPIBSql*>(aIBSql.get())) {
    prepared->execPreparedSQL(aSQLText, aParamArr);
  } else {
    aIBSql->close();
    aIBSql->setSQL(aSQLText); // a plain statement runs the text it is given, never a stale one
    if (!aParamArr.empty()) {
      bindParameter(*aIBSql, aParamArr);
    }
    aIBSql->execQuery();
  }
  return aIBSql.get();
}
