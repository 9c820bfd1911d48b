// Received PDUs come from the modem as it lists them and may be cut or garbled: decoding either
// gives its entries or a codec error, and never reads outside the text. Both decoders read the
// same unit alike where their contracts meet, and a decoded part can always be collected.
#include "modem/SMSCodec.h"
#include "modem/SMSConcatCollector.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void check(bool aCondition) {
  if (!aCondition) {
    __builtin_trap();
  }
}

// The data coding octet of an SMS-DELIVER that the four-entry decoder read: after the centre,
// the first octet, the originator (length in digits, type, digits) and the protocol identifier.
int dataCodingOf(const std::string& aPDU) {
  std::size_t position = 2 + std::stoul(aPDU.substr(0, 2), nullptr, 16) * 2 + 2;
  position += 4 + (std::stoul(aPDU.substr(position, 2), nullptr, 16) + 1) / 2 * 2 + 2;
  return std::stoi(aPDU.substr(position, 2), nullptr, 16);
}

// The full decoder against the four-entry one: the same fields for an SMS-DELIVER whose data
// coding is of a general group, the same message when there is no header; a concatenation
// element only from a header, with its number inside its count.
void checkFull(const TSMSCODEC& aCodec, const std::string& aPDU,
               const std::vector<std::string>* aEntries) {
  TSMSDecoded decoded;
  try {
    decoded = aCodec.DecodeSMSFull(aPDU);
  } catch (const ESMSCodecError&) {
    return;
  }
  const TSMSConcatInfo& concat = decoded.Concat;
  check(concat.Total == 0 || (!decoded.Header.empty() && concat.Number >= 1 &&
                              concat.Number <= concat.Total && concat.Total <= 255));
  check(concat.Reference >= 0 && concat.Reference <= (concat.WideReference ? 0xFFFF : 0xFF));
  if (aEntries != nullptr && !decoded.Submit) {
    const int dataCoding = dataCodingOf(aPDU);
    check(decoded.Address == (*aEntries)[0] && decoded.TimeStamp == (*aEntries)[3]);
    if (dataCoding < 0x80) {
      check(std::to_string(decoded.Alphabet) == (*aEntries)[2]);
      check(!decoded.Header.empty() || decoded.Message == (*aEntries)[1]);
    }
  }
  TSMSConcatCollector collector;
  const TSMSConcatPart part{decoded, aPDU, TDateTime()};
  check(collector.add(part).State ==
        (concat.isPart() && concat.Total > 1 ? csPending : csComplete));
  check(collector.add(part).State ==
        (concat.isPart() && concat.Total > 1 ? csDuplicate : csComplete));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  static const TSMSCODEC codec;
  const std::string pdu(reinterpret_cast<const char*>(aData), aSize);
  std::vector<std::string> entries;
  bool decoded = false;
  try {
    entries = codec.DecodeSMS(pdu);
    check(entries.size() == 4);
    decoded = true;
  } catch (const ESMSCodecError&) {
  }
  checkFull(codec, pdu, decoded ? &entries : nullptr);
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
