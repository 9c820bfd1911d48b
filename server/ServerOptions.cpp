#include "server/ServerOptions.h"

#include "common/RegistryFile.h"
#include "common/TextTools.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Raised inside the reader for a value of the wrong registry type; it ends the reading.
class EWrongRegistryType : public std::runtime_error {
public:
  explicit EWrongRegistryType(const std::string& aName)
      : std::runtime_error("invalid data type for '" + aName + "'") {}
};

// A number of the options: blanks around it and one leading "+" are allowed.
bool tryParseOptionNumber(const std::string& aText, int& aValue) {
  const std::size_t first = aText.find_first_not_of(' ');
  if (first == std::string::npos) {
    return false;
  }
  std::string_view text(aText.data() + first, aText.find_last_not_of(' ') + 1 - first);
  if (text.front() == '+') {
    text.remove_prefix(1);
  }
  return tryParseInteger(text, aValue);
}

class TOptionsReader {
public:
  TOptionsReader(const registry::TRegistryFile& aFile, std::string aKey)
      : fFile(aFile), fKey(std::move(aKey)) {}

  std::string text(const char* aName, const std::string& aDefault) const {
    const registry::TRegValue* value = fFile.findValue(fKey, aName);
    if (value == nullptr) {
      return aDefault;
    }
    if (value->kind != registry::ERegValueKind::Text) {
      throw EWrongRegistryType(aName);
    }
    return value->text;
  }

  int number(const char* aName, int aDefault) const {
    int result = aDefault;
    return tryParseOptionNumber(text(aName, std::to_string(aDefault)), result) ? result : aDefault;
  }

private:
  const registry::TRegistryFile& fFile;
  std::string fKey;
};

void readValues(const TOptionsReader& r, TServerOptions& o) {
  o.DatabaseName = r.text("Database", "");
  o.DatabaseHost = r.text("DatabaseHost", "localhost");
  o.DatabasePort = r.number("DatabasePort", 3050);
  o.DatabaseUsername = r.text("DatabaseUser", "sysdba");
  o.DatabasePassword = r.text("DatabasePassword", "pondlight");
  o.DatabaseRole = r.text("DatabaseRole", "");
  o.DatabaseEncoding = r.text("DatabaseEncoding", "UTF8");
  o.HTTPPort = r.number("HTTPPort", 8989);
  o.LogPath = r.text("LogPath", "./log/");
  o.LogLevel = convertToLevel(r.text("LogLevel", "info"));
  o.LogToServer = r.number("LogToServer", 0) != 0;
  o.LogServerHost = r.text("LogServerHost", "");
  o.LogServerPort = r.number("LogServerPort", 0);
  o.LogServerUser = r.text("LogServerUser", "");
  o.LogServerPasswd = r.text("LogServerPasswd", "");
  try {
    o.LogServerLevel = convertToLevel(r.text("LogServerLevel", "error"));
  } catch (const std::exception&) {
    o.LogServerLevel = KVLL_ERROR; // guarded on its own: reading goes on
  }
  o.LogServerMachineIdent = r.text("LogServerMachineIdent", "");
  o.WebAppStartCmd = r.text("WebAppStartCmd", "");
  o.WebAppExecCmd = r.text("WebAppExecCmd", "EXEC");
  o.WebAppURLBase = r.text("WebAppURLBase", "");
  o.SerialDeviceDir = r.text("SerialDeviceDir", "/dev/parlino");
  const int interval = r.number("SMSCheckIntervall", 60000);
  o.SMSCheckIntervall = interval >= 100 ? interval : 60000;
  const int parts = r.number("MaxSMSParts", 6);
  o.MaxSMSParts = parts < 1 ? 6 : std::min(parts, IC_MAXSMSPARTSOPTION);
  const int timeout = r.number("ConcatTimeoutMinutes", 60);
  o.ConcatTimeoutMinutes = timeout >= 1 ? timeout : 60;
}

} // namespace

void readServerOptions(const std::string& aPath, TServerOptions& aOptions) {
  registry::TRegistryFile file(aPath);
  const std::string optionsKey = std::string(SC_OPTIONSKEY) + "\\" + SC_OPTIONSSUBKEY;
  if (file.open(optionsKey, true) == registry::ERegOpenResult::Unreadable) {
    return;
  }
  try {
    readValues(TOptionsReader(file, optionsKey), aOptions);
  } catch (const std::exception&) {
    // A wrong-type value ends the reading; the values not yet read keep what they had.
  }
}
