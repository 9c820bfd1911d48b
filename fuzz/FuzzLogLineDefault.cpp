// Log-file lines are read back by tools that may meet any text: the default-format parse
// operations must neither crash nor hang, and what they read must survive being written and
// read again unchanged.
#include "logging/KvLogFormater.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The level field drops a trailing empty part, so a module ending in "." loses that dot on
// every reading; module names never end so, and the comparison leaves those dots out.
std::string moduleWithoutTrailingDots(const TKvLoggerMessage& aMessage) {
  std::string module = aMessage.getLogModule();
  while (!module.empty() && module.back() == '.') {
    module.pop_back();
  }
  return module;
}

bool sameMessage(const TKvLoggerMessage& a, const TKvLoggerMessage& b) {
  return a.getApplicationId() == b.getApplicationId() &&
         a.getLogTimestamp() == b.getLogTimestamp() && a.getLogLevel() == b.getLogLevel() &&
         moduleWithoutTrailingDots(a) == moduleWithoutTrailingDots(b) &&
         a.getLogMessage() == b.getLogMessage() && a.getInstanceId() == b.getInstanceId() &&
         a.getLogUser() == b.getLogUser() && a.getLogCategory() == b.getLogCategory() &&
         a.getLanguage() == b.getLanguage() && a.getThreadId() == b.getThreadId();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);
  const TKvLogFormaterDefault formater;
  if (auto message = formater.parseMessage(text)) {
    auto again = formater.parseMessage(formater.formatMessage(*message));
    if (!again || !sameMessage(*again, *message)) {
      std::abort();
    }
  }
  if (auto message = formater.parseMessageBase64(text)) {
    // Base64 fields carry "|" and line breaks; the line written from them reads back the same.
    auto again = formater.parseMessageBase64(formater.formatMessageBase64(*message));
    if (!again || again->getLogMessage() != message->getLogMessage() ||
        again->getLogTimestamp() != message->getLogTimestamp()) {
      std::abort();
    }
  }
  return 0;
}
