#include "webframework/WebRequestHead.h"

#include "common/TextTools.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool containsToken(std::string_view aValue, std::string_view aToken) {
  std::size_t start = 0;
  while (start <= aValue.size()) {
    std::size_t end = aValue.find(',', start);
    if (end == std::string_view::npos) {
      end = aValue.size();
    }
    std::string_view item = aValue.substr(start, end - start);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) {
      item.remove_prefix(1);
    }
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) {
      item.remove_suffix(1);
    }
    if (equalsIgnoreCase(item, aToken)) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

std::string_view trimmed(std::string_view aText) {
  while (!aText.empty() && (aText.front() == ' ' || aText.front() == '\t')) {
    aText.remove_prefix(1);
  }
  while (!aText.empty() && (aText.back() == ' ' || aText.back() == '\t' || aText.back() == '\r')) {
    aText.remove_suffix(1);
  }
  return aText;
}

bool isKnownMethod(std::string_view aMethod) {
  for (const char* known :
       {"GET", "HEAD", "POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH"}) {
    if (aMethod == known) {
      return true;
    }
  }
  return false;
}

// "<method> <target> <version>" with exactly one blank between the parts.
bool parseRequestLine(std::string_view aLine, TWebRequestHead& aHead) {
  if (aLine.empty() || aLine.back() != '\r') {
    return false;
  }
  aLine.remove_suffix(1);
  const std::size_t first = aLine.find(' ');
  const std::size_t second = aLine.find(' ', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos ||
      aLine.find(' ', second + 1) != std::string_view::npos) {
    return false;
  }
  const std::string_view method = aLine.substr(0, first);
  const std::string_view target = aLine.substr(first + 1, second - first - 1);
  const std::string_view version = aLine.substr(second + 1);
  if (!isKnownMethod(method) || target.empty() ||
      (version != "HTTP/1.1" && version != "HTTP/1.0") ||
      target.find_first_of("\t\r") != std::string_view::npos) {
    return false;
  }
  aHead.Method = method;
  aHead.Target = target;
  aHead.Version = version;
  return true;
}

TWebRequestHead refused(int aStatus) {
  TWebRequestHead head;
  head.State = EWebHeadScan::Refused;
  head.RefusalStatus = aStatus;
  return head;
}

} // namespace

TWebRequestHead scanWebRequestHead(std::string_view aBytes, const TWebLimits& aLimits) {
  const std::size_t firstLineEnd = aBytes.find('\n');
  if (firstLineEnd == std::string_view::npos ? aBytes.size() > aLimits.MaxRequestLineSize
                                             : firstLineEnd > aLimits.MaxRequestLineSize + 1) {
    return refused(414);
  }
  const std::size_t headEnd = aBytes.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) {
    if (aBytes.size() > aLimits.MaxHeadSize) {
      return refused(431);
    }
    return {};
  }
  TWebRequestHead head;
  head.HeadSize = headEnd + 4;
  if (head.HeadSize > aLimits.MaxHeadSize) {
    return refused(431);
  }

  bool haveLength = false;
  bool haveTransferEncoding = false;
  std::size_t lineStart = firstLineEnd + 1;
  while (lineStart < headEnd + 2) {
    const std::size_t lineEnd = aBytes.find('\n', lineStart);
    const std::string_view line = aBytes.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      return refused(400);
    }
    const std::string_view name = line.substr(0, colon);
    // A blank inside or after the name would let readers disagree on the header's name.
    if (name.empty() || name.find_first_of(" \t") != std::string_view::npos) {
      return refused(400);
    }
    const std::string_view value = trimmed(line.substr(colon + 1));
    head.Headers.push_back({std::string(name), std::string(value)});
    if (equalsIgnoreCase(name, "Content-Length")) {
      std::size_t length = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (value.empty() || ec == std::errc::invalid_argument ||
          end != value.data() + value.size() || (haveLength && length != head.BodySize)) {
        return refused(400);
      }
      if (ec == std::errc::result_out_of_range || length > aLimits.MaxBodySize) {
        return refused(413);
      }
      haveLength = true;
      head.BodySize = length;
    } else if (equalsIgnoreCase(name, "Transfer-Encoding")) {
      haveTransferEncoding = true;
      if (!equalsIgnoreCase(value, "chunked")) {
        return refused(containsToken(value, "chunked") ? 400 : 501);
      }
      head.Chunked = true;
    } else if (equalsIgnoreCase(name, "Expect")) {
      head.ExpectContinue = equalsIgnoreCase(value, "100-continue");
    }
  }
  // Both framings at once let two readers disagree on where the request ends.
  if (haveLength && haveTransferEncoding) {
    return refused(400);
  }
  if (!parseRequestLine(aBytes.substr(0, firstLineEnd), head)) {
    return refused(400);
  }
  if (head.Chunked || head.ExpectContinue || aBytes.size() >= head.HeadSize + head.BodySize) {
    head.State = EWebHeadScan::Complete;
  }
  return head;
}

namespace {

// A size line longer than this is no chunk size.
constexpr std::size_t kMaxSizeLine = 1024;

// Walks the chunk framing of aBytes from aProgress on, as far as the bytes go, appending the
// chunk data to aBody when given. Complete sets aProgress.Pos past the last line.
EWebBodyScan walkChunks(std::string_view aBytes, std::size_t aMaxBodySize,
                        TWebChunkedProgress& aProgress, int& aRefusal, std::string* aBody) {
  const auto refuse = [&](int aStatus) {
    aRefusal = aStatus;
    return EWebBodyScan::Refused;
  };
  std::size_t& pos = aProgress.Pos;
  while (!aProgress.Trailer) {
    const std::size_t lineEnd = aBytes.find("\r\n", pos);
    if (lineEnd == std::string_view::npos) {
      return aBytes.size() - pos > kMaxSizeLine ? refuse(400) : EWebBodyScan::Incomplete;
    }
    if (lineEnd - pos > kMaxSizeLine) {
      return refuse(400); // whether it came in one piece or several
    }
    std::string_view sizeText = aBytes.substr(pos, lineEnd - pos);
    sizeText = trimmed(sizeText.substr(0, sizeText.find(';'))); // chunk extensions are ignored
    std::size_t size = 0;
    const auto [end, ec] =
        std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size, 16);
    if (sizeText.empty() || ec == std::errc::invalid_argument ||
        end != sizeText.data() + sizeText.size()) {
      return refuse(400);
    }
    if (ec == std::errc::result_out_of_range || size > aMaxBodySize - aProgress.BodySize) {
      return refuse(413);
    }
    if (size == 0) {
      pos = lineEnd + 2;
      aProgress.Trailer = true;
      break;
    }
    const std::size_t data = lineEnd + 2;
    if (aBytes.size() < data + size + 2) {
      return EWebBodyScan::Incomplete; // read again from this size line
    }
    if (aBytes.substr(data + size, 2) != "\r\n") {
      return refuse(400);
    }
    if (aBody != nullptr) {
      aBody->append(aBytes.substr(data, size));
    }
    aProgress.BodySize += size;
    pos = data + size + 2;
  }
  // Trailer lines up to an empty line; their content is not used.
  for (;;) {
    const std::size_t lineEnd = aBytes.find("\r\n", pos);
    if (lineEnd == std::string_view::npos) {
      return aBytes.size() - pos > kMaxSizeLine ? refuse(400) : EWebBodyScan::Incomplete;
    }
    if (lineEnd - pos > kMaxSizeLine) {
      return refuse(400);
    }
    const bool last = lineEnd == pos;
    pos = lineEnd + 2;
    if (last) {
      return EWebBodyScan::Complete;
    }
  }
}

} // namespace

TWebChunkedBody scanWebChunkedBody(std::string_view aBytes, std::size_t aMaxBodySize) {
  TWebChunkedBody result;
  TWebChunkedProgress progress;
  result.State = walkChunks(aBytes, aMaxBodySize, progress, result.RefusalStatus, &result.Body);
  if (result.State == EWebBodyScan::Refused) {
    result.Body.clear();
  } else if (result.State == EWebBodyScan::Complete) {
    result.Size = progress.Pos;
  }
  return result;
}

EWebBodyScan scanWebRequestBody(std::string_view aBytes, const TWebRequestHead& aHead,
                                const TWebLimits& aLimits, TWebChunkedProgress& aProgress,
                                int& aRefusal) {
  if (!aHead.Chunked) {
    return aBytes.size() >= aHead.HeadSize + aHead.BodySize ? EWebBodyScan::Complete
                                                            : EWebBodyScan::Incomplete;
  }
  const std::string_view body = aBytes.substr(std::min(aHead.HeadSize, aBytes.size()));
  const EWebBodyScan state = walkChunks(body, aLimits.MaxBodySize, aProgress, aRefusal, nullptr);
  if (state == EWebBodyScan::Incomplete &&
      body.size() > aLimits.MaxBodySize + aLimits.MaxChunkFraming) {
    aRefusal = 413;
    return EWebBodyScan::Refused;
  }
  return state;
}

std::string_view webRefusalResponse(int aStatus) {
  switch (aStatus) {
  case 408:
    return "HTTP/1.1 408 Request Timeout\r\nContent-Type: text/plain\r\nContent-Length: 19\r\n"
           "Connection: close\r\n\r\n408 Request Timeout";
  case 413:
    return "HTTP/1.1 413 Payload Too Large\r\nContent-Type: text/plain\r\nContent-Length: 21\r\n"
           "Connection: close\r\n\r\n413 Payload Too Large";
  case 414:
    return "HTTP/1.1 414 URI Too Long\r\nContent-Type: text/plain\r\nContent-Length: 16\r\n"
           "Connection: close\r\n\r\n414 URI Too Long";
  case 431:
    return "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: text/plain\r\n"
           "Content-Length: 35\r\nConnection: close\r\n\r\n"
           "431 Request Header Fields Too Large";
  case 501:
    return "HTTP/1.1 501 Not Implemented\r\nContent-Type: text/plain\r\nContent-Length: 19\r\n"
           "Connection: close\r\n\r\n501 Not Implemented";
  case 503:
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
           "Content-Length: 23\r\nConnection: close\r\n\r\n503 Service Unavailable";
  default:
    return "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: 15\r\n"
           "Connection: close\r\n\r\n400 Bad Request";
  }
}
