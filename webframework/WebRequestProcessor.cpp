#include "webframework/WebRequestProcessor.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

std::string mediaTypeOf(const std::string& aContentType) {
  std::string type = aContentType.substr(0, aContentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
    type.pop_back();
  }
  return lowerAscii(type);
}

// Headers the server writes itself from the body and the connection state.
bool isFramingHeader(const std::string& aName) {
  return equalsIgnoreCase(aName, "content-length") || equalsIgnoreCase(aName, "connection") ||
         equalsIgnoreCase(aName, "keep-alive") || equalsIgnoreCase(aName, "transfer-encoding") ||
         equalsIgnoreCase(aName, "content-type");
}

// Header names in the order answers and requests list them: without regard to case.
bool lessIgnoringCase(const std::string& a, const std::string& b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return lower(x) < lower(y); });
}

const char* reasonPhrase(int aStatus) {
  switch (aStatus) {
  case 100:
    return "Continue";
  case 200:
    return "OK";
  case 201:
    return "Created";
  case 202:
    return "Accepted";
  case 204:
    return "No Content";
  case 301:
    return "Moved Permanently";
  case 302:
    return "Found";
  case 303:
    return "See Other";
  case 304:
    return "Not Modified";
  case 307:
    return "Temporary Redirect";
  case 400:
    return "Bad Request";
  case 401:
    return "Unauthorized";
  case 403:
    return "Forbidden";
  case 404:
    return "Not Found";
  case 405:
    return "Method Not Allowed";
  case 408:
    return "Request Timeout";
  case 413:
    return "Payload Too Large";
  case 414:
    return "URI Too Long";
  case 431:
    return "Request Header Fields Too Large";
  case 500:
    return "Internal Server Error";
  case 501:
    return "Not Implemented";
  case 503:
    return "Service Unavailable";
  default:
    return aStatus < 300   ? "OK"
           : aStatus < 400 ? "Redirect"
           : aStatus < 500 ? "Client Error"
                           : "Server Error";
  }
}

// Whether the client asks to close the connection after this request.
bool clientCloses(const TWebRequestHead& aHead) {
  for (const TWebField& header : aHead.Headers) {
    if (equalsIgnoreCase(header.Name, "Connection")) {
      if (equalsIgnoreCase(header.Value, "close")) {
        return true;
      }
      if (equalsIgnoreCase(header.Value, "keep-alive")) {
        return false;
      }
    }
  }
  return aHead.Version == "HTTP/1.0"; // HTTP/1.0 keeps a connection only when asked to
}

// Waits until aFd is ready for aEvents or aDeadline passes; false on time-out or error.
bool waitForSocket(int aFd, short aEvents, TWebClock::time_point aDeadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TWebClock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd item{aFd, aEvents, 0};
    const int n = ::poll(&item, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (n < 0 && errno != EINTR) {
      return false;
    }
    if (n > 0) {
      // A hang-up still lets buffered input be read; for writing it is the end.
      return (item.revents & aEvents) != 0 || ((aEvents & POLLIN) && (item.revents & POLLHUP));
    }
  }
}

// Appends what arrives on the socket until aDeadline; false on time-out, close or error.
bool receiveMore(TWebConnection& aConnection, TWebClock::time_point aDeadline) {
  if (!waitForSocket(aConnection.Socket.get(), POLLIN, aDeadline)) {
    return false;
  }
  char chunk[16 * 1024];
  ssize_t n;
  do {
    n = ::recv(aConnection.Socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    return true; // woken without data; the caller looks again
  }
  if (n <= 0) {
    return false;
  }
  aConnection.Buffer.append(chunk, static_cast<std::size_t>(n));
  return true;
}

// Sends all of aBytes within aTimeout; false when the client does not take them in time.
bool sendAll(int aFd, std::string_view aBytes, std::chrono::milliseconds aTimeout) {
  const TWebClock::time_point deadline = TWebClock::now() + aTimeout;
  std::size_t sent = 0;
  while (sent < aBytes.size()) {
    const ssize_t n =
        ::send(aFd, aBytes.data() + sent, aBytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        waitForSocket(aFd, POLLOUT, deadline)) {
      continue;
    }
    return false;
  }
  return true;
}

// Tells a handler that asked whether its answer went out whole. Never throws.
void notifyWritten(TWebResponse& aResponse, bool aComplete) {
  if (!aResponse.OnWritten) {
    return;
  }
  try {
    aResponse.OnWritten(aComplete);
  } catch (const std::exception& e) {
    Logger().error("webframework", std::string("after writing an answer: ") + e.what());
  }
}

} // namespace

TWebRequest webRequestOf(const TWebRequestHead& aHead, std::string aBody,
                         const TWebConnection& aConnection) {
  TWebRequest request;
  request.Method = aHead.Method;
  request.ProtocolVersion = aHead.Version;
  request.Target = aHead.Target;
  const std::size_t question = aHead.Target.find('?');
  request.Path = webUrlDecode(std::string_view(aHead.Target).substr(0, question), false);
  if (question != std::string::npos) {
    request.QueryText = aHead.Target.substr(question + 1);
    request.QueryFields = parseWebFormFields(request.QueryText);
  }
  request.Headers = aHead.Headers;
  std::stable_sort(
      request.Headers.begin(), request.Headers.end(),
      [](const TWebField& a, const TWebField& b) { return lessIgnoringCase(a.Name, b.Name); });
  request.ContentType = request.getHeader("Content-Type");
  request.Body = std::move(aBody);
  if (mediaTypeOf(request.ContentType) == "application/x-www-form-urlencoded") {
    request.FormFields = parseWebFormFields(request.Body);
  }
  request.RemoteAddr = aConnection.RemoteAddr;
  request.RemotePort = aConnection.RemotePort;
  request.LocalAddr = aConnection.LocalAddr;
  request.LocalPort = aConnection.LocalPort;
  return request;
}

std::string webResponseText(const TWebResponse& aResponse, bool aHeadRequest, bool aClose,
                            const std::string& aKeepAlive) {
  int status = aResponse.Status;
  if (status < 100 || status > 599) {
    Logger().error("webframework", "invalid status " + std::to_string(status) +
                                       " set by a request handler, answered with 500");
    status = 500;
  }
  std::vector<const TWebField*> headers;
  for (const TWebField& header : aResponse.Headers) {
    if (!isFramingHeader(header.Name) && !header.Name.empty() &&
        header.Name.find_first_of(":\r\n ") == std::string::npos &&
        header.Value.find_first_of("\r\n") == std::string::npos) {
      headers.push_back(&header);
    }
  }
  std::string contentType =
      aResponse.ContentType.empty() ? aResponse.getHeader("Content-Type") : aResponse.ContentType;
  if (contentType.find_first_of("\r\n") != std::string::npos) {
    contentType.clear();
  }
  if (contentType.empty() && !aResponse.Body.empty()) {
    contentType = "text/plain";
  }
  const TWebField contentTypeField{"Content-Type", contentType};
  const TWebField lengthField{"Content-Length", std::to_string(aResponse.Body.size())};
  const TWebField connectionField =
      aClose ? TWebField{"Connection", "close"} : TWebField{"Keep-Alive", aKeepAlive};
  if (!contentType.empty()) {
    headers.push_back(&contentTypeField);
  }
  headers.push_back(&lengthField);
  headers.push_back(&connectionField);
  std::stable_sort(headers.begin(), headers.end(), [](const TWebField* a, const TWebField* b) {
    return lessIgnoringCase(a->Name, b->Name);
  });
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
  for (const TWebField* header : headers) {
    text += header->Name + ": " + header->Value + "\r\n";
  }
  text += "\r\n";
  if (!aHeadRequest) {
    text += aResponse.Body;
  }
  return text;
}

TWebRequestProcessor::TWebRequestProcessor(const TWebApplicationRouter& aRouter,
                                           const std::atomic<bool>& aClosing,
                                           const TWebLimits& aLimits,
                                           std::chrono::milliseconds aKeepAliveTimeout,
                                           int aMaxRequestsPerConnection)
    : fRouter(aRouter), fClosing(aClosing), fLimits(aLimits),
      // Only the answers show these; the listener enforces them.
      fKeepAlive(
          "timeout=" + std::to_string(std::max<long long>(1, aKeepAliveTimeout.count() / 1000)) +
          ", max=" + std::to_string(std::max(1, aMaxRequestsPerConnection))) {}

bool TWebRequestProcessor::readBody(TWebConnection& aConnection,
                                    TWebClock::time_point aReadDeadline,
                                    std::chrono::milliseconds aWriteTimeout, std::string& aBody,
                                    std::size_t& aUsed, int& aRefusal) const {
  const TWebRequestHead& head = aConnection.Head;
  std::string& buffer = aConnection.Buffer;
  const bool bodyMissing =
      head.Chunked ? buffer.size() == head.HeadSize : buffer.size() < head.HeadSize + head.BodySize;
  if (head.ExpectContinue && bodyMissing &&
      !sendAll(aConnection.Socket.get(), "HTTP/1.1 100 Continue\r\n\r\n", aWriteTimeout)) {
    return false;
  }
  if (!head.Chunked) {
    while (buffer.size() < head.HeadSize + head.BodySize) {
      if (!receiveMore(aConnection, aReadDeadline)) {
        return false;
      }
    }
    aBody = buffer.substr(head.HeadSize, head.BodySize);
    aUsed = head.HeadSize + head.BodySize;
    return true;
  }
  for (;;) {
    TWebChunkedBody body =
        scanWebChunkedBody(std::string_view(buffer).substr(head.HeadSize), fLimits.MaxBodySize);
    if (body.State == EWebBodyScan::Refused) {
      aRefusal = body.RefusalStatus;
      return true;
    }
    if (body.State == EWebBodyScan::Complete) {
      aBody = std::move(body.Body);
      aUsed = head.HeadSize + body.Size;
      return true;
    }
    // Chunk framing costs bytes too; a client that sends far more than a body's worth is
    // refused rather than buffered.
    if (buffer.size() - head.HeadSize > 2 * fLimits.MaxBodySize + 65536) {
      aRefusal = 413;
      return true;
    }
    if (!receiveMore(aConnection, aReadDeadline)) {
      return false;
    }
  }
}

bool TWebRequestProcessor::serve(TWebConnection& aConnection, bool aCloseAfter,
                                 TWebClock::time_point aReadDeadline,
                                 std::chrono::milliseconds aWriteTimeout) const {
  const TWebRequestHead& head = aConnection.Head;
  std::string body;
  std::size_t used = 0;
  int refusal = 0;
  if (!readBody(aConnection, aReadDeadline, aWriteTimeout, body, used, refusal)) {
    return false;
  }
  if (refusal == 0 && body.size() > fLimits.MaxFormBodySize) {
    for (const TWebField& header : head.Headers) {
      if (equalsIgnoreCase(header.Name, "Content-Type") &&
          mediaTypeOf(header.Value) == "application/x-www-form-urlencoded") {
        refusal = 413;
      }
    }
  }
  if (refusal != 0) {
    TWebResponse answer;
    answer.Status = refusal;
    answer.ContentType = "text/plain";
    answer.Body = std::to_string(refusal) + " " + reasonPhrase(refusal);
    sendAll(aConnection.Socket.get(), webResponseText(answer, false, true, fKeepAlive),
            aWriteTimeout);
    return false;
  }
  TWebResponse response;
  fRouter.handleRequest(webRequestOf(head, std::move(body), aConnection), response);
  const bool close = aCloseAfter || fClosing || clientCloses(head);
  const bool headOnly = head.Method == "HEAD";
  std::string answer = webResponseText(response, headOnly, close, fKeepAlive);
  if (response.HoldUntil > TWebClock::now()) {
    // The listener sends it when its time comes; no worker waits for that. Whoever asked to
    // hear of the writing learns that it is not known to have gone out.
    notifyWritten(response, false);
    aConnection.HeldAnswer = std::move(answer);
    aConnection.HeldClose = close;
    aConnection.Deadline = response.HoldUntil;
    consumeRequest(aConnection, used);
    return true;
  }
  const bool written = sendAll(aConnection.Socket.get(), answer, aWriteTimeout);
  notifyWritten(response, written && !headOnly);
  if (!written || close) {
    return false;
  }
  consumeRequest(aConnection, used);
  return true;
}

void consumeRequest(TWebConnection& aConnection, std::size_t aUsed) {
  std::string& buffer = aConnection.Buffer;
  buffer.erase(0, std::min(aUsed, buffer.size()));
  // The room a big request took goes back at once, not when the connection closes.
  if (buffer.capacity() > 65536 && buffer.size() < 16384) {
    buffer.shrink_to_fit();
  }
}
