// The log server parses whatever arrives after "log:": the TCP-format parse operations must
// neither crash nor hang; the extra-data form may only fail with its documented error.
#include "logging/KvLogFormater.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);
  const TKvLogFormaterTCP formater;
  std::string machine;
  if (auto message = formater.parseMessageMachine(text, machine)) {
    TKvLogFormaterTCP writer;
    writer.setMachineIdent(machine);
    std::string machineAgain;
    auto again = writer.parseMessageMachine(writer.formatMessage(*message), machineAgain);
    if (!again || again->getLogMessage() != message->getLogMessage() ||
        again->getStackTrace() != message->getStackTrace() || machineAgain != machine) {
      std::abort();
    }
  }
  (void)formater.parseMessageMachineBase64(text, machine);
  std::int32_t id = 0;
  std::vector<std::uint8_t> extra;
  try {
    (void)formater.parseMessageMachineExtra(text, machine, id, extra);
    (void)formater.parseMessageMachineExtraBase64(text, machine, id, extra);
  } catch (const kvlogging::EKvLoggingConvertError&) {
    // an odd-length extra-data field
  }
  return 0;
}
