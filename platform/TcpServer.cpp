#include "platform/TcpServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

TTcpServer::~TTcpServer() {
  close();
}

void TTcpServer::close() {
  if (fSocket >= 0) {
    ::close(fSocket);
    fSocket = -1;
  }
  fPort = 0;
}

TNetResult TTcpServer::listen(const std::string& aAddress, int aPort, int aBacklog) {
  close();
  if (aPort < 0 || aPort > 65535) {
    return TNetResult::failure(EINVAL, "port " + std::to_string(aPort) + " is out of range");
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const std::string port = std::to_string(aPort);
  if (const int failed = ::getaddrinfo(aAddress.empty() ? nullptr : aAddress.c_str(), port.c_str(),
                                       &hints, &addresses);
      failed != 0) {
    return TNetResult::failure(EINVAL, "cannot use address \"" + aAddress +
                                           "\": " + ::gai_strerror(failed));
  }
  int error = EADDRNOTAVAIL;
  for (const addrinfo* address = addresses; address != nullptr && fSocket < 0;
       address = address->ai_next) {
    const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = errno;
      continue;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, address->ai_addr, address->ai_addrlen) != 0 || ::listen(fd, aBacklog) != 0) {
      error = errno;
      ::close(fd);
      continue;
    }
    fSocket = fd;
  }
  ::freeaddrinfo(addresses);
  if (fSocket < 0) {
    return TNetResult::failure(error);
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fSocket, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
    fPort = bound.ss_family == AF_INET6
                ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
                : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
  }
  return {};
}

TNetResult TTcpServer::accept(TTcpClient& aClient, int aTimeoutMs) {
  if (fSocket < 0) {
    return TNetResult::failure(ENOTCONN);
  }
  pollfd entry{fSocket, POLLIN, 0};
  const int ready = ::poll(&entry, 1, aTimeoutMs);
  if (ready == 0) {
    return TNetResult::failure(ETIMEDOUT);
  }
  if (ready < 0) {
    return TNetResult::failure(errno);
  }
  const int fd = ::accept4(fSocket, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    return TNetResult::failure(errno);
  }
  aClient = TTcpClient(fd);
  return {};
}

} // namespace platform
