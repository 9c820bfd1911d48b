#pragma once

#include "common/DateTime.h"

// The current time in UTC, milliseconds included.
TDateTime NowUTC();

// The current local time (the time zone of the process), milliseconds included.
TDateTime NowLocal();
