// Message files may be truncated, binary or in any encoding: reading must never fail hard,
// and a text read is written and read back unchanged.
#include "modem/VTSMSManagerMessage.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  TVTSMSManagerMessage message;
  if (message.fromStreamBytes(std::string(reinterpret_cast<const char*>(aData), aSize))) {
    TVTSMSManagerMessage again;
    const bool read = again.fromStreamBytes(message.toStreamText());
    // What is written of a text is read back whole, whatever its characters.
    if (!read || (message.getMessageType() != VTSMSMMT_DATA &&
                  again.getTheMessage() != message.getTheMessage())) {
      __builtin_trap();
    }
  }
  return 0;
}
