// Message files may be truncated, binary or in any encoding: reading must never fail hard.
#include "modem/VTSMSManagerMessage.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  TVTSMSManagerMessage message;
  if (message.fromStreamBytes(std::string(reinterpret_cast<const char*>(aData), aSize))) {
    TVTSMSManagerMessage again;
    (void)again.fromStreamBytes(message.toStreamText());
  }
  return 0;
}
