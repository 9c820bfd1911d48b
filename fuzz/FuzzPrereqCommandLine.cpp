// The prerequisites tool's command line: arguments are the input's lines. Reading the entries
// again must give the same entries, and every reader of them must take any text.
#include "prereq/KVPrereqCommandLine.h"
#include "prereq/KVPrereqRun.h"
#include "prereq/KVPrereqSettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string input(reinterpret_cast<const char*>(aData), aSize);
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start <= input.size()) {
    const auto end = input.find('\n', start);
    arguments.push_back(input.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  const std::vector<std::string> params = parseCommandLine(arguments);
  if (parseCommandLine(params) != params) {
    std::abort();
  }
  const TKVPrereqRun run(arguments);
  (void)run.AppInfoText();
  (void)run.AutoResolve();
  (void)commandLineHasWord(params, "autoclose");
  TKVPrereqFirebirdSettings settings;
  applyPrereqSettingsArguments(params, settings);
  return 0;
}
