// Texts of any length and characters come from HTTP clients: encoding gives parts within the
// limits of one SMS each, numbered under the caller's reference, which read back, given to
// the collector in any order and with a part repeated, join to the text; or it refuses a text
// that needs more parts than allowed.
#include "common/TextEncoding.h"
#include "modem/SMSCodec.h"
#include "modem/SMSConcatCollector.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::string SC_DEST = "491711234567";

void check(bool aCondition) {
  if (!aCondition) {
    __builtin_trap();
  }
}

int userDataLength(const std::string& aPDU) {
  // "00" first octet "00", the destination field (12 digits), "00", the coding, the length
  return std::stoi(aPDU.substr(6 + 4 + SC_DEST.size() + 4, 2), nullptr, 16);
}

} // namespace

// First byte: the part limit; second: the reference; third: the order in which the parts
// arrive and which one comes twice; the rest: the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  static const TSMSCODEC codec;
  if (aSize < 3) {
    return 0;
  }
  const int maxParts = aData[0] % 32;
  const std::uint8_t reference = aData[1];
  const unsigned order = aData[2];
  const std::string text(reinterpret_cast<const char*>(aData) + 3, aSize - 3);

  std::vector<std::string> pdus;
  try {
    pdus = codec.EncodeSMSParts(SC_DEST, text, reference, maxParts);
  } catch (const ESMSTooManyParts& error) {
    check(error.maxParts() == std::max(1, maxParts) && error.partsNeeded() > error.maxParts());
    return 0;
  }
  const std::size_t total = pdus.size();
  check(total >= 1 && total <= static_cast<std::size_t>(std::max(1, maxParts)));

  std::vector<TSMSConcatPart> parts;
  for (std::size_t i = 0; i < total; ++i) {
    const std::string& pdu = pdus[i];
    check(pdu.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    TSMSDecoded decoded = codec.DecodeSMSFull(pdu);
    check(decoded.Submit && decoded.Address == SC_DEST);
    check(decoded.Alphabet == 0 || decoded.Alphabet == 2);
    check(parts.empty() || decoded.Alphabet == parts.front().Decoded.Alphabet);
    const int length = userDataLength(pdu);
    const bool last = i + 1 == total;
    if (total == 1) {
      check(!decoded.Concat.isPart() && decoded.Header.empty());
      check(decoded.Alphabet == 0 ? length <= 160 : length <= 140);
    } else {
      check(decoded.Concat ==
            TSMSConcatInfo{reference, false, static_cast<int>(total), static_cast<int>(i + 1)});
      // Full parts, short only where an escape or surrogate pair did not fit.
      check(decoded.Alphabet == 0 ? length <= 160 && (last || length >= 159)
                                  : length <= 140 && (last || length >= 138));
    }
    parts.push_back({std::move(decoded), pdu, TDateTime()});
  }

  // Arrival: rotated by the order byte, one part (by the order byte) twice.
  const std::size_t shift = order % total;
  std::rotate(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(shift), parts.end());
  parts.insert(parts.begin() + static_cast<std::ptrdiff_t>((order / 8) % total),
               parts[(order / 32) % total]);
  TSMSConcatCollector collector;
  int completed = 0;
  for (const auto& part : parts) {
    const TSMSConcatAdded added = collector.add(part);
    if (added.State == csComplete) {
      ++completed;
      check(added.Message.Complete && added.Message.Parts.size() == total);
      check(added.Message.Text == codePointsToUtf8(utf8ToCodePoints(text)));
    }
  }
  // A single SMS is whole each time it comes; a part repeated after its message completed
  // starts a new one, which stays pending.
  check(completed == (total == 1 ? 2 : 1) && collector.pendingMessages() <= 1);
  return 0;
}
