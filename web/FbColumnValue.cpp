#include "web/FbColumnValue.h"

#include "common/LanguageTools.h"
#include "common/TextEncoding.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// System-table type codes of the column types.
constexpr int kSmallInt = 7;
constexpr int kInteger = 8;
constexpr int kFloat = 10;
constexpr int kDate = 12;
constexpr int kChar = 14;
constexpr int kBigInt = 16;
constexpr int kBoolean = 23;
constexpr int kDouble = 27;
constexpr int kTimestamp = 35;
constexpr int kVarchar = 37;

// How much of a typed value a message repeats.
constexpr std::size_t kQuotedCharacters = 40;

const TFormatSettings& germanFormat() {
  static const TFormatSettings settings = [] {
    TFormatSettings result;
    initGermanFormatSettings(result);
    return result;
  }();
  return settings;
}

std::string trimmed(const std::string& aText) {
  const std::size_t first = aText.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return {};
  }
  const std::size_t last = aText.find_last_not_of(" \t");
  return aText.substr(first, last - first + 1);
}

std::string quotedValue(const std::string& aText) {
  std::u32string characters = utf8ToCodePoints(aText);
  if (characters.size() <= kQuotedCharacters) {
    return "\"" + aText + "\"";
  }
  characters.resize(kQuotedCharacters);
  return "\"" + codePointsToUtf8(characters) + "\u2026\"";
}

bool refuse(const std::string& aLabel, const std::string& aText, const std::string& aExpected,
            std::string& aError) {
  aError = "Der Wert " + quotedValue(aText) + " passt nicht in die Spalte \"" + aLabel +
           "\": erwartet wird " + aExpected + ".";
  return false;
}

bool parseInteger(const std::string& aText, std::int64_t& aValue) {
  const char* begin = aText.data();
  const char* end = begin + aText.size();
  if (begin != end && *begin == '+') {
    ++begin;
    if (begin != end && *begin == '-') {
      return false;
    }
  }
  const auto [stop, ec] = std::from_chars(begin, end, aValue);
  return begin != end && ec == std::errc() && stop == end;
}

bool parseFloat(std::string aText, double& aValue) {
  for (char& c : aText) {
    if (c == ',') {
      c = '.';
    }
  }
  const char* begin = aText.data();
  const char* end = begin + aText.size();
  if (begin != end && *begin == '+') {
    ++begin;
  }
  const auto [stop, ec] = std::from_chars(begin, end, aValue, std::chars_format::fixed);
  return begin != end && ec == std::errc() && stop == end && std::isfinite(aValue);
}

std::string formatFloat(double aValue) {
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, aValue, std::chars_format::fixed);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::to_string(aValue);
  for (char& c : text) {
    if (c == '.') {
      c = ',';
    }
  }
  return text;
}

} // namespace

TFbColumnInfo describeFbColumn(std::string aName, int aFieldType, int aScale, int aCharLength,
                               bool aNotNull) {
  TFbColumnInfo column;
  column.Name = std::move(aName);
  column.NotNull = aNotNull;
  const bool exact = aScale == 0;
  switch (aFieldType) {
  case kSmallInt:
  case kInteger:
  case kBigInt:
    if (!exact) {
      column.Kind = EFbColumnKind::ckFloat;
      break;
    }
    column.Kind = EFbColumnKind::ckInteger;
    if (aFieldType == kSmallInt) {
      column.MinValue = std::numeric_limits<std::int16_t>::min();
      column.MaxValue = std::numeric_limits<std::int16_t>::max();
    } else if (aFieldType == kInteger) {
      column.MinValue = std::numeric_limits<std::int32_t>::min();
      column.MaxValue = std::numeric_limits<std::int32_t>::max();
    } else {
      column.MinValue = std::numeric_limits<std::int64_t>::min();
      column.MaxValue = std::numeric_limits<std::int64_t>::max();
    }
    break;
  case kFloat:
  case kDouble:
    column.Kind = EFbColumnKind::ckFloat;
    break;
  case kChar:
  case kVarchar:
    column.Kind = EFbColumnKind::ckText;
    column.CharLength = aCharLength > 0 ? aCharLength : 0;
    break;
  case kTimestamp:
    column.Kind = EFbColumnKind::ckTimestamp;
    break;
  case kDate:
    column.Kind = EFbColumnKind::ckDate;
    break;
  case kBoolean:
    column.Kind = EFbColumnKind::ckBoolean;
    break;
  default:
    column.Kind = EFbColumnKind::ckOther; // blobs and the like: passed on as text
    break;
  }
  return column;
}

std::string formatColumnValue(const TFbColumnInfo& aColumn, const TSQLValue& aValue) {
  if (aValue.isNull()) {
    return {};
  }
  switch (aColumn.Kind) {
  case EFbColumnKind::ckInteger:
    return std::to_string(aValue.asInt64());
  case EFbColumnKind::ckFloat:
    return aValue.kind() == TSQLValue::svkText ? aValue.asString() : formatFloat(aValue.asDouble());
  case EFbColumnKind::ckTimestamp:
    return formatDateTime("dd.MM.yyyy hh:mm:ss", aValue.asDateTime(), germanFormat());
  case EFbColumnKind::ckDate:
    return formatDateTime("dd.MM.yyyy", aValue.asDateTime(), germanFormat());
  case EFbColumnKind::ckBoolean:
    return aValue.asBoolean() ? "true" : "false";
  case EFbColumnKind::ckText:
  case EFbColumnKind::ckOther:
    break;
  }
  return aValue.asString();
}

bool parseColumnText(const TFbColumnInfo& aColumn, const std::string& aLabel,
                     const std::string& aText, TSQLValue& aValue, std::string& aError) {
  const bool isText =
      aColumn.Kind == EFbColumnKind::ckText || aColumn.Kind == EFbColumnKind::ckOther;
  const std::string text = isText ? aText : trimmed(aText);
  if (text.empty()) {
    if (aColumn.NotNull) {
      aError = "Die Spalte \"" + aLabel + "\" darf nicht leer sein.";
      return false;
    }
    aValue = TSQLValue::null();
    return true;
  }
  switch (aColumn.Kind) {
  case EFbColumnKind::ckInteger: {
    std::int64_t value = 0;
    const bool isNumber = parseInteger(text, value);
    if (!isNumber && text.find_first_not_of("+-0123456789") != std::string::npos) {
      return refuse(aLabel, aText, "eine ganze Zahl", aError);
    }
    if (!isNumber || value < aColumn.MinValue || value > aColumn.MaxValue) {
      return refuse(aLabel, aText,
                    "eine ganze Zahl von " + std::to_string(aColumn.MinValue) + " bis " +
                        std::to_string(aColumn.MaxValue),
                    aError);
    }
    aValue = value;
    return true;
  }
  case EFbColumnKind::ckFloat: {
    double value = 0;
    if (!parseFloat(text, value)) {
      return refuse(aLabel, aText, "eine Zahl wie 12,5", aError);
    }
    aValue = value;
    return true;
  }
  case EFbColumnKind::ckTimestamp: {
    TDateTime value;
    if (!tryStrToDateTime(text, value, germanFormat())) {
      return refuse(aLabel, aText, "ein Datum mit Uhrzeit wie 24.12.2026 18:30:00", aError);
    }
    aValue = value;
    return true;
  }
  case EFbColumnKind::ckDate: {
    TDateTime value;
    if (!tryStrToDate(text, value, germanFormat())) {
      return refuse(aLabel, aText, "ein Datum wie 24.12.2026", aError);
    }
    aValue = value;
    return true;
  }
  case EFbColumnKind::ckBoolean: {
    const std::string lower = lowerAscii(text);
    if (lower == "true" || lower == "1") {
      aValue = true;
    } else if (lower == "false" || lower == "0") {
      aValue = false;
    } else {
      return refuse(aLabel, aText, "true oder false", aError);
    }
    return true;
  }
  case EFbColumnKind::ckText:
  case EFbColumnKind::ckOther:
    break;
  }
  const std::size_t characters = utf8ToCodePoints(text).size();
  if (aColumn.CharLength > 0 && characters > static_cast<std::size_t>(aColumn.CharLength)) {
    aError = "Der Text für die Spalte \"" + aLabel + "\" ist " + std::to_string(characters) +
             " Zeichen lang; die Spalte fasst höchstens " + std::to_string(aColumn.CharLength) +
             " Zeichen.";
    return false;
  }
  aValue = text;
  return true;
}
