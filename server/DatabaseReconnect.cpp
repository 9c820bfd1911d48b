#include "server/DatabaseReconnect.h"

#include <algorithm>

std::chrono::milliseconds TReconnectBackoff::next() {
  const std::chrono::milliseconds pause = std::min(fNext, fLongest);
  fNext = std::min(fNext * 2, fLongest);
  return pause;
}

void TDatabaseReconnector::setTimings(const TReconnectTimings& aTimings) {
  TScopedLock lock(fCSThread);
  fTimings = aTimings;
}

void TDatabaseReconnector::request() {
  // Never waits: the caller may hold the database lock, which a stop() under way may be
  // waiting for through the attempt it joins. A request that finds the thread being started
  // or stopped has nothing to add.
  if (fRetrying || !fCSThread.try_lock()) {
    return;
  }
  if (!fRetrying.exchange(true)) {
    // A thread that ended after its success is joined here: it does nothing after clearing
    // fRetrying, so this never waits for an attempt.
    const TReconnectTimings timings = fTimings;
    fThread.start([this, timings](TStoppableThread& aThread) { run(aThread, timings); });
  }
  fCSThread.unlock();
}

void TDatabaseReconnector::stop() {
  TScopedLock lock(fCSThread);
  fThread.stop();
  fRetrying = false;
}

void TDatabaseReconnector::run(TStoppableThread& aThread, TReconnectTimings aTimings) {
  TReconnectBackoff backoff(aTimings.FirstPause, aTimings.LongestPause);
  std::chrono::milliseconds pause = backoff.next();
  for (int attempt = 1; !aThread.waitFor(pause); ++attempt) {
    pause = backoff.next();
    bool connected = false;
    try {
      connected = fAttempt(attempt, pause);
    } catch (...) {
      // A failed attempt is the attempt's to report; the next one follows its pause.
    }
    if (connected) {
      fRetrying = false;
      return;
    }
  }
}
