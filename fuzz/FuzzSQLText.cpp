// Statement texts reach the named-parameter scanner and the script splitter from code and
// from schema files: neither may crash or hang, the scanner must give one name per "?" and
// change nothing but the parameters, and the splitter's pieces must come from the text.
#include "server/FbSQLText.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string text(reinterpret_cast<const char*>(aData), aSize);
  const TFbParsedSQL parsed = parseNamedParameters(text);
  std::size_t marks = 0;
  for (const char c : parsed.SQL) {
    marks += c == '?' ? 1 : 0;
  }
  if (parsed.Names.size() > marks || parsed.SQL.size() > text.size()) {
    __builtin_trap();
  }
  // Without a ":" nothing is rewritten.
  if (text.find(':') == std::string::npos && parsed.SQL != text) {
    __builtin_trap();
  }
  // Rewriting is stable: a positional text has no names left to find.
  const TFbParsedSQL again = parseNamedParameters(parsed.SQL);
  if (again.SQL != parsed.SQL) {
    __builtin_trap();
  }
  for (const std::string& statement : splitSQLScript(text)) {
    if (statement.empty() || text.find(statement) == std::string::npos) {
      __builtin_trap();
    }
  }
  return 0;
}
