// Values typed into a list page's grid come from the browser: reading them for any column
// must neither crash nor hang, and a value read and shown reads back as the same value.
// The first byte chooses the column, the rest is the typed text.
#include "web/FbColumnValue.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  if (aSize == 0) {
    return 0;
  }
  // Type codes of the system tables: smallint, integer, bigint, float, double, char,
  // varchar, timestamp, date, boolean, blob.
  static const int kTypes[] = {7, 8, 16, 10, 27, 14, 37, 35, 12, 23, 261};
  const int type = kTypes[aData[0] % (sizeof kTypes / sizeof kTypes[0])];
  const TFbColumnInfo column =
      describeFbColumn("C", type, aData[0] & 0x80 ? -2 : 0, 8, (aData[0] & 0x40) != 0);
  const std::string text(reinterpret_cast<const char*>(aData + 1), aSize - 1);
  TSQLValue value;
  std::string error;
  if (!parseColumnText(column, "Spalte", text, value, error)) {
    if (error.find("\"Spalte\"") == std::string::npos) {
      std::abort(); // every refusal names the column
    }
    return 0;
  }
  const std::string shown = formatColumnValue(column, value);
  TSQLValue again;
  if (!parseColumnText(column, "Spalte", shown, again, error) && !shown.empty()) {
    std::abort();
  }
  if (!shown.empty() && formatColumnValue(column, again) != shown) {
    std::abort();
  }
  return 0;
}
