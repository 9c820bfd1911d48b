// The answer framer over arbitrary received bytes: fed whole and cut at a point taken from
// the input, it must find the same pieces, and every line it reports must be trimmed and
// free of line ends.
#include "modem/VTModemAnswerFramer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

std::string describe(const std::vector<TModemAnswerPiece>& aPieces) {
  std::string text;
  for (const auto& piece : aPieces) {
    if (piece.Text.find_first_of("\r\n") != std::string::npos ||
        piece.Pdu.find_first_of("\r\n") != std::string::npos) {
      std::abort();
    }
    text += std::to_string(piece.Kind) + piece.Text + "/" + piece.Pdu + "\n";
  }
  return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view bytes(reinterpret_cast<const char*>(aData), aSize);
  TVTModemAnswerFramer whole;
  whole.setExpectedPrefix("+CMGL");
  const std::string all = describe(whole.feed(bytes));
  TVTModemAnswerFramer cut;
  cut.setExpectedPrefix("+CMGL");
  const std::size_t at = aSize == 0 ? 0 : aData[0] % (aSize + 1);
  std::string pieces = describe(cut.feed(bytes.substr(0, at)));
  pieces += describe(cut.feed(bytes.substr(at)));
  // A prompt is reported as soon as it stands alone, so a cut may find it where the whole
  // input ends a line behind it; everything else must agree.
  if (all != pieces && all.find("2> /") == std::string::npos &&
      pieces.find("2> /") == std::string::npos) {
    std::abort();
  }
  return 0;
}
