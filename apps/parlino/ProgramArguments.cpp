#include "ProgramArguments.h"

#include "common/TextTools.h"

namespace {
bool tryParseDelay(const std::string& aText, std::chrono::milliseconds& aDelay,
                   long long aMinimum = 0) {
  long long value = 0;
  if (!tryParseInteger(aText, value) || value < aMinimum || value > 3'600'000) {
    return false;
  }
  aDelay = std::chrono::milliseconds(value);
  return true;
}
} // namespace

TProgramArguments parseProgramArguments(const std::vector<std::string>& aArguments) {
  TProgramArguments result;
  for (std::size_t i = 0; i < aArguments.size(); ++i) {
    const std::string& argument = aArguments[i];
    const bool hasValue = i + 1 < aArguments.size();
    if (argument == "--help" || argument == "-h") {
      result.ShowHelp = true;
    } else if (argument == "--home" || argument == "--options" ||
               argument == "--startup-delay-ms" || argument == "--data-dir" ||
               argument == "--session-timeout-ms") {
      if (!hasValue) {
        result.Error = argument + " needs a value";
        return result;
      }
      const std::string& value = aArguments[++i];
      if (argument == "--home") {
        result.Home = value;
      } else if (argument == "--options") {
        result.OptionsFile = value;
      } else if (argument == "--data-dir") {
        result.DataDir = value;
      } else if (argument == "--session-timeout-ms") {
        if (!tryParseDelay(value, result.SessionTimeout, 1000)) {
          result.Error =
              "--session-timeout-ms takes milliseconds from 1000 to 3600000, not \"" + value + "\"";
          return result;
        }
      } else if (!tryParseDelay(value, result.StartupDelay)) {
        result.Error =
            "--startup-delay-ms takes milliseconds from 0 to 3600000, not \"" + value + "\"";
        return result;
      }
    } else {
      result.Error = "unknown argument \"" + argument + "\"";
      return result;
    }
  }
  return result;
}

std::string programUsage() {
  return "usage: parlino [--home DIR] [--options FILE] [--startup-delay-ms N] [--data-dir DIR]\n"
         "               [--session-timeout-ms N]\n"
         "  --home DIR            folder of Parlino.kvcfg, the initial log files and the\n"
         "                        received/sent message files (default: the program's folder)\n"
         "  --options FILE        options file (default: /etc/parlino/parlino.reg)\n"
         "  --startup-delay-ms N  wait before reading the options (default: 15000)\n"
         "  --data-dir DIR        images and style sheets of the administration pages\n"
         "                        (default: www/ beside the program, else\n"
         "                        ../share/parlino/www)\n"
         "  --session-timeout-ms N  idle time after which a page session ends (default:\n"
         "                        900000, 15 minutes)\n";
}
