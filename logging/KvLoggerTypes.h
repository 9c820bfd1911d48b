#pragma once

#include "common/LanguageTools.h"

#include <cstdint>
#include <string>

// Levels, ordered: a higher value is more severe.
enum TKvLoggerLevel : int {
  KVLL_TRACE = 0,
  KVLL_DEBUG = 1,
  KVLL_INFO = 2,
  KVLL_WARN = 3,
  KVLL_ERROR = 4,
  KVLL_FATAL = 5,
};

enum TKvLoggerCategory : int {
  KVLCAT_NONE = 0,
  KVLCAT_OPTIONS,
  KVLCAT_RUNNING,
  KVLCAT_CALCULATING,
  KVLCAT_FASTRUNNING,
  KVLCAT_STARTUP,
  KVLCAT_SHUTDOWN,
  KVLCAT_REFERENCE,
  KVLCAT_COM,
  KVLCAT_DCOM,
  KVLCAT_PLUGIN,
};

enum TKvLogAppenderFileStrategy : int {
  KVLFS_SINGLEFILE = 0,
  KVLFS_NEWFILES = 1,
  KVLFS_RENAME = 2,
};

// A set of levels, bit n for level n.
class TKvLoggerLevelSet {
public:
  constexpr TKvLoggerLevelSet() = default;
  constexpr explicit TKvLoggerLevelSet(std::uint8_t aBits) : fBits(aBits & 0x3F) {}

  constexpr bool contains(TKvLoggerLevel aLevel) const { return (fBits >> aLevel) & 1u; }
  constexpr void include(TKvLoggerLevel aLevel) {
    fBits |= static_cast<std::uint8_t>(1u << aLevel);
  }
  constexpr void exclude(TKvLoggerLevel aLevel) {
    fBits &= static_cast<std::uint8_t>(~(1u << aLevel));
  }
  constexpr std::uint8_t bits() const { return fBits; }
  constexpr bool empty() const { return fBits == 0; }
  friend constexpr bool operator==(TKvLoggerLevelSet a, TKvLoggerLevelSet b) = default;

private:
  std::uint8_t fBits = 0;
};

// Level and category texts. Unknown level names parse as KVLL_FATAL, unknown categories as
// KVLCAT_NONE; a category outside the table converts to the empty text.
TKvLoggerLevel convertToLevel(const std::string& aString);
std::string convertLevelToString(TKvLoggerLevel aLevel, bool isException);
TKvLoggerCategory convertToCategory(const std::string& aString);
std::string convertCategoryToString(TKvLoggerCategory aCategory);

// The fixed date and number settings shared by the logger, its formatters and appenders:
// dates "yyyy.MM.dd", times "hh:mm:ss.zzz", German names, "," decimals.
void initLoggerFormatSettings(TFormatSettings& aSettings);
