#pragma once

#include "platform/Locks.h"
#include "webframework/WebRequestHead.h"

#include <chrono>
#include <map>
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

// The open connections of a server, in all and per client address. Connections count
// themselves in and out; the listener reads the counts to keep to its limits.
// Threads: any (connections end on workers and on the listener); fCSTally is a leaf.
class TWebConnectionTally {
public:
  void add(const std::string& aAddress) EXCLUDES(fCSTally);
  void remove(const std::string& aAddress) EXCLUDES(fCSTally);
  int total() const EXCLUDES(fCSTally);
  int countOf(const std::string& aAddress) const EXCLUDES(fCSTally);

private:
  mutable TCriticalSection fCSTally;
  std::map<std::string, int> fByAddress GUARDED_BY(fCSTally);
  int fTotal GUARDED_BY(fCSTally) = 0;
};

// One client connection between requests, or with a request on its way to a worker. Owned by
// exactly one place at a time: the listener while it waits for a request (or holds back an
// answer), a worker while it serves one.
struct TWebConnection {
  // Counts itself in aTally (may be null) under aRemoteAddr for as long as it lives.
  explicit TWebConnection(TWebSocketHandle aSocket,
                          std::shared_ptr<TWebConnectionTally> aTally = nullptr,
                          std::string aRemoteAddr = {});
  ~TWebConnection();
  TWebConnection(const TWebConnection&) = delete;
  TWebConnection& operator=(const TWebConnection&) = delete;

  // Waiting for a request that has not begun: the connection the listener may close first.
  bool isIdle() const { return !RequestStarted && !Draining && HeldAnswer.empty(); }

  TWebSocketHandle Socket;
  std::string Buffer;             // received bytes not yet consumed; starts with the next request
  TWebRequestHead Head;           // the scan of the request at the start of Buffer
  TWebChunkedProgress Chunks;     // how far its chunked body has been read
  bool ContinueSent = false;      // "100 Continue" went out for this request
  TWebClock::time_point Deadline; // when the listener gives up waiting (or sends HeldAnswer)
  TWebClock::time_point IdleSince;
  bool RequestStarted = false; // a byte of the next request has arrived
  bool Draining = false;       // refused: read and discard until the client is done
  // An answer that may go out only at Deadline (a failed logon's); the connection waits in
  // the listener meanwhile, holding no worker. HeldClose: the connection closes after it.
  std::string HeldAnswer;
  bool HeldClose = false;
  int RequestCount = 0;
  std::string RemoteAddr;
  int RemotePort = 0;
  std::string LocalAddr;
  int LocalPort = 0;

private:
  std::shared_ptr<TWebConnectionTally> fTally;
  std::string fCountedAddress;
};

// The numeric address and port of a socket's peer or of its own end; false on failure.
bool webPeerAddress(int aFd, std::string& aAddress, int& aPort);
bool webLocalAddress(int aFd, std::string& aAddress, int& aPort);
// Sends what the socket takes now without waiting; returns the bytes sent (0 on failure).
std::size_t webSendNow(int aFd, std::string_view aBytes);
