#pragma once

#include <cstddef>
#include <string_view>

// Size limits of one request.
struct TWebLimits {
  std::size_t MaxRequestLineSize = 8192; // method, target and version
  std::size_t MaxHeadSize = 16384;       // request line and headers with their line ends
  std::size_t MaxBodySize = 65536;
};

enum class EWebHeadScan {
  Incomplete, // more bytes are needed
  Complete,   // the request can be handed to a worker
  Refused,    // answer RefusalStatus and close the connection
};

// What the first bytes of a connection's buffer say about the request they begin.
struct TWebRequestHead {
  EWebHeadScan State = EWebHeadScan::Incomplete;
  int RefusalStatus = 0;       // 400, 413, 414, 431 or 501 when Refused
  std::size_t HeadSize = 0;    // bytes up to and including the empty line, when known
  std::size_t BodySize = 0;    // the Content-Length; 0 without one
  bool Chunked = false;        // the body follows in chunks; its end is found by the reader
  bool ExpectContinue = false; // the client waits for "100 Continue" before its body
};

// Scans the head of the request that starts at the beginning of aBytes. A request is
// complete when its head and a Content-Length body are all there, or, for a chunked body or
// one the client holds back until "100 Continue", as soon as its head is. Pure: no I/O.
TWebRequestHead scanWebRequestHead(std::string_view aBytes, const TWebLimits& aLimits);

// The response sent for a refused request (status line, headers, a short text body), with
// "Connection: close".
std::string_view webRefusalResponse(int aStatus);
