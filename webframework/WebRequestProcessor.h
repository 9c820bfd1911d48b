#pragma once

#include "webframework/WebApplicationRouter.h"
#include "webframework/WebConnection.h"

#include <httplib.h>

#include <atomic>
#include <chrono>

// Reads one request from a connection whose request has arrived, runs it through the router
// and writes the answer, with the HTTP library doing the parsing and writing. Used by any
// number of worker threads at once, each on its own connection; keeps no per-request state.
// The library's socket loop is not used: the listener owns the sockets between requests.
class TWebRequestProcessor : private httplib::Server {
public:
  // Answers finished while aClosing is set tell the client that the connection closes.
  TWebRequestProcessor(const TWebApplicationRouter& aRouter, const std::atomic<bool>& aClosing,
                       const TWebLimits& aLimits, std::chrono::milliseconds aKeepAliveTimeout,
                       int aMaxRequestsPerConnection);

  // Serves the request at the start of aConnection's buffer. Returns true when the connection
  // may carry another request; its buffer then starts with whatever followed this one.
  bool serve(TWebConnection& aConnection, bool aCloseAfter, TWebClock::time_point aReadDeadline,
             std::chrono::milliseconds aWriteTimeout);

private:
  void handle(const httplib::Request& aRequest, httplib::Response& aResponse) const;
  static void prepare(httplib::Request& aRequest, const TWebConnection& aConnection);

  const TWebApplicationRouter& fRouter; // not owned; outlives the processor
  const std::atomic<bool>& fClosing;    // not owned; outlives the processor
};

// The framework's view of a parsed request, and the library's answer from a filled response.
TWebRequest webRequestOf(const httplib::Request& aRequest);
void applyWebResponse(const TWebResponse& aSource, httplib::Response& aTarget);
