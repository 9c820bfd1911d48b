#pragma once

#include "common/DateTime.h"

// The current time in UTC, milliseconds included.
TDateTime NowUTC();
