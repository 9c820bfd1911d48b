#pragma once

#include "platform/Locks.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// A worker thread that its owner stops and joins. The body runs once on the new thread and
// checks stopRequested() between steps; its pauses go through waitFor, which stop() and
// wake() cut short, so stopping never waits out a pause.
//
// Threads: start, stop and join on the owning thread; requestStop, wake, stopRequested and
// waitFor from anywhere (waitFor normally on the worker itself). The destructor stops and
// joins. Lock: fCSWake is a leaf.
class TStoppableThread {
public:
  using TBody = std::function<void(TStoppableThread& aThread)>;

  TStoppableThread() = default;
  ~TStoppableThread();
  TStoppableThread(const TStoppableThread&) = delete;
  TStoppableThread& operator=(const TStoppableThread&) = delete;

  // Starts aBody on a new thread; a thread that ran before is stopped and joined first.
  void start(TBody aBody);
  // Asks the body to end and wakes its pause; returns at once.
  void requestStop();
  // requestStop, then join. Must not be called from the worker itself.
  void stop();
  void join();
  bool joinable() const { return fThread.joinable(); }
  bool isCurrentThread() const { return fThread.get_id() == std::this_thread::get_id(); }

  bool stopRequested() const { return fStopRequested.load(); }
  // Ends the current (or the next) pause early without asking the body to end.
  void wake();
  // Pauses aTimeout, or less when woken or stopped; true when a stop was requested.
  bool waitFor(std::chrono::milliseconds aTimeout);

private:
  std::atomic<bool> fStopRequested{false};
  TCriticalSection fCSWake;
  TConditionVariable fWake;
  bool fWoken GUARDED_BY(fCSWake) = false;
  std::thread fThread;
};
