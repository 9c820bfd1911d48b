#pragma once

#include "common/DateTime.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// One value bound to a statement parameter or read from a result column: SQL NULL, a 32- or
// 64-bit integer, a boolean, a floating-point number, a text (UTF-8, or the bytes of the
// connection's character set) or a timestamp. NULL is only ever an explicit null value; a
// text, whatever it says, is a text.
class TSQLValue {
public:
  enum EKind { svkNull, svkInteger, svkInt64, svkBoolean, svkDouble, svkText, svkTimestamp };

  TSQLValue() = default; // NULL
  TSQLValue(std::nullptr_t) {}
  TSQLValue(std::int32_t aValue) : fData(aValue) {}
  TSQLValue(std::int64_t aValue) : fData(aValue) {}
  TSQLValue(bool aValue) : fData(aValue) {}
  TSQLValue(double aValue) : fData(aValue) {}
  TSQLValue(char aValue) : fData(std::string(1, aValue)) {}
  TSQLValue(const char* aValue) : fData(std::string(aValue)) {}
  TSQLValue(std::string aValue) : fData(std::move(aValue)) {}
  TSQLValue(TDateTime aValue) : fData(aValue) {}
  static TSQLValue null() { return {}; }

  EKind kind() const { return static_cast<EKind>(fData.index()); }
  bool isNull() const { return kind() == svkNull; }

  // Conversions for reading. NULL reads as 0, false, "" or the zero time; a text that is no
  // number reads as 0 (asInt64) and a timestamp as its day count (asDouble).
  std::int64_t asInt64() const;
  std::int32_t asInteger() const { return static_cast<std::int32_t>(asInt64()); }
  double asDouble() const;
  bool asBoolean() const;
  std::string asString() const;
  TDateTime asDateTime() const;

  // The stored value of the kind; the caller checks kind() first.
  template <typename T>
  const T& get() const {
    return std::get<T>(fData);
  }

  friend bool operator==(const TSQLValue& a, const TSQLValue& b) = default;

private:
  std::variant<std::monostate, std::int32_t, std::int64_t, bool, double, std::string, TDateTime>
      fData;
};

// An argument list for a statement, bound by position.
using TSQLParams = std::vector<TSQLValue>;
