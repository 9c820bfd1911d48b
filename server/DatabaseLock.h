#pragma once

#include "logging/KvLoggerTypes.h"
#include "platform/Locks.h"

#include <string>

// The database lock as the core's database side holds it. While a thread holds it through
// TDatabaseLock, the lines it logs through logDatabase wait and are written, in their order,
// once the thread has let the lock go: a logger held up by its disk (or by another thread
// writing to it) then never holds up every request that needs the database.
// Threads: any; the waiting lines belong to the thread (nothing shared, no lock of its own).
// Holding is re-entrant like the lock; the lines go when the outermost hold ends.
class SCOPED_CAPABILITY TDatabaseLock {
public:
  explicit TDatabaseLock(TRecursiveCriticalSection& aLock) ACQUIRE(aLock);
  ~TDatabaseLock() RELEASE();
  TDatabaseLock(const TDatabaseLock&) = delete;
  TDatabaseLock& operator=(const TDatabaseLock&) = delete;

private:
  TRecursiveCriticalSection& fLock;
};

// Logs through the process logger (category "none"), or later when the calling thread holds
// the database lock through TDatabaseLock.
void logDatabase(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aText);
