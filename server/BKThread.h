#pragma once

#include <atomic>
#include <functional>
#include <thread>

// A short-lived background thread that runs one piece of work once. The controller keeps it
// so that shutdown can wait for work still under way instead of destroying what it uses.
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
      fFinished = true;
    });
  }
  bool finished() const { return fFinished; }
  void waitFor() {
    if (fThread.joinable()) {
      fThread.join();
    }
  }

private:
  std::function<void()> fWork;
  std::atomic<bool> fFinished{false};
  std::thread fThread;
};
