#include "platform/WaitClock.h"

#include <thread>

namespace platform {
namespace {

class TSystemWaitClock final : public IWaitClock {
public:
  TTimePoint now() override { return std::chrono::steady_clock::now(); }
  void sleepFor(std::chrono::milliseconds aDuration) override {
    if (aDuration.count() > 0) {
      std::this_thread::sleep_for(aDuration);
    }
  }
  bool waitUntil(TConditionVariable& aCondition, TUniqueLock& aLock,
                 TTimePoint aDeadline) override {
    if (std::chrono::steady_clock::now() >= aDeadline) {
      return false;
    }
    (void)aCondition.waitUntil(aLock, aDeadline);
    return std::chrono::steady_clock::now() < aDeadline;
  }
};

} // namespace

IWaitClock& systemWaitClock() {
  static TSystemWaitClock clock;
  return clock;
}

} // namespace platform
