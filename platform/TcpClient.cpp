#include "platform/TcpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform {
namespace {

using TClock = std::chrono::steady_clock;

int remainingMs(TClock::time_point aDeadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until aSocket is ready for aEvents; ETIMEDOUT when the deadline passes first.
TNetResult waitReady(int aSocket, short aEvents, TClock::time_point aDeadline) {
  for (;;) {
    pollfd entry{aSocket, aEvents, 0};
    const int ready = ::poll(&entry, 1, remainingMs(aDeadline));
    if (ready > 0) {
      return {};
    }
    if (ready == 0) {
      return TNetResult::failure(ETIMEDOUT);
    }
    if (errno != EINTR) {
      return TNetResult::failure(errno);
    }
  }
}

// A non-blocking connect to one address, finished within the deadline.
int connectOne(const addrinfo& aAddress, TClock::time_point aDeadline, int& aError) {
  const int fd =
      ::socket(aAddress.ai_family, aAddress.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    aError = errno;
    return -1;
  }
  if (::connect(fd, aAddress.ai_addr, aAddress.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      aError = errno;
      ::close(fd);
      return -1;
    }
    if (auto ready = waitReady(fd, POLLOUT, aDeadline); !ready) {
      aError = ready.error;
      ::close(fd);
      return -1;
    }
    int socketError = 0;
    socklen_t length = sizeof socketError;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &socketError, &length) != 0 || socketError != 0) {
      aError = socketError != 0 ? socketError : errno;
      ::close(fd);
      return -1;
    }
  }
  // Requests and answers are single short lines: send them at once, not after a delayed ack.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

} // namespace

std::string TNetResult::message() const {
  if (ok) {
    return {};
  }
  return detail.empty() ? std::string(std::strerror(error)) : detail;
}

TTcpClient::TTcpClient(int aConnectedSocket) : fSocket(aConnectedSocket) {
  const int flags = ::fcntl(fSocket, F_GETFL);
  if (flags >= 0) {
    ::fcntl(fSocket, F_SETFL, flags | O_NONBLOCK);
  }
  const int on = 1;
  ::setsockopt(fSocket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TTcpClient::~TTcpClient() {
  disconnect();
}

TTcpClient::TTcpClient(TTcpClient&& aOther) noexcept
    : fSocket(aOther.fSocket), fInput(std::move(aOther.fInput)) {
  aOther.fSocket = -1;
}

TTcpClient& TTcpClient::operator=(TTcpClient&& aOther) noexcept {
  if (this != &aOther) {
    disconnect();
    fSocket = aOther.fSocket;
    fInput = std::move(aOther.fInput);
    aOther.fSocket = -1;
  }
  return *this;
}

void TTcpClient::disconnect() {
  if (fSocket >= 0) {
    ::close(fSocket);
    fSocket = -1;
  }
  fInput.clear();
}

TNetResult TTcpClient::connect(const std::string& aHost, int aPort, int aTimeoutMs) {
  disconnect();
  if (aHost.empty()) {
    return TNetResult::failure(EINVAL, "no host given");
  }
  if (aPort < 1 || aPort > 65535) {
    return TNetResult::failure(EINVAL, "port " + std::to_string(aPort) + " is out of range");
  }
  const auto deadline = TClock::now() + std::chrono::milliseconds(aTimeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const std::string port = std::to_string(aPort);
  if (const int failed = ::getaddrinfo(aHost.c_str(), port.c_str(), &hints, &addresses);
      failed != 0) {
    return TNetResult::failure(failed == EAI_SYSTEM ? errno : EHOSTUNREACH,
                               "cannot resolve \"" + aHost + "\": " + ::gai_strerror(failed));
  }
  int error = ECONNREFUSED;
  for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
    fSocket = connectOne(*address, deadline, error);
    if (fSocket >= 0) {
      break;
    }
  }
  ::freeaddrinfo(addresses);
  return fSocket >= 0 ? TNetResult{} : TNetResult::failure(error);
}

TNetResult TTcpClient::sendAll(std::string_view aData, int aTimeoutMs) {
  if (fSocket < 0) {
    return TNetResult::failure(ENOTCONN);
  }
  const auto deadline = TClock::now() + std::chrono::milliseconds(aTimeoutMs);
  while (!aData.empty()) {
    const ssize_t sent = ::send(fSocket, aData.data(), aData.size(), MSG_NOSIGNAL);
    if (sent >= 0) {
      aData.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return TNetResult::failure(errno);
    }
    if (auto ready = waitReady(fSocket, POLLOUT, deadline); !ready) {
      return ready;
    }
  }
  return {};
}

TNetResult TTcpClient::sendLine(std::string_view aLine, int aTimeoutMs) {
  std::string data(aLine);
  data += "\r\n";
  return sendAll(data, aTimeoutMs);
}

TNetResult TTcpClient::readLine(std::string& aLine, int aTimeoutMs, std::size_t aMaxLength) {
  if (fSocket < 0) {
    return TNetResult::failure(ENOTCONN);
  }
  const auto deadline = TClock::now() + std::chrono::milliseconds(aTimeoutMs);
  std::size_t searched = 0;
  for (;;) {
    const std::size_t end = fInput.find('\n', searched);
    if (end != std::string::npos) {
      const std::size_t length = end > 0 && fInput[end - 1] == '\r' ? end - 1 : end;
      if (length > aMaxLength) {
        fInput.erase(0, end + 1);
        return TNetResult::failure(EMSGSIZE);
      }
      aLine.assign(fInput, 0, length);
      fInput.erase(0, end + 1);
      return {};
    }
    searched = fInput.size();
    if (fInput.size() > aMaxLength) {
      return TNetResult::failure(EMSGSIZE);
    }
    char buffer[4096];
    const ssize_t got = ::recv(fSocket, buffer, sizeof buffer, 0);
    if (got > 0) {
      fInput.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) {
      return TNetResult::failure(ECONNRESET, "connection closed by the other side");
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return TNetResult::failure(errno);
    }
    if (auto ready = waitReady(fSocket, POLLIN, deadline); !ready) {
      return ready;
    }
  }
}

bool TTcpClient::discardInput() {
  fInput.clear();
  if (fSocket < 0) {
    return false;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::recv(fSocket, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      continue;
    }
    if (got == 0) {
      return false;
    }
    if (errno == EINTR) {
      continue;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

std::string TTcpClient::peerName() const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (fSocket < 0 || ::getpeername(fSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return {};
  }
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return {};
  }
  return std::string(host) + ":" + port;
}

} // namespace platform
