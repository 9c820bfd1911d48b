#include "server/SQLValue.h"

#include "common/LanguageTools.h"
#include "common/TextTools.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::int64_t TSQLValue::asInt64() const {
  switch (kind()) {
  case svkInteger:
    return get<std::int32_t>();
  case svkInt64:
    return get<std::int64_t>();
  case svkBoolean:
    return get<bool>() ? 1 : 0;
  case svkDouble:
    return static_cast<std::int64_t>(std::llround(get<double>()));
  case svkText: {
    const std::string& text = get<std::string>();
    std::int64_t value = 0;
    return tryParseInteger(text, value) ? value : 0;
  }
  case svkTimestamp:
    return static_cast<std::int64_t>(get<TDateTime>().value());
  case svkNull:
    break;
  }
  return 0;
}

double TSQLValue::asDouble() const {
  switch (kind()) {
  case svkDouble:
    return get<double>();
  case svkTimestamp:
    return get<TDateTime>().value();
  case svkText: {
    const std::string& text = get<std::string>();
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return (ec == std::errc() && end == text.data() + text.size()) ? value : 0.0;
  }
  default:
    return static_cast<double>(asInt64());
  }
}

bool TSQLValue::asBoolean() const {
  return kind() == svkBoolean ? get<bool>() : asInt64() != 0;
}

std::string TSQLValue::asString() const {
  switch (kind()) {
  case svkNull:
    return {};
  case svkInteger:
    return std::to_string(get<std::int32_t>());
  case svkInt64:
    return std::to_string(get<std::int64_t>());
  case svkBoolean:
    return get<bool>() ? "true" : "false";
  case svkDouble: {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), get<double>());
    return ec == std::errc() ? std::string(buffer, end) : std::string();
  }
  case svkText:
    return get<std::string>();
  case svkTimestamp: {
    TFormatSettings settings;
    initSQLFormatSettings(settings);
    return formatDateTime("yyyy-MM-dd hh:mm:ss.zzz", get<TDateTime>(), settings);
  }
  }
  return {};
}

TDateTime TSQLValue::asDateTime() const {
  switch (kind()) {
  case svkTimestamp:
    return get<TDateTime>();
  case svkDouble:
    return TDateTime(get<double>());
  case svkText: {
    TFormatSettings settings;
    initSQLFormatSettings(settings);
    TDateTime result;
    return tryStrToDateTime(get<std::string>(), result, settings) ? result : TDateTime();
  }
  default:
    return TDateTime(static_cast<double>(asInt64()));
  }
}
