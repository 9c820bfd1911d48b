#pragma once

#include "webframework/WebConnection.h"

#include <httplib.h>

#include <chrono>

// The HTTP library's view of a connection while a worker serves one request on it: reads
// come first from the bytes the listener gathered, then from the socket; every wait is
// bounded. Used by one worker thread at a time; never throws.
class TWebConnectionStream : public httplib::Stream {
public:
  // Reads wait until aReadDeadline at the latest; each phase of writing (the writes after a
  // read) must end within aWriteTimeout.
  TWebConnectionStream(TWebConnection& aConnection, TWebClock::time_point aReadDeadline,
                       std::chrono::milliseconds aWriteTimeout);

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* aPtr, size_t aSize) override;
  ssize_t write(const char* aPtr, size_t aSize) override;
  void get_remote_ip_and_port(std::string& aIp, int& aPort) const override;
  void get_local_ip_and_port(std::string& aIp, int& aPort) const override;
  socket_t socket() const override;

  // Bytes of the connection's buffer the library has read.
  std::size_t consumed() const { return fConsumed; }

private:
  // Waits for aEvents until aDeadline; false on time-out, error or hang-up.
  bool waitFor(short aEvents, TWebClock::time_point aDeadline) const;

  TWebConnection& fConnection; // not owned: the worker holds it while the stream lives
  TWebClock::time_point fReadDeadline;
  std::chrono::milliseconds fWriteTimeout;
  TWebClock::time_point fWriteDeadline;
  bool fWriting = false;
  std::size_t fConsumed = 0;
};
