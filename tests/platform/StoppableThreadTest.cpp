#include "platform/StoppableThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace std::chrono_literals;

TEST(StoppableThreadTest, StopCutsALongPauseShort) {
  TStoppableThread thread;
  std::atomic<int> rounds{0};
  thread.start([&](TStoppableThread& self) {
    while (!self.waitFor(1h)) {
      ++rounds;
    }
  });
  const auto before = std::chrono::steady_clock::now();
  thread.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 30s);
  EXPECT_EQ(rounds.load(), 0);
  EXPECT_FALSE(thread.joinable());
}

TEST(StoppableThreadTest, WakeEndsOnePauseWithoutStopping) {
  TStoppableThread thread;
  TCriticalSection lock;
  TConditionVariable roundDone;
  int rounds = 0;
  thread.start([&](TStoppableThread& self) {
    while (!self.waitFor(1h)) {
      TScopedLock guard(lock);
      ++rounds;
      roundDone.notifyAll();
    }
  });
  thread.wake();
  {
    TUniqueLock guard(lock);
    while (rounds < 1) {
      roundDone.wait(guard);
    }
  }
  EXPECT_FALSE(thread.stopRequested());
  thread.stop();
  EXPECT_TRUE(thread.stopRequested());
}

TEST(StoppableThreadTest, ARestartedThreadRunsAgain) {
  TStoppableThread thread;
  std::atomic<int> runs{0};
  for (int i = 0; i < 3; ++i) {
    thread.start([&](TStoppableThread&) { ++runs; });
    thread.stop();
  }
  EXPECT_EQ(runs.load(), 3);
}
