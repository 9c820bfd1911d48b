// Received PDUs come from the modem as it lists them and may be cut or garbled: decoding either
// gives its four entries or a codec error, and never reads outside the text.
#include "modem/SMSCodec.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  static const TSMSCODEC codec;
  const std::string pdu(reinterpret_cast<const char*>(aData), aSize);
  try {
    if (codec.DecodeSMS(pdu).size() != 4) {
      __builtin_trap();
    }
  } catch (const ESMSCodecError&) {
  }
  // The user-data readers on their own, with header and data lengths the unit could claim.
  if (aSize >= 2) {
    const std::string userData = pdu.substr(2);
    for (const auto& reader :
         {&TSMSCODEC::PDU7BIT2ASCII, &TSMSCODEC::PDU16BIT2ASCII, &TSMSCODEC::PDU8BIT2Data}) {
      try {
        (void)(codec.*reader)(userData, aData[0], aData[1]);
      } catch (const ESMSCodecError&) {
      }
    }
  }
  return 0;
}
