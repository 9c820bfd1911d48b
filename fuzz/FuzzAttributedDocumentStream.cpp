// The binary form is read from files and streams: any bytes must fail cleanly, never crash
// or allocate what the stream does not hold.
#include "common/AttributedDocument.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(aData), aSize));
  TAttributedDocument document;
  try {
    document.loadFromStream(&in);
  } catch (const EAttributedDocument&) {
    return 0;
  }
  std::stringstream out;
  document.saveToStream(&out);
  TAttributedDocument reread;
  try {
    reread.loadFromStream(&out);
  } catch (const EAttributedDocument&) {
    return 0;
  }
  if (reread.getContent() != document.getContent()) {
    __builtin_trap();
  }
  return 0;
}
