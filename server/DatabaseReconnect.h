#pragma once

#include "platform/Locks.h"
#include "platform/StoppableThread.h"

#include <atomic>
#include <chrono>
#include <functional>

// The pauses between attempts to reach a database that went away: the first one short, each
// further one twice as long, up to a longest pause that is then kept.
//   TReconnectBackoff b(1s, 30s): next() gives 1 s, 2 s, 4 s, 8 s, 16 s, 30 s, 30 s, ...
// Plain value; one thread at a time.
class TReconnectBackoff {
public:
  TReconnectBackoff(std::chrono::milliseconds aFirst, std::chrono::milliseconds aLongest)
      : fFirst(aFirst), fLongest(aLongest), fNext(aFirst) {}
  std::chrono::milliseconds next();
  void reset() { fNext = fFirst; }

private:
  std::chrono::milliseconds fFirst;
  std::chrono::milliseconds fLongest;
  std::chrono::milliseconds fNext;
};

struct TReconnectTimings {
  std::chrono::milliseconds FirstPause{1000};
  std::chrono::milliseconds LongestPause{30000};
};

// Tries to connect again in the background until it succeeds: request() starts the attempts
// (a request while they run changes nothing), each after the next pause of the back-off, and
// they end with the first attempt that succeeds or with stop().
// Threads: request from any thread, also while holding the database lock (it never waits);
// stop from the owner, never while holding what the attempt needs (the attempt takes the
// database lock). The attempt runs on the reconnector's own thread. Lock: fCSThread, held
// while starting or stopping the thread only.
class TDatabaseReconnector {
public:
  // One attempt to connect (counted from 1, with the pause that follows should it fail); true
  // when the database is connected afterwards.
  using TAttempt = std::function<bool(int aAttempt, std::chrono::milliseconds aNextPause)>;

  explicit TDatabaseReconnector(TAttempt aAttempt) : fAttempt(std::move(aAttempt)) {}
  ~TDatabaseReconnector() { stop(); }
  TDatabaseReconnector(const TDatabaseReconnector&) = delete;
  TDatabaseReconnector& operator=(const TDatabaseReconnector&) = delete;

  void setTimings(const TReconnectTimings& aTimings) EXCLUDES(fCSThread);
  void request() EXCLUDES(fCSThread);
  // Ends the attempts (an attempt under way is finished first) and joins the thread; a later
  // request starts them again.
  void stop() EXCLUDES(fCSThread);
  bool isRetrying() const { return fRetrying; }

private:
  void run(TStoppableThread& aThread, TReconnectTimings aTimings);

  TAttempt fAttempt;
  std::atomic<bool> fRetrying{false};
  TCriticalSection fCSThread;
  TReconnectTimings fTimings GUARDED_BY(fCSThread);
  TStoppableThread fThread GUARDED_BY(fCSThread);
};
