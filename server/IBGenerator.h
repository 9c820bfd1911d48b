#pragma once

#include "server/FbDatabase.h"
#include "server/FbStatement.h"

#include <cstdint>
#include <memory>
#include <string>

// A client-side counter over one database generator: new keys are handed out from memory and
// the database generator is brought up to date by CheckAndRepair and on disposal only.
// Process-wide there is one open generator per connection name and generator name; the open
// list owns them. Locks: the list lock before the value lock; both are taken inside the
// database owner's lock (fCSDatabase), which also serialises the use of the statements.
class TIBGenerator {
public:
  ~TIBGenerator();
  TIBGenerator(const TIBGenerator&) = delete;
  TIBGenerator& operator=(const TIBGenerator&) = delete;

  // The open generator for that connection and name, created (and loaded from the database)
  // on first request. The result belongs to the open list. Raises EFbError.
  static TIBGenerator* getIBGenerator(TFbDatabase* aIBDatabase, TFbTransaction* aIBTransaction,
                                      const std::string& aGeneratorName);
  // Writes the counter back, then removes the generator from the list and destroys it; it is
  // gone even when the write-back fails (that error is raised afterwards). aGenerator is set
  // to nullptr.
  static void freeIBGenerator(TIBGenerator*& aGenerator);
  // Disposes of every open generator; write-back errors are dropped (used at program end).
  static void clearIBGenerators();
  static int openGeneratorCount();

  // The next key; nothing is written to the database.
  std::int64_t getNewValue();
  // Raises the counter to the largest key of aField in aTable and writes it back.
  void CheckAndRepair(const std::string& aTable, const std::string& aField);
  void saveValueToDB(std::int64_t aValue);

  std::int64_t getCurrentValue() const { return fCurrentValue; }
  std::int64_t getLastSavedValue() const { return fLastSavedValue; }
  bool getUsedGetNewValue() const { return fUsedGetNewValue; }
  const std::string& getGeneratorName() const { return fGeneratorName; }

private:
  TIBGenerator(TFbDatabase* aIBDatabase, TFbTransaction* aIBTransaction,
               const std::string& aGeneratorName);
  void loadCurrentValue();
  [[noreturn]] void rethrowWithStatement(const std::exception& aError,
                                         const std::string& aStatement) const;

  TFbDatabase* fDatabase;       // not owned
  TFbTransaction* fTransaction; // not owned
  std::unique_ptr<TFbStatement> fIBSQL;
  std::string fSaveToDB_sql;
  std::unique_ptr<TFbStatement> fSaveToDB_IBSQL;
  std::string fGetNewValueFromDB_sql;
  std::unique_ptr<TFbStatement> fGetNewValueFromDB_IBSQL;
  // The counter is 64 bits wide, so keys beyond 2^32 (a generator set by hand, a large table)
  // are continued instead of wrapping round onto keys in use.
  std::int64_t fCurrentValue = 0;
  std::string fGeneratorName;
  bool fUsedGetNewValue = false;
  std::int64_t fLastSavedValue = 0;
  // There is no count of unsaved values: the counter is written back only by CheckAndRepair
  // and on disposal.
};
