// Form and query texts come from any client: parsing them must neither crash nor hang, the
// parameters read once per request must be those read one by one, and a parameter that passes
// its rules holds no NUL.
#include "server/HTTPParamRules.h"
#include "server/HTTPParams.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view text(reinterpret_cast<const char*>(aData), aSize);
  const TWebFields fields = parseWebFormFields(text);
  (void)normaliseReceiver(getHTTPParam(fields, text, "receiver"));
  (void)readBooleanParam(getHTTPParam(fields, text, "smspwdcoded"), true);
  for (const TWebFields& query : {fields, TWebFields()}) {
    const TSMSCommandParams params = readSMSCommandParams(query, text);
    if (params.User != getHTTPParam(query, text, "smsusr") ||
        params.Message != getHTTPParam(query, text, "message") ||
        params.Type != getHTTPParam(query, text, "TYPE")) {
      std::abort();
    }
    if (!checkCredentialParams(params) && !checkSendSMSParams(params) &&
        (params.User + params.Password + params.Receiver + params.Message).find('\0') !=
            std::string::npos) {
      std::abort();
    }
  }
  return 0;
}
