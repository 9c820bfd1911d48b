// The simulator's control protocol parser, and the SMS-DELIVER builder it feeds (long texts
// in parts), over arbitrary lines.
#include "tools/modemsim/ModemSimControl.h"
#include "tools/modemsim/ModemSimGsm.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string line(reinterpret_cast<const char*>(aData), aSize);
  modemsim::TControlCommand command;
  std::string error;
  if (modemsim::parseControlCommand(line, command, error) && command.Verb == modemsim::cvDeliver) {
    std::vector<std::string> pdus;
    if (modemsim::buildSmsDeliverParts("+491710760000", command.Address, command.Text, {}, 1, pdus,
                                       error)) {
      for (const std::string& pdu : pdus) {
        if (modemsim::tpduLength(pdu) <= 0) {
          __builtin_trap(); // every part is a well-formed unit
        }
      }
    }
  }
  return 0;
}
