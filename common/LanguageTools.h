#pragma once

#include "common/DateTime.h"

#include <array>
#include <string>

// A fixed date and number format record. Texts the system writes and reads back (SMS files,
// log lines, documents) use such a record, never the machine's regional settings.
struct TFormatSettings {
  int CurrencyFormat = 0;
  int NegCurrFormat = 0;
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  int CurrencyDecimals = 2;
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string CurrencyString;
  std::string ShortDateFormat = "MM/dd/yyyy";
  std::string LongDateFormat = "dddd, MMMM d, yyyy";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortTimeFormat = "hh:mm";
  std::string LongTimeFormat = "hh:mm:ss";
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  std::array<std::string, 7> ShortDayNames; // Sunday first
  std::array<std::string, 7> LongDayNames;  // Sunday first
  int TwoDigitYearCenturyWindow = 50;
};

void initGermanFormatSettings(TFormatSettings& aSettings);
void initSQLFormatSettings(TFormatSettings& aSettings);

// Writes aValue by the pattern letters yyyy, yy, MMMM, MMM, MM, M, dddd, ddd, dd, d, hh, h,
// mm/nn (minutes), ss, s, zzz, z; "/" and ":" stand for the record's separators; text in
// double or single quotes is copied as it is.
std::string formatDateTime(const std::string& aFormat, TDateTime aValue,
                           const TFormatSettings& aSettings);

// Reads a date in the field order of ShortDateFormat, separated by DateSeparator, and an
// optional time "h:m[:s[<DecimalSeparator>zzz]]" after blanks. Returns false for anything
// else, leaving aResult alone.
bool tryStrToDateTime(const std::string& aText, TDateTime& aResult,
                      const TFormatSettings& aSettings);
bool tryStrToDate(const std::string& aText, TDateTime& aResult, const TFormatSettings& aSettings);
