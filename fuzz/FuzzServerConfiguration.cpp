// The configuration file reader takes any bytes: it must neither crash nor hang.
#include "server/ServerConfiguration.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  (void)parseServerConfiguration(std::string(reinterpret_cast<const char*>(aData), aSize));
  return 0;
}
