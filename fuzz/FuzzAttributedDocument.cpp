// Document texts come from clients and files: reading one must neither crash nor hang, and a
// text the document wrote must read back into the same text.
#include "common/AttributedDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);
  for (bool report : {true, false}) {
    TAttributedDocument document;
    document.setReportInvalidAttributes(report);
    try {
      document.setContent(text);
    } catch (const EAttributedDocument&) {
    }
    const std::string written = document.getContent();
    TAttributedDocument reread;
    try {
      reread.setContent(written);
    } catch (const EAttributedDocument&) {
      // A nested ID outside Latin-1 is written as "?" and may then collide; nothing else.
      continue;
    }
    if (reread.getContent() != written) {
      __builtin_trap();
    }
    for (int i = 0; i < document.getAttributeCount(); ++i) {
      try {
        (void)document.getAttributes(i).getValueAsString();
        (void)document.getAttributes(i).getValueAsInteger();
      } catch (const EAttributedDocument&) {
      }
    }
  }
  return 0;
}
