#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace webtest {

// A raw TCP client of the server under test, for what an HTTP client library hides: exact
// bytes, pipelining, half-sent requests, idle connections. Every wait is bounded.
class TWebTestSocket {
public:
  // Connects to aPort on 127.0.0.1, from aFromAddress when given (another loopback address
  // such as 127.0.0.2 plays another client).
  explicit TWebTestSocket(int aPort, const std::string& aFromAddress = {});
  ~TWebTestSocket();
  TWebTestSocket(const TWebTestSocket&) = delete;
  TWebTestSocket& operator=(const TWebTestSocket&) = delete;

  bool connected() const { return fFd >= 0; }
  bool send(const std::string& aBytes);
  // Sends what the socket takes of aBytes within aTimeout: the bytes sent, 0 when it took
  // none in time, -1 once the server closed or reset the connection.
  long sendSome(std::string_view aBytes, std::chrono::milliseconds aTimeout);
  // One response: head and Content-Length body; "" when none arrives in time.
  std::string readResponse(std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
  // The first bytes that arrive; "" when none do in time.
  std::string readSome(std::chrono::milliseconds aTimeout = std::chrono::seconds(10));
  // Drops the connection with a reset (no orderly close), as a client that crashed.
  void reset();
  // Everything until the server closes; "" plus false in aClosed when it does not in time.
  std::string readUntilClosed(bool& aClosed,
                              std::chrono::milliseconds aTimeout = std::chrono::seconds(10));

private:
  bool fill(std::chrono::steady_clock::time_point aDeadline); // false on close or time-out

  int fFd = -1;
  std::string fPending;
  bool fEof = false;
};

// The status code of a response text, 0 when there is none.
int statusOf(const std::string& aResponse);
// The body after the empty line.
std::string bodyOf(const std::string& aResponse);
// How often a header line "Name:" occurs in the head (name without regard to case).
int headerCount(const std::string& aResponse, const std::string& aName);
std::string headerValue(const std::string& aResponse, const std::string& aName);

} // namespace webtest
