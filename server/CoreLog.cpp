#include "server/CoreLog.h"

#include "common/LanguageTools.h"

std::string coreDateTimeText(TDateTime aValue) {
  static const TFormatSettings settings = [] {
    TFormatSettings german;
    initGermanFormatSettings(german);
    return german;
  }();
  return formatDateTime("dd.MM.yyyy hh:mm:ss", aValue, settings);
}
