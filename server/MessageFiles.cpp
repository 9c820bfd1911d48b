#include "server/MessageFiles.h"

#include "common/LanguageTools.h"
#include "platform/Files.h"

#include <cerrno>

std::string messageFileBaseName(TDateTime aLocalTime, const std::string& aNumber) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  std::string name = formatDateTime("yyyyMMdd", aLocalTime, settings);
  if (aLocalTime.millisecondOfDay() != 0) {
    name += " " + formatDateTime("hh\"-\"mm\"-\"ss", aLocalTime, settings);
  }
  name += "_";
  for (char c : aNumber) {
    const auto u = static_cast<unsigned char>(c);
    const bool safe = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      c == '+' || c == '-' || c == ' ' || u >= 0x80;
    name += safe ? c : '_';
  }
  return name;
}

bool writeMessageFile(const std::string& aFolder, const std::string& aBaseName,
                      const std::string& aContent, std::string& aPath, std::string& aError) {
  const std::string folder = aFolder.empty() || aFolder.back() == '/' ? aFolder : aFolder + "/";
  aPath = folder + aBaseName + ".kvsms";
  if (auto made = platform::forceDirectories(aFolder); !made) {
    aError = made.message();
    return false;
  }
  for (int attempt = 2;; ++attempt) {
    const platform::TFileResult written = platform::createNewFile(aPath, aContent);
    if (written) {
      return true;
    }
    if (written.error != EEXIST || attempt > 100000) {
      aError = written.message();
      return false;
    }
    aPath = folder + aBaseName + "_" + std::to_string(attempt) + ".kvsms";
  }
}
