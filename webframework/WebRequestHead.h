#pragma once

#include "webframework/WebRequest.h"

#include <cstddef>
#include <string>
#include <string_view>

// Size limits of one request.
struct TWebLimits {
  std::size_t MaxRequestLineSize = 8192; // method, target and version
  std::size_t MaxHeadSize = 16384;       // request line and headers with their line ends
  std::size_t MaxBodySize = 65536;
  std::size_t MaxFormBodySize = 8192; // a body of type application/x-www-form-urlencoded
  // What chunk-size lines, extensions and trailers may add to a chunked body beyond
  // MaxBodySize: a body sent in absurdly small chunks is refused 413 like a big one.
  std::size_t MaxChunkFraming = 16384;
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
  // Known when Complete: the request line and the headers, in the order they came (values
  // without the blanks around them).
  std::string Method;  // GET, HEAD, POST, PUT, DELETE, CONNECT, OPTIONS, TRACE or PATCH
  std::string Target;  // as sent: "/sendsms?smsusr=a"
  std::string Version; // "HTTP/1.0" or "HTTP/1.1"
  TWebFields Headers;
};

// Scans and parses the head of the request that starts at the beginning of aBytes: this is
// the only reading of a request head. A request is complete when its head and a
// Content-Length body are all there, or, for a chunked body or one the client holds back
// until "100 Continue", as soon as its head is. A request line that is not "<method> <target>
// HTTP/1.0|1.1" with a known method is refused 400. Pure: no I/O.
TWebRequestHead scanWebRequestHead(std::string_view aBytes, const TWebLimits& aLimits);

enum class EWebBodyScan { Incomplete, Complete, Refused };

// What the bytes after a head say about a chunked body: its decoded content and, when
// Complete, the bytes it takes up to and including its last line. Refused with 400 for a
// malformed chunk and 413 for a body over aMaxBodySize. Pure: no I/O.
struct TWebChunkedBody {
  EWebBodyScan State = EWebBodyScan::Incomplete;
  int RefusalStatus = 0;
  std::size_t Size = 0;
  std::string Body;
};
TWebChunkedBody scanWebChunkedBody(std::string_view aBytes, std::size_t aMaxBodySize);

// How far the chunk framing of a body that is still arriving has been read: where the next
// chunk-size (or trailer) line starts and how many body bytes came before it. Kept between
// scans so that a body trickling in is read once, not again with every piece.
struct TWebChunkedProgress {
  std::size_t Pos = 0;      // offset in the bytes after the head
  std::size_t BodySize = 0; // decoded bytes before Pos
  bool Trailer = false;     // the last chunk has been read; trailer lines follow
};

// Whether the whole request whose head aHead was scanned from the start of aBytes has
// arrived: a Content-Length body in full, or a chunked body up to its last line. A chunked
// body that is malformed (400), over MaxBodySize (413) or, still unfinished, already longer
// than MaxBodySize + MaxChunkFraming (413) is Refused with aRefusal set. aProgress carries a
// chunked scan over from the previous call (start with {} for each request). Pure.
EWebBodyScan scanWebRequestBody(std::string_view aBytes, const TWebRequestHead& aHead,
                                const TWebLimits& aLimits, TWebChunkedProgress& aProgress,
                                int& aRefusal);

// The response sent for a refused request (status line, headers, a short text body), with
// "Connection: close".
std::string_view webRefusalResponse(int aStatus);
