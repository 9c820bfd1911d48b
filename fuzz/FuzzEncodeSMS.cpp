// Destinations and texts come from HTTP clients and the send page: encoding either gives a PDU
// of hex digits or a codec error. A text's user data read back and encoded again gives the
// same PDU.
#include "modem/SMSCodec.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool isHex(const std::string& aText) {
  return aText.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

void checkText(const TSMSCODEC& aCodec, const std::string& aDestination, const std::string& aText) {
  const std::string pdu = aCodec.EncodeSMS(aDestination, aText);
  // "00" "01" "00", the address field (length, type, digits), "00" "00", the length, the data
  const std::size_t lengthAt = 6 + 4 + (aDestination.size() + 1) / 2 * 2 + 4;
  const int septets = std::stoi(pdu.substr(lengthAt, 2), nullptr, 16);
  const std::string again =
      aCodec.EncodeSMS(aDestination, aCodec.PDU7BIT2ASCII(pdu.substr(lengthAt + 2), 0, septets));
  if (!isHex(pdu) || again != pdu) {
    __builtin_trap();
  }
}

} // namespace

// First byte: the encoder and the destination's length; then the destination, then the data.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  static const TSMSCODEC codec;
  if (aSize == 0) {
    return 0;
  }
  const std::string input(reinterpret_cast<const char*>(aData) + 1, aSize - 1);
  const std::size_t destinationLength = std::min<std::size_t>((aData[0] >> 2) % 24, input.size());
  const std::string destination = input.substr(0, destinationLength);
  const std::string data = input.substr(destinationLength);
  try {
    switch (aData[0] & 3) {
    case 0:
      checkText(codec, destination, data);
      break;
    case 1:
      if (!isHex(codec.EncodeSMSBinary(destination, data))) {
        __builtin_trap();
      }
      break;
    default:
      if (!isHex(codec.EncodeSMSPush(destination, data))) {
        __builtin_trap();
      }
      break;
    }
  } catch (const ESMSCodecError&) {
  }
  return 0;
}
