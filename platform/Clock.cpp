#include "platform/Clock.h"

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

void setClockSource(TClockSource aSource) {
  std::lock_guard lock(gClockLock);
  gClockSource = std::move(aSource);
}

} // namespace platform
