#include "webframework/WebListener.h"

#include "logging/KvLogger.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;

TWebListenResult failure(int aError, const std::string& aWhat) {
  return {false, aError, aWhat + ": " + std::strerror(aError)};
}

int pollTimeout(TWebClock::time_point aNow, TWebClock::time_point aNext) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aNext - aNow).count();
  return static_cast<int>(std::clamp<long long>(left + 1, 0, 60'000));
}

} // namespace

TWebListener::TWebListener(TWebListenerSettings aSettings, THandOver aHandOver)
    : fSettings(aSettings), fHandOver(std::move(aHandOver)),
      fTally(std::make_shared<TWebConnectionTally>()) {}

TWebListener::~TWebListener() {
  stop();
}

TWebListenResult TWebListener::open(const std::string& aAddress, int aPort) {
  const std::string where = (aAddress.empty() ? "*" : aAddress) + ":" + std::to_string(aPort);
  fWakeEvent = TWebSocketHandle(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!fWakeEvent.valid()) {
    return failure(errno, "cannot create the wake event");
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(aAddress.empty() ? nullptr : aAddress.c_str(),
                             std::to_string(aPort).c_str(), &hints, &found);
  if (rc != 0) {
    return {false, EINVAL, "cannot listen on " + where + ": " + gai_strerror(rc)};
  }
  int error = EADDRNOTAVAIL;
  for (addrinfo* item = found; item != nullptr; item = item->ai_next) {
    TWebSocketHandle socket(
        ::socket(item->ai_family, item->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
      error = errno;
      continue;
    }
    const int on = 1;
    setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(socket.get(), item->ai_addr, item->ai_addrlen) != 0 ||
        ::listen(socket.get(), SOMAXCONN) != 0) {
      error = errno;
      continue;
    }
    fListenSocket = std::move(socket);
    break;
  }
  freeaddrinfo(found);
  if (!fListenSocket.valid()) {
    return failure(error, "cannot listen on " + where);
  }
  std::string address;
  if (!webLocalAddress(fListenSocket.get(), address, fPort)) {
    return failure(errno, "cannot read the port of " + where);
  }
  return {};
}

void TWebListener::start() {
  fThread.start([this](TStoppableThread& aThread) {
    // A failure inside the loop (out of memory) costs the connections waiting then, not the
    // listener.
    while (!aThread.stopRequested()) {
      try {
        run();
      } catch (const std::exception& e) {
        Logger().error("webframework", std::string("listener: ") + e.what());
      } catch (...) {
        Logger().error("webframework", "listener: unknown error");
      }
      aThread.waitFor(std::chrono::milliseconds(100)); // no hot loop on a fault
    }
  });
}

void TWebListener::stop() {
  fThread.requestStop();
  if (fWakeEvent.valid()) {
    wake();
  }
  fThread.join();
  std::vector<std::unique_ptr<TWebConnection>> left;
  {
    TScopedLock lock(fCSInbox);
    fStopped = true;
    left.swap(fInbox);
  }
  fListenSocket.close();
}

void TWebListener::wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fWakeEvent.get(), &one, sizeof one);
}

void TWebListener::giveBack(std::unique_ptr<TWebConnection> aConnection) {
  {
    TScopedLock lock(fCSInbox);
    if (fStopped || stopping()) {
      return; // closed with aConnection
    }
    fInbox.push_back(std::move(aConnection));
  }
  wake();
}

void TWebListener::takeInbox(std::vector<std::unique_ptr<TWebConnection>>& aWaiting) {
  std::vector<std::unique_ptr<TWebConnection>> given;
  {
    TScopedLock lock(fCSInbox);
    given.swap(fInbox);
  }
  for (auto& connection : given) {
    if (connection->HeldAnswer.empty()) {
      startWaiting(*connection);
      examine(connection); // bytes of a pipelined request may be there already
    }
    if (connection) {
      aWaiting.push_back(std::move(connection));
    }
  }
}

void TWebListener::startWaiting(TWebConnection& aConnection) {
  const TWebClock::time_point now = TWebClock::now();
  aConnection.Head = {};
  aConnection.Chunks = {};
  aConnection.ContinueSent = false;
  aConnection.RequestStarted = !aConnection.Buffer.empty();
  aConnection.IdleSince = now;
  aConnection.Deadline =
      now + (aConnection.RequestStarted ? fSettings.RequestTimeout : fSettings.KeepAliveTimeout);
}

void TWebListener::releaseHeldAnswer(std::unique_ptr<TWebConnection>& aConnection) {
  const std::string answer = std::move(aConnection->HeldAnswer);
  aConnection->HeldAnswer.clear();
  if (webSendNow(aConnection->Socket.get(), answer) != answer.size()) {
    aConnection.reset(); // a client that does not take a short answer is not waited for
    return;
  }
  if (aConnection->HeldClose) {
    ::shutdown(aConnection->Socket.get(), SHUT_WR);
    aConnection->Draining = true;
    aConnection->Buffer = {};
    aConnection->Deadline = TWebClock::now() + fSettings.DrainTimeout;
    return;
  }
  startWaiting(*aConnection);
  examine(aConnection);
}

bool TWebListener::makeRoom(std::vector<std::unique_ptr<TWebConnection>>& aWaiting,
                            const std::string& aAddress) {
  const bool addressFull = fTally->countOf(aAddress) >= fSettings.MaxConnectionsPerAddress;
  if (!addressFull && fTally->total() < fSettings.MaxConnections) {
    return true;
  }
  // The candidates: connections done with (draining) before idle ones, then the address
  // holding the most, then the longest idle.
  std::unique_ptr<TWebConnection>* victim = nullptr;
  auto rank = [&](const TWebConnection& aConnection) {
    const int held = addressFull ? 0 : fTally->countOf(aConnection.RemoteAddr);
    return std::make_tuple(aConnection.Draining ? 1 : 0, held,
                           TWebClock::time_point::max() - aConnection.IdleSince);
  };
  for (auto& connection : aWaiting) {
    if (!connection || (!connection->isIdle() && !connection->Draining) ||
        (addressFull && connection->RemoteAddr != aAddress)) {
      continue;
    }
    if (victim == nullptr || rank(*connection) > rank(**victim)) {
      victim = &connection;
    }
  }
  if (victim == nullptr) {
    return false;
  }
  if (Logger().isDebug()) {
    Logger().debug("webframework", "idle connection of " + (*victim)->RemoteAddr +
                                       " closed for a new one from " + aAddress);
  }
  victim->reset();
  return fTally->countOf(aAddress) < fSettings.MaxConnectionsPerAddress &&
         fTally->total() < fSettings.MaxConnections;
}

void TWebListener::acceptAll(std::vector<std::unique_ptr<TWebConnection>>& aWaiting) {
  for (;;) {
    TWebSocketHandle socket(
        ::accept4(fListenSocket.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!socket.valid()) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        Logger().warn("webframework", std::string("accept failed: ") + std::strerror(errno));
      }
      return;
    }
    std::string address;
    int port = 0;
    webPeerAddress(socket.get(), address, port);
    if (!makeRoom(aWaiting, address)) {
      if (Logger().isDebug()) {
        Logger().debug("webframework", "connection from " + address + " refused with 503");
      }
      webSendNow(socket.get(), webRefusalResponse(503));
      continue; // closed at once: the client sees the answer or a reset, never a hang
    }
    const int on = 1;
    setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<TWebConnection>(std::move(socket), fTally, address);
    connection->RemotePort = port;
    webLocalAddress(connection->Socket.get(), connection->LocalAddr, connection->LocalPort);
    connection->IdleSince = TWebClock::now();
    connection->Deadline = connection->IdleSince + fSettings.KeepAliveTimeout;
    aWaiting.push_back(std::move(connection));
  }
}

bool TWebListener::receive(TWebConnection& aConnection) {
  // A request this long is either complete or refused (examine decides); more is not read.
  const std::size_t cap = fSettings.Limits.MaxHeadSize + fSettings.Limits.MaxBodySize +
                          fSettings.Limits.MaxChunkFraming + 1;
  char chunk[kReadChunk];
  for (;;) {
    if (!aConnection.Draining && aConnection.Buffer.size() >= cap) {
      return true; // enough to decide on; the rest waits in the socket
    }
    const ssize_t n = ::recv(aConnection.Socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    if (n == 0) {
      return false; // the client closed its end
    }
    if (!aConnection.Draining) {
      aConnection.Buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }
}

void TWebListener::refuse(TWebConnection& aConnection, int aStatus) {
  if (Logger().isDebug()) {
    Logger().debug("webframework", "request from " + aConnection.RemoteAddr + " refused with " +
                                       std::to_string(aStatus));
  }
  webSendNow(aConnection.Socket.get(), webRefusalResponse(aStatus));
  ::shutdown(aConnection.Socket.get(), SHUT_WR);
  // The client may still be sending; reading it for a while lets it see the answer instead of
  // a reset.
  aConnection.Draining = true;
  aConnection.Buffer = {}; // its memory goes back at once
  aConnection.Deadline = TWebClock::now() + fSettings.DrainTimeout;
}

void TWebListener::examine(std::unique_ptr<TWebConnection>& aConnection) {
  TWebConnection& connection = *aConnection;
  if (connection.Draining || connection.Buffer.empty() || !connection.HeldAnswer.empty()) {
    return;
  }
  if (!connection.RequestStarted) {
    connection.RequestStarted = true;
    connection.Deadline = TWebClock::now() + fSettings.RequestTimeout;
  }
  if (connection.Head.State != EWebHeadScan::Complete) {
    connection.Head = scanWebRequestHead(connection.Buffer, fSettings.Limits);
    if (connection.Head.State == EWebHeadScan::Refused) {
      refuse(connection, connection.Head.RefusalStatus);
      return;
    }
    if (connection.Head.State != EWebHeadScan::Complete) {
      return;
    }
  }
  int refusal = 0;
  switch (scanWebRequestBody(connection.Buffer, connection.Head, fSettings.Limits,
                             connection.Chunks, refusal)) {
  case EWebBodyScan::Refused:
    refuse(connection, refusal);
    return;
  case EWebBodyScan::Incomplete:
    if (connection.Head.ExpectContinue && !connection.ContinueSent) {
      connection.ContinueSent = true;
      webSendNow(connection.Socket.get(), "HTTP/1.1 100 Continue\r\n\r\n");
    }
    return;
  case EWebBodyScan::Complete:
    break;
  }
  aConnection = fHandOver(std::move(aConnection)); // null when taken; closed when given back
  aConnection.reset();
}

void TWebListener::run() {
  std::vector<std::unique_ptr<TWebConnection>> waiting;
  std::vector<pollfd> items;
  while (!stopping()) {
    takeInbox(waiting);
    std::erase(waiting, nullptr);

    TWebClock::time_point next = TWebClock::now() + std::chrono::seconds(60);
    items.assign({{fWakeEvent.get(), POLLIN, 0}, {fListenSocket.get(), POLLIN, 0}});
    for (const auto& connection : waiting) {
      // A connection holding back an answer reads nothing until it is sent (a hang-up or an
      // error is still reported).
      const short events = connection->HeldAnswer.empty() ? POLLIN : 0;
      items.push_back({connection->Socket.get(), events, 0});
      next = std::min(next, connection->Deadline);
    }
    const int n = ::poll(items.data(), items.size(), pollTimeout(TWebClock::now(), next));
    if (n < 0 && errno != EINTR) {
      Logger().error("webframework", std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    if (stopping()) {
      break;
    }
    if (items[0].revents != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t r = ::read(fWakeEvent.get(), &count, sizeof count);
    }
    const std::size_t known = waiting.size();
    for (std::size_t i = 0; i < known; ++i) {
      if (items[i + 2].revents == 0) {
        continue;
      }
      if (!waiting[i]->HeldAnswer.empty() || !receive(*waiting[i])) {
        waiting[i].reset();
        continue;
      }
      examine(waiting[i]);
    }
    const TWebClock::time_point now = TWebClock::now();
    for (auto& connection : waiting) {
      if (!connection || connection->Deadline > now) {
        continue;
      }
      if (!connection->HeldAnswer.empty()) {
        releaseHeldAnswer(connection);
      } else if (connection->RequestStarted && !connection->Draining) {
        refuse(*connection, 408);
      } else {
        connection.reset(); // idle too long, or done draining
      }
    }
    if (items[1].revents != 0) {
      acceptAll(waiting);
    }
  }
}
