#include "common/SystemTools.h"

#include "platform/Clock.h"

TDateTime NowUTC() {
  return TDateTime::fromSystemClock(platform::utcNow());
}
