#pragma once

#include <chrono>
#include <functional>

// The UTC wall clock with milliseconds. Tests that must cross a day boundary or avoid
// sleeping install a manual source; production code always reads std::chrono::system_clock.
namespace platform {

using TClockSource = std::function<std::chrono::system_clock::time_point()>;

std::chrono::system_clock::time_point utcNow();

// The offset of local time from UTC at aTime, in seconds (east positive).
long localUtcOffsetSeconds(std::chrono::system_clock::time_point aTime);

// Installs aSource for the whole process (an empty function restores the system clock).
void setClockSource(TClockSource aSource);

} // namespace platform
