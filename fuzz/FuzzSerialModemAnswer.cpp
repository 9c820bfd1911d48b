// The modem answer rules over arbitrary received text: splitting, the +CPMS report, the
// +CMGL listing and the send result must never fail, whatever the line carries.
#include "modem/VTSerialModemAnswers.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view text(reinterpret_cast<const char*>(aData), aSize);
  const auto lines = splitModemAnswer(text);
  (void)joinModemAnswer(lines);
  (void)withModemLineEnd(text);
  for (const auto& line : lines) {
    int defaultStorage = 0;
    int sendStorage = 0;
    int receiveStorage = 0;
    (void)parseCPMSReport(line, defaultStorage, sendStorage, receiveStorage);
    (void)modemSendResult(line);
    (void)trimModemLine(line);
    (void)modemStrToIntDef(line, -1);
  }
  (void)parseCMGLListing(lines);
  return 0;
}
