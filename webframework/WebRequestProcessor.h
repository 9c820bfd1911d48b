#pragma once

#include "webframework/WebApplicationRouter.h"
#include "webframework/WebConnection.h"

#include <atomic>
#include <chrono>
#include <string>

// Serves the request at the start of a connection's buffer, whose head the listener has
// scanned and parsed (TWebRequestHead): reads a body that is still on its way (chunked, or
// held back until "100 Continue"), runs the request through the router and writes the
// answer. Used by any number of worker threads at once, each on its own connection; keeps no
// per-request state.
class TWebRequestProcessor {
public:
  // Answers finished while aClosing is set tell the client that the connection closes.
  TWebRequestProcessor(const TWebApplicationRouter& aRouter, const std::atomic<bool>& aClosing,
                       const TWebLimits& aLimits, std::chrono::milliseconds aKeepAliveTimeout,
                       int aMaxRequestsPerConnection);

  // Serves the request at the start of aConnection's buffer. Returns true when the connection
  // may carry another request; its buffer then starts with whatever followed this one. When
  // the handler holds its answer back (TWebResponse::HoldUntil), the answer is left in the
  // connection's HeldAnswer for the listener to send at its Deadline.
  bool serve(TWebConnection& aConnection, bool aCloseAfter, TWebClock::time_point aReadDeadline,
             std::chrono::milliseconds aWriteTimeout) const;

private:
  // The body of the request: false (the connection closes) when it does not arrive in time;
  // aRefusal is set when it is refused. aUsed is the bytes of the whole request.
  bool readBody(TWebConnection& aConnection, TWebClock::time_point aReadDeadline,
                std::chrono::milliseconds aWriteTimeout, std::string& aBody, std::size_t& aUsed,
                int& aRefusal) const;

  const TWebApplicationRouter& fRouter; // not owned; outlives the processor
  const std::atomic<bool>& fClosing;    // not owned; outlives the processor
  TWebLimits fLimits;
  std::string fKeepAlive; // the Keep-Alive header of answers on a connection that stays open
};

// Drops the aUsed bytes of a served request from the connection's buffer.
void consumeRequest(TWebConnection& aConnection, std::size_t aUsed);
// The framework's view of a request whose head was parsed into aHead, with its body.
TWebRequest webRequestOf(const TWebRequestHead& aHead, std::string aBody,
                         const TWebConnection& aConnection);
// The bytes of an answer: status line, the handler's headers (in name order, without framing
// headers and values holding CR or LF), Content-Type, Content-Length (the body's byte count),
// Connection or Keep-Alive, then the body (none for a HEAD request). A status outside
// 100..599 is answered 500.
std::string webResponseText(const TWebResponse& aResponse, bool aHeadRequest, bool aClose,
                            const std::string& aKeepAlive);
