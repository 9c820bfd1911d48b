#include "common/LanguageTools.h"

#include "common/SystemTools.h"

#include <gtest/gtest.h>

namespace {

TFormatSettings germanWithIsoDate() {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  settings.ShortDateFormat = "yyyy.MM.dd";
  settings.ShortTimeFormat = "hh:mm:ss";
  return settings;
}

TEST(LanguageToolsTest, BuildersFillTheirColumns) {
  TFormatSettings german, sql;
  initGermanFormatSettings(german);
  initSQLFormatSettings(sql);
  EXPECT_EQ(german.DecimalSeparator, ',');
  EXPECT_EQ(german.ThousandSeparator, '.');
  EXPECT_EQ(sql.DecimalSeparator, '.');
  EXPECT_EQ(sql.ThousandSeparator, ' ');
  EXPECT_EQ(german.LongDateFormat, "dddd, d. MMMM yyyy");
  EXPECT_EQ(sql.LongDateFormat, "dddd, MMMM d. yyyy");
  EXPECT_EQ(german.LongMonthNames[2], "M\xC3\xA4rz");
  EXPECT_EQ(sql.ShortDayNames[0], "So");
  EXPECT_EQ(german.TwoDigitYearCenturyWindow, 0);
}

TEST(LanguageToolsTest, ReadsTheMessageFileDateBackExactly) {
  const TFormatSettings settings = germanWithIsoDate();
  TDateTime value;
  ASSERT_TRUE(tryStrToDateTime("2011.03.05 17:04:09", value, settings));
  EXPECT_EQ(value, TDateTime::encode(2011, 3, 5, 17, 4, 9));
  EXPECT_EQ(formatDateTime("yyyy.MM.dd hh:mm:ss", value, settings), "2011.03.05 17:04:09");
}

TEST(LanguageToolsTest, RejectsTextsThatAreNoDate) {
  const TFormatSettings settings = germanWithIsoDate();
  TDateTime value;
  for (const char* text : {"", "2011.13.05", "2011.02.30", "2011.03.05 25:00", "not a date",
                           "2011.03.05 17:04:09x", "2011-03-05"}) {
    EXPECT_FALSE(tryStrToDateTime(text, value, settings)) << text;
  }
}

TEST(LanguageToolsTest, FormatsNamesAndSeparators) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  const TDateTime value = TDateTime::encode(2011, 3, 5, 7, 4, 9, 25);
  EXPECT_EQ(formatDateTime(settings.LongDateFormat, value, settings),
            "Samstag, 5. M\xC3\xA4rz 2011");
  EXPECT_EQ(formatDateTime("dd/MM/yy hh:mm:ss.zzz", value, settings), "05.03.11 07:04:09.025");
}

TEST(DateTimeTest, ConvertsToAndFromTheSystemClock) {
  const TDateTime value = TDateTime::encode(1970, 1, 1, 0, 0, 1, 500);
  EXPECT_EQ(value.toSystemClock().time_since_epoch(), std::chrono::milliseconds(1500));
  EXPECT_EQ(TDateTime::fromSystemClock(value.toSystemClock()), value);
  EXPECT_DOUBLE_EQ(TDateTime::encodeDate(1899, 12, 30).value(), 0.0);
  const TDateTimeParts parts = TDateTime::encode(2024, 2, 29, 23, 59, 59, 999).decode();
  EXPECT_EQ(parts.Day, 29);
  EXPECT_EQ(parts.Millisecond, 999);
  EXPECT_EQ(parts.DayOfWeek, 4); // a Thursday
}

TEST(DateTimeTest, NowUTCFollowsTheSystemClock) {
  const auto before = std::chrono::system_clock::now() - std::chrono::milliseconds(1);
  const TDateTime now = NowUTC();
  EXPECT_GE(now.toSystemClock(), std::chrono::time_point_cast<std::chrono::milliseconds>(before));
}

} // namespace
