// The first bytes of every connection come from anyone: scanning a head or a chunked body
// must neither crash nor claim more of the buffer than there is, whatever the limits.
#include "webframework/WebRequest.h"
#include "webframework/WebRequestHead.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view bytes(reinterpret_cast<const char*>(aData), aSize);
  TWebLimits small;
  small.MaxRequestLineSize = 64;
  small.MaxHeadSize = 256;
  small.MaxBodySize = 128;
  for (const TWebLimits& limits : {TWebLimits(), small}) {
    const TWebRequestHead head = scanWebRequestHead(bytes, limits);
    if (head.State == EWebHeadScan::Complete) {
      const bool bodyHere = !head.Chunked && !head.ExpectContinue;
      if (head.HeadSize > bytes.size() || head.HeadSize > limits.MaxHeadSize ||
          head.BodySize > limits.MaxBodySize ||
          (bodyHere && head.HeadSize + head.BodySize > bytes.size())) {
        __builtin_trap();
      }
    }
    if (head.State == EWebHeadScan::Refused && head.RefusalStatus < 400) {
      __builtin_trap();
    }
    const TWebChunkedBody body = scanWebChunkedBody(bytes, limits.MaxBodySize);
    if (body.Body.size() > limits.MaxBodySize ||
        (body.State == EWebBodyScan::Complete && body.Size > bytes.size()) ||
        (body.State == EWebBodyScan::Refused && body.RefusalStatus < 400)) {
      __builtin_trap();
    }
    // Read as a chunked body arriving in two pieces, the scan that resumes must come to what
    // one scan of the whole comes to.
    TWebRequestHead chunked;
    chunked.State = EWebHeadScan::Complete;
    chunked.Chunked = true;
    TWebChunkedProgress progress;
    int refusal = 0;
    EWebBodyScan state =
        scanWebRequestBody(bytes.substr(0, aSize / 2), chunked, limits, progress, refusal);
    if (state == EWebBodyScan::Incomplete) {
      state = scanWebRequestBody(bytes, chunked, limits, progress, refusal);
    }
    const bool overFraming = body.State == EWebBodyScan::Incomplete &&
                             aSize > limits.MaxBodySize + limits.MaxChunkFraming;
    if (state == EWebBodyScan::Complete &&
        (body.State != EWebBodyScan::Complete || progress.Pos != body.Size)) {
      __builtin_trap();
    }
    if (state == EWebBodyScan::Refused && body.State != EWebBodyScan::Refused && !overFraming &&
        aSize / 2 <= limits.MaxBodySize + limits.MaxChunkFraming) {
      __builtin_trap();
    }
  }
  const TWebFields fields = parseWebFormFields(bytes);
  (void)findWebField(fields, "smsusr");
  (void)webUrlDecode(bytes, false);
  return 0;
}
