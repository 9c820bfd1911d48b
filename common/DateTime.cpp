#include "common/DateTime.h"

#include <cmath>

namespace {

constexpr std::int64_t kMillisPerDay = 86'400'000;
// Days from 1899-12-30 to 1970-01-01.
constexpr std::int64_t kUnixEpochDay = 25'569;

// Days since 1970-01-01 of a civil date (proleptic Gregorian), after H. Hinnant.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) {
    --q;
  }
  return q;
}

} // namespace

bool isLeapYear(int aYear) {
  return (aYear % 4 == 0 && aYear % 100 != 0) || aYear % 400 == 0;
}

int daysInMonth(int aYear, int aMonth) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (aMonth < 1 || aMonth > 12) {
    return 0;
  }
  return aMonth == 2 && isLeapYear(aYear) ? 29 : kDays[aMonth - 1];
}

bool TDateTime::tryEncode(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                          int aMillisecond, TDateTime& aResult) {
  if (aYear < 1 || aYear > 9999 || aMonth < 1 || aMonth > 12 || aDay < 1 ||
      aDay > daysInMonth(aYear, aMonth) || aHour < 0 || aHour > 23 || aMinute < 0 || aMinute > 59 ||
      aSecond < 0 || aSecond > 59 || aMillisecond < 0 || aMillisecond > 999) {
    return false;
  }
  const std::int64_t day =
      daysFromCivil(aYear, static_cast<unsigned>(aMonth), static_cast<unsigned>(aDay)) +
      kUnixEpochDay;
  const std::int64_t millis =
      ((static_cast<std::int64_t>(aHour) * 60 + aMinute) * 60 + aSecond) * 1000 + aMillisecond;
  aResult = fromMilliseconds(day * kMillisPerDay + millis);
  return true;
}

TDateTime TDateTime::encodeDate(int aYear, int aMonth, int aDay) {
  return encode(aYear, aMonth, aDay, 0, 0, 0, 0);
}

TDateTime TDateTime::encode(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                            int aMillisecond) {
  TDateTime result;
  tryEncode(aYear, aMonth, aDay, aHour, aMinute, aSecond, aMillisecond, result);
  return result;
}

TDateTime TDateTime::fromMilliseconds(std::int64_t aMillis) {
  return TDateTime(static_cast<double>(aMillis) / static_cast<double>(kMillisPerDay));
}

TDateTime TDateTime::fromSystemClock(std::chrono::system_clock::time_point aTime) {
  const auto unixMillis =
      std::chrono::duration_cast<std::chrono::milliseconds>(aTime.time_since_epoch()).count();
  return fromMilliseconds(unixMillis + kUnixEpochDay * kMillisPerDay);
}

std::int64_t TDateTime::totalMilliseconds() const {
  return static_cast<std::int64_t>(std::llround(fDays * static_cast<double>(kMillisPerDay)));
}

std::chrono::system_clock::time_point TDateTime::toSystemClock() const {
  return std::chrono::system_clock::time_point(
      std::chrono::milliseconds(totalMilliseconds() - kUnixEpochDay * kMillisPerDay));
}

std::int64_t TDateTime::dayNumber() const {
  return floorDiv(totalMilliseconds(), kMillisPerDay);
}

TDateTime TDateTime::dateOnly() const {
  return fromMilliseconds(dayNumber() * kMillisPerDay);
}

int TDateTime::millisecondOfDay() const {
  return static_cast<int>(totalMilliseconds() - dayNumber() * kMillisPerDay);
}

TDateTime TDateTime::addMilliseconds(std::int64_t aMillis) const {
  return fromMilliseconds(totalMilliseconds() + aMillis);
}

TDateTimeParts TDateTime::decode() const {
  TDateTimeParts parts;
  const std::int64_t day = dayNumber();
  civilFromDays(day - kUnixEpochDay, parts.Year, parts.Month, parts.Day);
  int ms = millisecondOfDay();
  parts.Millisecond = ms % 1000;
  ms /= 1000;
  parts.Second = ms % 60;
  ms /= 60;
  parts.Minute = ms % 60;
  parts.Hour = ms / 60;
  // 1899-12-30 was a Saturday.
  parts.DayOfWeek = static_cast<int>(((day + 6) % 7 + 7) % 7);
  return parts;
}
