#include "logging/KvLoggerTypes.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

std::string lowerCase(std::string aText) {
  std::transform(aText.begin(), aText.end(), aText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return aText;
}

const std::array<const char*, 11> kCategoryTexts = {
    "none",     "options",   "running", "calculating", "fastrunning", "startup",
    "shutdown", "reference", "com",     "dcom",        "plugin"};

} // namespace

TKvLoggerLevel convertToLevel(const std::string& aString) {
  const std::string text = lowerCase(aString);
  if (text == "trace" || text == "finest") {
    return KVLL_TRACE;
  }
  if (text == "debug") {
    return KVLL_DEBUG;
  }
  if (text == "info") {
    return KVLL_INFO;
  }
  if (text == "warn" || text == "warning") {
    return KVLL_WARN;
  }
  if (text == "error" || text == "exception") {
    return KVLL_ERROR;
  }
  return KVLL_FATAL;
}

std::string convertLevelToString(TKvLoggerLevel aLevel, bool isException) {
  switch (aLevel) {
  case KVLL_TRACE:
    return "trace";
  case KVLL_DEBUG:
    return "debug";
  case KVLL_INFO:
    return "info";
  case KVLL_WARN:
    return "warn";
  case KVLL_ERROR:
    return isException ? "exception" : "error";
  case KVLL_FATAL:
    return "fatal";
  }
  return "fatal";
}

TKvLoggerCategory convertToCategory(const std::string& aString) {
  const std::string text = lowerCase(aString);
  for (std::size_t i = 1; i < kCategoryTexts.size(); ++i) {
    if (text == kCategoryTexts[i]) {
      return static_cast<TKvLoggerCategory>(i);
    }
  }
  return KVLCAT_NONE;
}

std::string convertCategoryToString(TKvLoggerCategory aCategory) {
  const auto index = static_cast<std::size_t>(aCategory);
  return index < kCategoryTexts.size() ? kCategoryTexts[index] : std::string();
}

void initLoggerFormatSettings(TFormatSettings& aSettings) {
  initGermanFormatSettings(aSettings);
  aSettings.ShortDateFormat = "yyyy.MM.dd";
  aSettings.LongTimeFormat = "hh:mm:ss.zzz";
  aSettings.ShortTimeFormat = "hh:mm";
}
