// Stored text filters: loading may fail only with the documented errors, and the text read
// is stored and read back unchanged, whichever string form it came in.
#include "logging/KvLoggerMessageFilter.h"
#include "logging/KvValueStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string bytes(reinterpret_cast<const char*>(aData), aSize);
  TKvLoggerMessageFilterMessageContains filter;
  try {
    std::istringstream stream(bytes);
    filter.loadFromStream(stream);
  } catch (const EKvStreamReadError&) {
    return 0;
  } catch (const EKvLoggerFilterParseError&) {
    return 0;
  }
  std::stringstream stored;
  filter.saveToStream(stored);
  TKvLoggerMessageFilterMessageContains again;
  again.loadFromStream(stored);
  if (again.getText() != filter.getText()) {
    std::abort();
  }
  (void)filter.match(TKvLoggerMessage("a", "1", "u", KVLL_INFO, "m", bytes, "", "", nullptr));
  return 0;
}
