#include "webframework/WebConnectionStream.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

TWebConnectionStream::TWebConnectionStream(TWebConnection& aConnection,
                                           TWebClock::time_point aReadDeadline,
                                           std::chrono::milliseconds aWriteTimeout)
    : fConnection(aConnection), fReadDeadline(aReadDeadline), fWriteTimeout(aWriteTimeout) {}

bool TWebConnectionStream::waitFor(short aEvents, TWebClock::time_point aDeadline) const {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TWebClock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd item{fConnection.Socket.get(), aEvents, 0};
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

bool TWebConnectionStream::is_readable() const {
  return fConsumed < fConnection.Buffer.size() || waitFor(POLLIN, fReadDeadline);
}

bool TWebConnectionStream::is_writable() const {
  const TWebClock::time_point deadline =
      fWriting ? fWriteDeadline : TWebClock::now() + fWriteTimeout;
  return waitFor(POLLOUT, deadline);
}

ssize_t TWebConnectionStream::read(char* aPtr, size_t aSize) {
  fWriting = false;
  std::string& buffer = fConnection.Buffer;
  if (fConsumed == buffer.size()) {
    if (!waitFor(POLLIN, fReadDeadline)) {
      return -1;
    }
    char chunk[4096];
    ssize_t n;
    do {
      n = ::recv(fConnection.Socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      return n == 0 ? 0 : -1;
    }
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
  const std::size_t count = std::min(aSize, buffer.size() - fConsumed);
  std::memcpy(aPtr, buffer.data() + fConsumed, count);
  fConsumed += count;
  return static_cast<ssize_t>(count);
}

ssize_t TWebConnectionStream::write(const char* aPtr, size_t aSize) {
  if (!fWriting) {
    fWriting = true;
    fWriteDeadline = TWebClock::now() + fWriteTimeout;
  }
  std::size_t sent = 0;
  while (sent < aSize) {
    if (!waitFor(POLLOUT, fWriteDeadline)) {
      break;
    }
    const ssize_t n =
        ::send(fConnection.Socket.get(), aPtr + sent, aSize - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  return sent == 0 && aSize > 0 ? -1 : static_cast<ssize_t>(sent);
}

void TWebConnectionStream::get_remote_ip_and_port(std::string& aIp, int& aPort) const {
  aIp = fConnection.RemoteAddr;
  aPort = fConnection.RemotePort;
}

void TWebConnectionStream::get_local_ip_and_port(std::string& aIp, int& aPort) const {
  aIp = fConnection.LocalAddr;
  aPort = fConnection.LocalPort;
}

socket_t TWebConnectionStream::socket() const {
  return fConnection.Socket.get();
}
