// The options file reader takes any bytes: it must neither crash nor hang.
#include "common/RegistryFile.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const registry::TRegKeys keys =
      registry::parseRegistryText(std::string_view(reinterpret_cast<const char*>(aData), aSize));
  for (const auto& [path, values] : keys) {
    for (const auto& [name, value] : values) {
      (void)registry::quoteRegistryText(value.text);
    }
  }
  return 0;
}
