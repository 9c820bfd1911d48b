#include "common/LanguageTools.h"

#include <cctype>
#include <cstdio>

namespace {

const std::array<std::string, 12> kShortMonths = {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun",
                                                  "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
const std::array<std::string, 12> kLongMonths = {"Januar",    "Februar", "M\xC3\xA4rz", "April",
                                                 "Mai",       "Juni",    "Juli",        "August",
                                                 "September", "Oktober", "November",    "Dezember"};
const std::array<std::string, 7> kShortDays = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
const std::array<std::string, 7> kLongDays = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                              "Donnerstag", "Freitag", "Samstag"};

void initCommon(TFormatSettings& s) {
  s.CurrencyFormat = 3;
  s.NegCurrFormat = 8;
  s.CurrencyDecimals = 2;
  s.DateSeparator = '.';
  s.TimeSeparator = ':';
  s.ListSeparator = ';';
  s.CurrencyString = "\xE2\x82\xAC"; // the euro sign
  s.ShortDateFormat = "dd.MM.yyyy";
  s.TimeAMString.clear();
  s.TimePMString.clear();
  s.ShortTimeFormat = "hh:mm";
  s.LongTimeFormat = "hh:mm:ss";
  s.ShortMonthNames = kShortMonths;
  s.LongMonthNames = kLongMonths;
  s.ShortDayNames = kShortDays;
  s.LongDayNames = kLongDays;
  s.TwoDigitYearCenturyWindow = 0;
}

std::string padded(int aValue, int aWidth) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", aWidth, aValue);
  return buffer;
}

std::size_t runLength(const std::string& aText, std::size_t aPos) {
  std::size_t end = aPos;
  while (end < aText.size() && aText[end] == aText[aPos]) {
    ++end;
  }
  return end - aPos;
}

class TDateScanner {
public:
  TDateScanner(const std::string& aText) : fText(aText) {}

  void skipBlanks() {
    while (fPos < fText.size() && fText[fPos] == ' ') {
      ++fPos;
    }
  }
  bool atEnd() const { return fPos >= fText.size(); }
  bool scanChar(char aChar) {
    if (fPos < fText.size() && fText[fPos] == aChar) {
      ++fPos;
      return true;
    }
    return false;
  }
  bool scanNumber(int& aValue, int& aDigits) {
    aValue = 0;
    aDigits = 0;
    while (fPos < fText.size() && std::isdigit(static_cast<unsigned char>(fText[fPos]))) {
      if (aDigits >= 9) {
        return false;
      }
      aValue = aValue * 10 + (fText[fPos] - '0');
      ++aDigits;
      ++fPos;
    }
    return aDigits > 0;
  }
  bool scanNumber(int& aValue) {
    int digits = 0;
    return scanNumber(aValue, digits);
  }

private:
  const std::string& fText;
  std::size_t fPos = 0;
};

enum class EDateOrder { YMD, DMY, MDY };

EDateOrder dateOrderOf(const std::string& aFormat) {
  for (char c : aFormat) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'y':
      return EDateOrder::YMD;
    case 'm':
      return EDateOrder::MDY;
    case 'd':
      return EDateOrder::DMY;
    default:
      break;
    }
  }
  return EDateOrder::DMY;
}

bool scanDate(TDateScanner& aScanner, const TFormatSettings& aSettings, int& aYear, int& aMonth,
              int& aDay) {
  int n[3];
  int yearDigits = 0;
  int digits[3];
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && !aScanner.scanChar(aSettings.DateSeparator)) {
      return false;
    }
    if (!aScanner.scanNumber(n[i], digits[i])) {
      return false;
    }
  }
  switch (dateOrderOf(aSettings.ShortDateFormat)) {
  case EDateOrder::YMD:
    aYear = n[0], aMonth = n[1], aDay = n[2], yearDigits = digits[0];
    break;
  case EDateOrder::MDY:
    aMonth = n[0], aDay = n[1], aYear = n[2], yearDigits = digits[2];
    break;
  case EDateOrder::DMY:
    aDay = n[0], aMonth = n[1], aYear = n[2], yearDigits = digits[2];
    break;
  }
  if (yearDigits <= 2 && aYear < 100) {
    aYear += 2000;
  }
  return true;
}

bool scanTime(TDateScanner& aScanner, const TFormatSettings& aSettings, int& aHour, int& aMinute,
              int& aSecond, int& aMillisecond) {
  if (!aScanner.scanNumber(aHour) || !aScanner.scanChar(aSettings.TimeSeparator) ||
      !aScanner.scanNumber(aMinute)) {
    return false;
  }
  if (aScanner.scanChar(aSettings.TimeSeparator)) {
    if (!aScanner.scanNumber(aSecond)) {
      return false;
    }
    if (aScanner.scanChar(aSettings.DecimalSeparator)) {
      int digits = 0;
      if (!aScanner.scanNumber(aMillisecond, digits) || digits > 3) {
        return false;
      }
      for (; digits < 3; ++digits) {
        aMillisecond *= 10;
      }
    }
  }
  return true;
}

} // namespace

void initGermanFormatSettings(TFormatSettings& aSettings) {
  initCommon(aSettings);
  aSettings.ThousandSeparator = '.';
  aSettings.DecimalSeparator = ',';
  aSettings.LongDateFormat = "dddd, d. MMMM yyyy";
}

void initSQLFormatSettings(TFormatSettings& aSettings) {
  initCommon(aSettings);
  aSettings.ThousandSeparator = ' ';
  aSettings.DecimalSeparator = '.';
  aSettings.LongDateFormat = "dddd, MMMM d. yyyy";
}

std::string formatDateTime(const std::string& aFormat, TDateTime aValue,
                           const TFormatSettings& aSettings) {
  const TDateTimeParts p = aValue.decode();
  std::string out;
  bool afterHour = false;
  std::size_t i = 0;
  while (i < aFormat.size()) {
    const char c = aFormat[i];
    if (c == '"' || c == '\'') {
      const std::size_t end = aFormat.find(c, i + 1);
      const std::size_t stop = end == std::string::npos ? aFormat.size() : end;
      out.append(aFormat, i + 1, stop - i - 1);
      i = stop == aFormat.size() ? stop : stop + 1;
      continue;
    }
    const std::size_t n = runLength(aFormat, i);
    switch (c) {
    case 'y':
      out += n <= 2 ? padded(p.Year % 100, 2) : padded(p.Year, 4);
      break;
    case 'M':
      if (n >= 4) {
        out += aSettings.LongMonthNames[p.Month - 1];
      } else if (n == 3) {
        out += aSettings.ShortMonthNames[p.Month - 1];
      } else {
        out += padded(p.Month, static_cast<int>(n));
      }
      break;
    case 'd':
      if (n >= 4) {
        out += aSettings.LongDayNames[p.DayOfWeek];
      } else if (n == 3) {
        out += aSettings.ShortDayNames[p.DayOfWeek];
      } else {
        out += padded(p.Day, static_cast<int>(n));
      }
      break;
    case 'h':
      out += padded(p.Hour, n >= 2 ? 2 : 1);
      afterHour = true;
      break;
    case 'm':
    case 'n':
      out += c == 'm' && !afterHour ? padded(p.Month, n >= 2 ? 2 : 1)
                                    : padded(p.Minute, n >= 2 ? 2 : 1);
      break;
    case 's':
      out += padded(p.Second, n >= 2 ? 2 : 1);
      break;
    case 'z':
      out += n >= 3 ? padded(p.Millisecond, 3) : std::to_string(p.Millisecond);
      break;
    case '/':
      out.append(n, aSettings.DateSeparator);
      break;
    case ':':
      out.append(n, aSettings.TimeSeparator);
      break;
    default:
      out.append(n, c);
      break;
    }
    i += n;
  }
  return out;
}

bool tryStrToDateTime(const std::string& aText, TDateTime& aResult,
                      const TFormatSettings& aSettings) {
  TDateScanner scanner(aText);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  scanner.skipBlanks();
  if (!scanDate(scanner, aSettings, year, month, day)) {
    return false;
  }
  scanner.skipBlanks();
  if (!scanner.atEnd()) {
    if (!scanTime(scanner, aSettings, hour, minute, second, millisecond)) {
      return false;
    }
    scanner.skipBlanks();
  }
  if (!scanner.atEnd()) {
    return false;
  }
  return TDateTime::tryEncode(year, month, day, hour, minute, second, millisecond, aResult);
}

bool tryStrToDate(const std::string& aText, TDateTime& aResult, const TFormatSettings& aSettings) {
  TDateScanner scanner(aText);
  int year = 0, month = 0, day = 0;
  scanner.skipBlanks();
  if (!scanDate(scanner, aSettings, year, month, day)) {
    return false;
  }
  scanner.skipBlanks();
  return scanner.atEnd() && TDateTime::tryEncode(year, month, day, 0, 0, 0, 0, aResult);
}
