#include "prereq/KVPrereqSettings.h"

#include "common/TextEncoding.h"
#include "platform/Files.h"
#include "prereq/KVPrereqCommandLine.h"

#include <cerrno>

bool applyPrereqSetting(std::string_view aName, const std::string& aValue,
                        TKVPrereqFirebirdSettings& aSettings) {
  const std::string name = lowerAscii(trimText(aName));
  const std::string value = trimText(aValue);
  if (name == "firebirdurluser") {
    aSettings.URLUser = value;
  } else if (name == "firebirddownloadlink64") {
    aSettings.DownloadLinkDirect64 = value;
  } else if (name == "firebirddownloadlink32") {
    aSettings.DownloadLinkDirect32 = value;
  } else if (name == "firebirdclientlibrary") {
    aSettings.ClientLibrary = value;
  } else if (name == "firebirdserverunits") {
    aSettings.ServerUnits.clear();
    for (const auto& unit : splitCommaText(value)) {
      if (const std::string trimmed = trimText(unit); !trimmed.empty()) {
        aSettings.ServerUnits.push_back(trimmed);
      }
    }
  } else {
    return false;
  }
  return true;
}

void readPrereqSettingsText(std::string_view aText, TKVPrereqFirebirdSettings& aSettings) {
  if (aText.starts_with("\xEF\xBB\xBF")) {
    aText.remove_prefix(3);
  }
  while (!aText.empty()) {
    const auto lineEnd = aText.find('\n');
    const std::string line = trimText(aText.substr(0, lineEnd));
    aText.remove_prefix(lineEnd == std::string_view::npos ? aText.size() : lineEnd + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[') {
      continue;
    }
    const auto equals = line.find('=');
    if (equals != std::string::npos) {
      (void)applyPrereqSetting(std::string_view(line).substr(0, equals), line.substr(equals + 1),
                               aSettings);
    }
  }
}

bool readPrereqSettingsFile(const std::string& aPath, TKVPrereqFirebirdSettings& aSettings) {
  std::string text;
  if (const auto read = platform::readWholeFile(aPath, text); !read) {
    return read.error == ENOENT;
  }
  readPrereqSettingsText(text, aSettings);
  return true;
}

void applyPrereqSettingsArguments(const std::vector<std::string>& aParams,
                                  TKVPrereqFirebirdSettings& aSettings) {
  // Backwards, so that the first entry of a name wins, as when the command line is read.
  for (auto it = aParams.rbegin(); it != aParams.rend(); ++it) {
    const std::string& entry = *it;
    const auto equals = entry.find('=');
    if (equals != std::string::npos) {
      (void)applyPrereqSetting(std::string_view(entry).substr(0, equals), entry.substr(equals + 1),
                               aSettings);
    }
  }
}
