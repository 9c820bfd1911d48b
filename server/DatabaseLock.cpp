#include "server/DatabaseLock.h"

#include "logging/KvLogger.h"

#include <utility>
#include <vector>

namespace {

struct TWaitingLine {
  TKvLoggerLevel Level;
  std::string Module;
  std::string Text;
};

thread_local int tHeld = 0;
thread_local std::vector<TWaitingLine> tWaiting;

} // namespace

TDatabaseLock::TDatabaseLock(TRecursiveCriticalSection& aLock) : fLock(aLock) {
  fLock.lock();
  ++tHeld;
}

TDatabaseLock::~TDatabaseLock() {
  --tHeld;
  fLock.unlock();
  if (tHeld > 0 || tWaiting.empty()) {
    return;
  }
  std::vector<TWaitingLine> lines;
  lines.swap(tWaiting);
  try {
    for (const TWaitingLine& line : lines) {
      Logger().log(line.Level, line.Module, line.Text, KVLCAT_NONE, nullptr);
    }
  } catch (...) {
    // Logging never fails an operation of the database.
  }
}

void logDatabase(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aText) {
  if (tHeld > 0) {
    tWaiting.push_back({aLevel, aModule, aText});
    return;
  }
  Logger().log(aLevel, aModule, aText, KVLCAT_NONE, nullptr);
}
