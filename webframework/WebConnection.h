#pragma once

#include "webframework/WebRequestHead.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

// Owns one socket descriptor; closes it on destruction. Move-only.
class TWebSocketHandle {
public:
  TWebSocketHandle() = default;
  explicit TWebSocketHandle(int aFd) : fFd(aFd) {}
  ~TWebSocketHandle() { close(); }
  TWebSocketHandle(TWebSocketHandle&& aOther) noexcept : fFd(aOther.release()) {}
  TWebSocketHandle& operator=(TWebSocketHandle&& aOther) noexcept;
  TWebSocketHandle(const TWebSocketHandle&) = delete;
  TWebSocketHandle& operator=(const TWebSocketHandle&) = delete;

  int get() const { return fFd; }
  bool valid() const { return fFd >= 0; }
  int release();
  void close();

private:
  int fFd = -1;
};

using TWebClock = std::chrono::steady_clock;

// One client connection between requests, or with a request on its way to a worker. Owned by
// exactly one place at a time: the listener while it waits for a request, a worker while
// it serves one.
struct TWebConnection {
  // Counts itself in aOpenCount (may be null) for as long as it lives.
  explicit TWebConnection(TWebSocketHandle aSocket,
                          std::shared_ptr<std::atomic<int>> aOpenCount = nullptr);
  ~TWebConnection();
  TWebConnection(const TWebConnection&) = delete;
  TWebConnection& operator=(const TWebConnection&) = delete;

  TWebSocketHandle Socket;
  std::string Buffer;             // received bytes not yet consumed; starts with the next request
  TWebRequestHead Head;           // the scan of the request at the start of Buffer
  TWebClock::time_point Deadline; // when the listener gives up waiting
  bool RequestStarted = false;    // a byte of the next request has arrived
  bool Draining = false;          // refused: read and discard until the client is done
  int RequestCount = 0;
  std::string RemoteAddr;
  int RemotePort = 0;
  std::string LocalAddr;
  int LocalPort = 0;

private:
  std::shared_ptr<std::atomic<int>> fOpenCount;
};

// The numeric address and port of a socket's peer or of its own end; false on failure.
bool webPeerAddress(int aFd, std::string& aAddress, int& aPort);
bool webLocalAddress(int aFd, std::string& aAddress, int& aPort);
// Sends what the socket takes now without waiting; returns the bytes sent (0 on failure).
std::size_t webSendNow(int aFd, std::string_view aBytes);
