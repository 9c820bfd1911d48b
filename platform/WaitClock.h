#pragma once

#include "platform/Locks.h"

#include <chrono>

// Monotonic time as a driver that waits for a device sees it: the time now, fixed pauses and
// waits on a condition with a deadline. The system clock sleeps and waits for real; a test
// clock may let time jump where nothing else can happen, so that a three-second pause or a
// ten-second answer time-out costs a test nothing.
namespace platform {

class IWaitClock {
public:
  using TTimePoint = std::chrono::steady_clock::time_point;

  virtual ~IWaitClock() = default;
  virtual TTimePoint now() = 0;
  virtual void sleepFor(std::chrono::milliseconds aDuration) = 0;
  // One wait on aCondition (aLock held) until it is notified or aDeadline on this clock has
  // passed; false once the deadline has passed. Waits may end early: callers loop over their
  // condition.
  virtual bool waitUntil(TConditionVariable& aCondition, TUniqueLock& aLock,
                         TTimePoint aDeadline) = 0;
};

// std::chrono::steady_clock, std::this_thread::sleep_for and a plain condition wait.
IWaitClock& systemWaitClock();

} // namespace platform
