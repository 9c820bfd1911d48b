// The simulator's AT command side over arbitrary line input, fed in two pieces, with the
// same bytes also offered as an incoming PDU.
#include "tools/modemsim/ModemSimEngine.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string bytes(reinterpret_cast<const char*>(aData), aSize);
  modemsim::TModemSimOptions options;
  options.StorageSize = 3;
  options.Pin = "1234";
  options.GarbageEvery = 3;
  options.FailDeleteSlot = 2;
  modemsim::TModemSimEngine engine(options);
  std::string error;
  std::vector<modemsim::TSimOutput> outputs;
  (void)engine.deliverPdu(bytes, error, outputs);
  const std::size_t half = bytes.size() / 2;
  (void)engine.feed(bytes.substr(0, half));
  (void)engine.feed("AT+CPIN=1234\r");
  (void)engine.feed(bytes.substr(half));
  (void)engine.feed("\x1b\rAT+CMGL=4\r");
  return 0;
}
