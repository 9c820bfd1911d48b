// The settings file of the prerequisites tool takes any bytes; the server units it keeps are
// never empty and carry no blanks at their ends.
#include "prereq/KVPrereqCommandLine.h"
#include "prereq/KVPrereqSettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  TKVPrereqFirebirdSettings settings;
  readPrereqSettingsText(std::string_view(reinterpret_cast<const char*>(aData), aSize), settings);
  for (const auto& unit : settings.ServerUnits) {
    if (unit.empty() || trimText(unit) != unit) {
      std::abort();
    }
  }
  return 0;
}
