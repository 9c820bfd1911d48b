#pragma once

#include <chrono>
#include <cstdint>

// The system's one date-time value: days since 1899-12-30 00:00 as a double, the fraction
// being the time of day. Values are kept to the millisecond; every conversion rounds to the
// nearest millisecond so that texts written and read back give the same value.
struct TDateTimeParts {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  int DayOfWeek = 0; // 0 = Sunday
};

class TDateTime {
public:
  constexpr TDateTime() = default;
  constexpr explicit TDateTime(double aDays) : fDays(aDays) {}

  // Returns false (and leaves aResult alone) when a part is out of its range.
  static bool tryEncode(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                        int aMillisecond, TDateTime& aResult);
  static TDateTime encodeDate(int aYear, int aMonth, int aDay);
  static TDateTime encode(int aYear, int aMonth, int aDay, int aHour, int aMinute, int aSecond,
                          int aMillisecond = 0);
  static TDateTime fromMilliseconds(std::int64_t aMillisSinceEpoch1899);
  static TDateTime fromSystemClock(std::chrono::system_clock::time_point aTime);

  constexpr double value() const { return fDays; }
  std::int64_t totalMilliseconds() const; // since 1899-12-30, rounded
  std::chrono::system_clock::time_point toSystemClock() const;
  TDateTimeParts decode() const;
  std::int64_t dayNumber() const; // the date alone, as a whole day count
  TDateTime dateOnly() const;     // midnight of the same day
  int millisecondOfDay() const;   // 0 .. 86'399'999
  TDateTime addMilliseconds(std::int64_t aMillis) const;

  friend bool operator==(const TDateTime& a, const TDateTime& b) {
    return a.totalMilliseconds() == b.totalMilliseconds();
  }
  friend auto operator<=>(const TDateTime& a, const TDateTime& b) {
    return a.totalMilliseconds() <=> b.totalMilliseconds();
  }

private:
  double fDays = 0.0;
};

bool isLeapYear(int aYear);
int daysInMonth(int aYear, int aMonth);
