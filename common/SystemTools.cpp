#include "common/SystemTools.h"

#include "platform/Clock.h"

TDateTime NowUTC() {
  return TDateTime::fromSystemClock(platform::utcNow());
}

TDateTime NowLocal() {
  const auto now = platform::utcNow();
  return TDateTime::fromSystemClock(now +
                                    std::chrono::seconds(platform::localUtcOffsetSeconds(now)));
}
