// Answer lines come from a remote log server: evaluating them must neither crash nor accept
// anything but code 200.
#include "logging/KvLogAppenderTCP.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string answer(reinterpret_cast<const char*>(aData), aSize);
  std::string failure;
  const bool accepted = kvlogging::evaluateLogServerAnswer(answer, failure);
  if (accepted == failure.empty()) {
    return 0;
  }
  std::abort();
}
