#include "webframework/WebRequestProcessor.h"

#include "common/TextEncoding.h"
#include "logging/KvLogger.h"
#include "webframework/WebConnectionStream.h"

#include <algorithm>

namespace {

// Matches every path, also one with line breaks decoded into it.
constexpr char kAnyPath[] = "[\\s\\S]*";

std::string mediaTypeOf(const std::string& aContentType) {
  std::string type = aContentType.substr(0, aContentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
    type.pop_back();
  }
  return lowerAscii(type);
}

// Headers the server writes itself from the body and the connection state.
bool isFramingHeader(const std::string& aName) {
  const std::string name = lowerAscii(aName);
  return name == "content-length" || name == "connection" || name == "keep-alive" ||
         name == "transfer-encoding";
}

} // namespace

TWebRequest webRequestOf(const httplib::Request& aRequest) {
  TWebRequest request;
  request.Method = aRequest.method;
  request.ProtocolVersion = aRequest.version;
  request.Target = aRequest.target;
  const std::size_t question = aRequest.target.find('?');
  request.Path = webUrlDecode(std::string_view(aRequest.target).substr(0, question), false);
  if (question != std::string::npos) {
    request.QueryText = aRequest.target.substr(question + 1);
    request.QueryFields = parseWebFormFields(request.QueryText);
  }
  for (const auto& [name, value] : aRequest.headers) {
    request.Headers.push_back({name, value});
  }
  request.Body = aRequest.body;
  request.ContentType = aRequest.get_header_value("Content-Type");
  if (mediaTypeOf(request.ContentType) == "application/x-www-form-urlencoded") {
    request.FormFields = parseWebFormFields(request.Body);
  }
  request.RemoteAddr = aRequest.remote_addr;
  request.RemotePort = aRequest.remote_port;
  request.LocalAddr = aRequest.local_addr;
  request.LocalPort = aRequest.local_port;
  return request;
}

void applyWebResponse(const TWebResponse& aSource, httplib::Response& aTarget) {
  aTarget.status = aSource.Status;
  if (aSource.Status < 100 || aSource.Status > 599) {
    Logger().error("webframework", "invalid status " + std::to_string(aSource.Status) +
                                       " set by a request handler, answered with 500");
    aTarget.status = 500;
  }
  for (const TWebField& header : aSource.Headers) {
    if (!isFramingHeader(header.Name) && lowerAscii(header.Name) != "content-type") {
      aTarget.set_header(header.Name, header.Value); // the library drops values with CR or LF
    }
  }
  const std::string contentType =
      aSource.ContentType.empty() ? aSource.getHeader("Content-Type") : aSource.ContentType;
  if (!contentType.empty()) {
    aTarget.set_header("Content-Type", contentType);
  }
  aTarget.body = aSource.Body;
}

TWebRequestProcessor::TWebRequestProcessor(const TWebApplicationRouter& aRouter,
                                           const std::atomic<bool>& aClosing,
                                           const TWebLimits& aLimits,
                                           std::chrono::milliseconds aKeepAliveTimeout,
                                           int aMaxRequestsPerConnection)
    : fRouter(aRouter), fClosing(aClosing) {
  const auto handler = [this](const httplib::Request& aRequest, httplib::Response& aResponse) {
    handle(aRequest, aResponse);
  };
  Get(kAnyPath, handler);
  Post(kAnyPath, handler);
  Put(kAnyPath, handler);
  Patch(kAnyPath, handler);
  Delete(kAnyPath, handler);
  Options(kAnyPath, handler);
  set_payload_max_length(aLimits.MaxBodySize);
  // Only the Keep-Alive header of the answers shows these; the listener enforces them.
  set_keep_alive_timeout(std::max<time_t>(1, aKeepAliveTimeout.count() / 1000));
  set_keep_alive_max_count(static_cast<size_t>(std::max(1, aMaxRequestsPerConnection)));
}

void TWebRequestProcessor::handle(const httplib::Request& aRequest,
                                  httplib::Response& aResponse) const {
  TWebResponse response;
  fRouter.handleRequest(webRequestOf(aRequest), response);
  applyWebResponse(response, aResponse);
  if (fClosing) {
    // The library writes "Connection: close" when the request asked for it. The request is
    // the library's own non-const object, handed to handlers as const only.
    auto& request = const_cast<httplib::Request&>(aRequest);
    request.headers.erase("Connection");
    request.headers.emplace("Connection", "close");
  }
}

void TWebRequestProcessor::prepare(httplib::Request& aRequest, const TWebConnection& aConnection) {
  // The library adds these as headers; the request view carries them as fields.
  for (const char* name : {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"}) {
    aRequest.headers.erase(name);
  }
  // Answers go out exactly as the handler set them: not compressed, never cut to a range.
  aRequest.headers.erase("Accept-Encoding");
  aRequest.ranges.clear();
  // The library reads a body only for the methods that usually carry one; the listener has
  // the body of any other request with a Content-Length already.
  const TWebRequestHead& head = aConnection.Head;
  const bool libraryReadsBody = aRequest.method == "POST" || aRequest.method == "PUT" ||
                                aRequest.method == "PATCH" || aRequest.method == "DELETE" ||
                                aRequest.method == "PRI";
  if (!libraryReadsBody && !head.Chunked && head.BodySize > 0 &&
      aConnection.Buffer.size() >= head.HeadSize + head.BodySize) {
    aRequest.body = aConnection.Buffer.substr(head.HeadSize, head.BodySize);
  }
}

bool TWebRequestProcessor::serve(TWebConnection& aConnection, bool aCloseAfter,
                                 TWebClock::time_point aReadDeadline,
                                 std::chrono::milliseconds aWriteTimeout) {
  TWebConnectionStream stream(aConnection, aReadDeadline, aWriteTimeout);
  bool closed = false;
  const bool ok = process_request(stream, aCloseAfter, closed, [&](httplib::Request& aRequest) {
    prepare(aRequest, aConnection);
  });
  if (!ok || closed || aCloseAfter) {
    return false;
  }
  // Skip the whole request, also a body the library did not read.
  std::size_t used = stream.consumed();
  if (!aConnection.Head.Chunked) {
    used = std::max(used, aConnection.Head.HeadSize + aConnection.Head.BodySize);
  }
  aConnection.Buffer.erase(0, std::min(used, aConnection.Buffer.size()));
  return true;
}
