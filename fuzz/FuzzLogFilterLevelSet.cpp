// Stored level-set filters and filters stored with their class name: loading may fail only
// with the stream's documented errors, and a loaded filter stores and loads back the same.
#include "logging/KvLoggerClasses.h"
#include "logging/KvValueStream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string bytes(reinterpret_cast<const char*>(aData), aSize);
  TKvLoggerMessageFilterLevelSet filter;
  try {
    std::istringstream stream(bytes);
    filter.loadFromStream(stream);
    std::stringstream stored;
    filter.saveToStream(stored);
    TKvLoggerMessageFilterLevelSet again;
    again.loadFromStream(stored);
    if (!(again.getLevelSet() == filter.getLevelSet())) {
      std::abort();
    }
  } catch (const EKvStreamReadError&) {
  }
  registerLoggingClasses();
  try {
    std::istringstream stream(bytes);
    (void)loadMessageFilter(stream);
  } catch (const EKvStreamReadError&) {
  } catch (const EKvLoggerFilterParseError&) {
  }
  return 0;
}
