#include "platform/Clock.h"

#include <ctime>
#include <mutex>

namespace platform {
namespace {
std::mutex gClockLock; // leaf lock: held only to copy or replace the source
TClockSource gClockSource;
} // namespace

std::chrono::system_clock::time_point utcNow() {
  TClockSource source;
  {
    std::lock_guard lock(gClockLock);
    source = gClockSource;
  }
  return source ? source() : std::chrono::system_clock::now();
}

long localUtcOffsetSeconds(std::chrono::system_clock::time_point aTime) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(aTime);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    return 0;
  }
  return local.tm_gmtoff;
}

void setClockSource(TClockSource aSource) {
  std::lock_guard lock(gClockLock);
  gClockSource = std::move(aSource);
}

} // namespace platform
