// The simulator's control protocol parser, and the SMS-DELIVER builder it feeds, over
// arbitrary lines.
#include "tools/modemsim/ModemSimControl.h"
#include "tools/modemsim/ModemSimGsm.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string line(reinterpret_cast<const char*>(aData), aSize);
  modemsim::TControlCommand command;
  std::string error;
  if (modemsim::parseControlCommand(line, command, error) && command.Verb == modemsim::cvDeliver) {
    std::string pdu;
    (void)modemsim::buildSmsDeliver("+491710760000", command.Address, command.Text, {}, pdu, error);
  }
  return 0;
}
