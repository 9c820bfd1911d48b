// Form and query texts come from any client: parsing them must neither crash nor hang.
#include "server/HTTPParams.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view text(reinterpret_cast<const char*>(aData), aSize);
  const TWebFields fields = parseWebFormFields(text);
  (void)getHTTPParam(fields, text, "smsusr");
  (void)getHTTPParam({}, text, "message");
  (void)normaliseReceiver(getHTTPParam(fields, text, "receiver"));
  (void)readBooleanParam(getHTTPParam(fields, text, "smspwdcoded"), true);
  return 0;
}
