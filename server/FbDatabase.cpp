#include "server/FbDatabase.h"

#include "server/FbApi.h"
#include "server/FbStatement.h"

#include <algorithm>

namespace {

// The parameter-block tag of a connection parameter name.
unsigned char dpbTag(const std::string& aName) {
  if (aName == "user_name") {
    return isc_dpb_user_name;
  }
  if (aName == "password") {
    return isc_dpb_password;
  }
  if (aName == "sql_role_name") {
    return isc_dpb_sql_role_name;
  }
  if (aName == "lc_ctype") {
    return isc_dpb_lc_ctype;
  }
  throw EFbError("unknown connection parameter \"" + aName + "\"");
}

// Releases a parameter-block builder on every way out.
struct TXpbBuilderHolder {
  Firebird::IXpbBuilder* Builder;
  ~TXpbBuilderHolder() { Builder->dispose(); }
};

} // namespace

TFbDatabase::~TFbDatabase() {
  try {
    close();
  } catch (const EFbError&) {
    // The handle is released in any case; there is nobody left to report to.
  }
  for (TFbTransaction* transaction : fTransactions) {
    transaction->fDatabase = nullptr;
  }
}

void TFbDatabase::open() {
  if (connected()) {
    close();
  }
  fb::TStatus status;
  TXpbBuilderHolder dpb{
      fb::util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::DPB, nullptr, 0)};
  status.throwIfFailed();
  for (const std::string& line : fParams) {
    const std::size_t equals = line.find('=');
    const std::string name = line.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    dpb.Builder->insertString(status.get(), dpbTag(name), value.c_str());
    status.throwIfFailed();
  }
  const unsigned length = dpb.Builder->getBufferLength(status.get());
  const unsigned char* buffer = dpb.Builder->getBuffer(status.get());
  status.throwIfFailed();
  Firebird::IProvider* provider = fb::master()->getDispatcher();
  Firebird::IAttachment* attachment =
      provider->attachDatabase(status.get(), fDatabaseName.c_str(), length, buffer);
  provider->release();
  status.throwIfFailed();
  fAttachment = attachment;
}

void TFbDatabase::close() {
  if (fAttachment == nullptr) {
    return;
  }
  // Freeing unregisters, so work on a copy.
  for (TFbStatement* statement : std::vector<TFbStatement*>(fStatements)) {
    statement->freeHandle();
  }
  for (TFbTransaction* transaction : fTransactions) {
    transaction->releaseHandle();
  }
  fb::TStatus status;
  fAttachment->detach(status.get());
  if (status.failed()) {
    // A broken connection cannot be detached cleanly; drop our reference all the same.
    fAttachment->release();
  }
  fAttachment = nullptr;
  status.throwIfFailed();
}

void TFbDatabase::executeCreateDatabase(const std::string& aStatement) {
  fb::TStatus status;
  FB_BOOLEAN isCreateDatabase = FB_FALSE;
  Firebird::IAttachment* attachment = fb::util()->executeCreateDatabase(
      status.get(), static_cast<unsigned>(aStatement.size()), aStatement.c_str(),
      static_cast<unsigned>(getSQLDialect()), &isCreateDatabase);
  status.throwIfFailed();
  if (attachment == nullptr) {
    throw EFbError("not a CREATE DATABASE statement: " + aStatement);
  }
  attachment->detach(status.get());
  if (status.failed()) {
    attachment->release();
  }
  status.throwIfFailed();
}

void TFbDatabase::addTransaction(TFbTransaction* aTransaction) {
  if (std::find(fTransactions.begin(), fTransactions.end(), aTransaction) == fTransactions.end()) {
    fTransactions.push_back(aTransaction);
  }
}

void TFbDatabase::removeTransaction(TFbTransaction* aTransaction) {
  fTransactions.erase(std::remove(fTransactions.begin(), fTransactions.end(), aTransaction),
                      fTransactions.end());
}

void TFbDatabase::addStatement(TFbStatement* aStatement) {
  fStatements.push_back(aStatement);
}

void TFbDatabase::removeStatement(TFbStatement* aStatement) {
  fStatements.erase(std::remove(fStatements.begin(), fStatements.end(), aStatement),
                    fStatements.end());
}

TFbTransaction::TFbTransaction(TFbDatabase* aDefaultDatabase) {
  setDefaultDatabase(aDefaultDatabase);
}

TFbTransaction::~TFbTransaction() {
  releaseHandle();
  if (fDatabase != nullptr) {
    fDatabase->removeTransaction(this);
  }
}

void TFbTransaction::setDefaultDatabase(TFbDatabase* aDatabase) {
  if (fDatabase == aDatabase) {
    return;
  }
  releaseHandle();
  if (fDatabase != nullptr) {
    fDatabase->removeTransaction(this);
  }
  fDatabase = aDatabase;
  if (fDatabase != nullptr) {
    fDatabase->addTransaction(this);
  }
}

void TFbTransaction::startTransaction() {
  if (inTransaction()) {
    throw EFbError("transaction is already active");
  }
  if (fDatabase == nullptr || !fDatabase->connected()) {
    throw EFbError("database not open");
  }
  fb::TStatus status;
  Firebird::ITransaction* transaction = nullptr;
  if (fLockTimeout > 0) {
    // The default parameters (concurrency, read-write, wait), with the wait bounded.
    TXpbBuilderHolder tpb{
        fb::util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::TPB, nullptr, 0)};
    status.throwIfFailed();
    tpb.Builder->insertTag(status.get(), isc_tpb_concurrency);
    tpb.Builder->insertTag(status.get(), isc_tpb_write);
    tpb.Builder->insertTag(status.get(), isc_tpb_wait);
    tpb.Builder->insertInt(status.get(), isc_tpb_lock_timeout, fLockTimeout);
    const unsigned length = tpb.Builder->getBufferLength(status.get());
    const unsigned char* buffer = tpb.Builder->getBuffer(status.get());
    status.throwIfFailed();
    transaction = fDatabase->handle()->startTransaction(status.get(), length, buffer);
  } else {
    transaction = fDatabase->handle()->startTransaction(status.get(), 0, nullptr);
  }
  status.throwIfFailed();
  fTransaction = transaction;
}

void TFbTransaction::commit() {
  if (!inTransaction()) {
    throw EFbError("transaction is not active");
  }
  closeCursors();
  fb::TStatus status;
  fTransaction->commit(status.get()); // releases the handle on success
  status.throwIfFailed();
  fTransaction = nullptr;
}

void TFbTransaction::rollback() {
  if (!inTransaction()) {
    throw EFbError("transaction is not active");
  }
  closeCursors();
  fb::TStatus status;
  fTransaction->rollback(status.get());
  if (status.failed()) {
    // A transaction that cannot be rolled back (lost connection) is gone all the same.
    fTransaction->release();
  }
  fTransaction = nullptr;
  status.throwIfFailed();
}

void TFbTransaction::releaseHandle() {
  if (!inTransaction()) {
    return;
  }
  try {
    rollback();
  } catch (const EFbError&) {
    // rollback released the handle; the work is lost with the connection anyway.
  }
}

void TFbTransaction::closeCursors() {
  for (TFbStatement* statement : std::vector<TFbStatement*>(fCursors)) {
    try {
      statement->close();
    } catch (const EFbError&) {
      // The cursor is released in any case.
    }
  }
  fCursors.clear();
}

void TFbTransaction::addCursor(TFbStatement* aStatement) {
  fCursors.push_back(aStatement);
}

void TFbTransaction::removeCursor(TFbStatement* aStatement) {
  fCursors.erase(std::remove(fCursors.begin(), fCursors.end(), aStatement), fCursors.end());
}
