// The modem answer rules over arbitrary received text: splitting, the +CPMS reports, the
// signal (+CSQ) and registration (+CREG) reports, the
// +CMGL listing and +CMGR header, the send result, final results, unsolicited codes and
// their notices, and the choice of an AT+CNMI setting must never fail, whatever the line
// carries; a chosen setting is always "mode,mt" and at most three more numbers.
#include "modem/VTSerialModemAnswers.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    int used = -1;
    int total = -1;
    if (parseCPMSUsage(line, used, total) && (used < 0 || total < 0)) {
      std::abort();
    }
    int rssi = -1;
    int ber = -1;
    if (parseCSQReport(line, rssi, ber) && (rssi < 0 || ber < 0)) {
      std::abort();
    }
    int registration = -1;
    if (parseCREGReport(line, registration) && registration < 0) {
      std::abort();
    }
    (void)modemSendResult(line);
    (void)trimModemLine(line);
    (void)modemStrToIntDef(line, -1);
    TCMGLHeader header;
    (void)parseCMGRHeader(line, header);
    (void)isModemHexLine(line);
    (void)modemFinalResult(line);
    (void)modemUnsolicitedKind(line, "+CMGL");
    (void)isModemPrompt(line);
    (void)modemNeedsStartup(line);
    std::string memory;
    int index = 0;
    (void)parseCMTINotice(line, memory, index);
    (void)parseCMTLength(line);
    const std::string setting = chooseCNMISetting(line);
    if (!setting.empty() && (std::count(setting.begin(), setting.end(), ',') < 1 ||
                             std::count(setting.begin(), setting.end(), ',') > 4 ||
                             setting.find_first_not_of("0123456789,") != std::string::npos)) {
      std::abort();
    }
  }
  (void)parseCMGLListing(lines);
  return 0;
}
