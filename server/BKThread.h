#pragma once

#include "platform/Locks.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// A short-lived background thread that runs one piece of work once. The controller keeps it
// so that shutdown can wait for work still under way instead of destroying what it uses.
// Lock: fCSFinished, a leaf.
class TBKThread {
public:
  explicit TBKThread(std::function<void()> aWork) : fWork(std::move(aWork)) {}
  ~TBKThread() { waitFor(); }
  TBKThread(const TBKThread&) = delete;
  TBKThread& operator=(const TBKThread&) = delete;

  // Throws std::system_error when the thread cannot be created.
  void start() {
    fThread = std::thread([this] {
      if (fWork) {
        fWork();
      }
      {
        TScopedLock lock(fCSFinished);
        fFinished = true;
      }
      fFinishedChanged.notifyAll();
    });
  }
  bool finished() const { return fFinished; }
  // Waits until the work is done or aDeadline has passed; true when it is done.
  bool waitFinished(std::chrono::steady_clock::time_point aDeadline) EXCLUDES(fCSFinished) {
    TUniqueLock lock(fCSFinished);
    while (!fFinished) {
      if (!fFinishedChanged.waitUntil(lock, aDeadline)) {
        break;
      }
    }
    return fFinished;
  }
  void waitFor() {
    if (fThread.joinable()) {
      fThread.join();
    }
  }

private:
  std::function<void()> fWork;
  TCriticalSection fCSFinished;
  TConditionVariable fFinishedChanged;
  std::atomic<bool> fFinished{false}; // written under fCSFinished, read anywhere
  std::thread fThread;
};
