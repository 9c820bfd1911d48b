#include "webframework/WebConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

TWebSocketHandle& TWebSocketHandle::operator=(TWebSocketHandle&& aOther) noexcept {
  if (this != &aOther) {
    close();
    fFd = aOther.release();
  }
  return *this;
}

int TWebSocketHandle::release() {
  const int fd = fFd;
  fFd = -1;
  return fd;
}

void TWebSocketHandle::close() {
  if (fFd >= 0) {
    ::close(fFd);
    fFd = -1;
  }
}

void TWebConnectionTally::add(const std::string& aAddress) {
  TScopedLock lock(fCSTally);
  ++fByAddress[aAddress];
  ++fTotal;
}

void TWebConnectionTally::remove(const std::string& aAddress) {
  TScopedLock lock(fCSTally);
  const auto found = fByAddress.find(aAddress);
  if (found != fByAddress.end() && --found->second <= 0) {
    fByAddress.erase(found);
  }
  --fTotal;
}

int TWebConnectionTally::total() const {
  TScopedLock lock(fCSTally);
  return fTotal;
}

int TWebConnectionTally::countOf(const std::string& aAddress) const {
  TScopedLock lock(fCSTally);
  const auto found = fByAddress.find(aAddress);
  return found == fByAddress.end() ? 0 : found->second;
}

TWebConnection::TWebConnection(TWebSocketHandle aSocket,
                               std::shared_ptr<TWebConnectionTally> aTally, std::string aRemoteAddr)
    : Socket(std::move(aSocket)), RemoteAddr(aRemoteAddr), fTally(std::move(aTally)),
      fCountedAddress(std::move(aRemoteAddr)) {
  if (fTally) {
    fTally->add(fCountedAddress);
  }
}

TWebConnection::~TWebConnection() {
  if (fTally) {
    fTally->remove(fCountedAddress);
  }
}

namespace {

bool addressOf(const sockaddr_storage& aAddress, std::string& aText, int& aPort) {
  char text[INET6_ADDRSTRLEN] = {};
  if (aAddress.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(aAddress);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    aPort = ntohs(v4.sin_port);
  } else if (aAddress.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(aAddress);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
      inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text); // an IPv4 client
    } else {
      inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    aPort = ntohs(v6.sin6_port);
  } else {
    return false;
  }
  aText = text;
  return true;
}

} // namespace

bool webPeerAddress(int aFd, std::string& aAddress, int& aPort) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  return getpeername(aFd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
         addressOf(address, aAddress, aPort);
}

bool webLocalAddress(int aFd, std::string& aAddress, int& aPort) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  return getsockname(aFd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
         addressOf(address, aAddress, aPort);
}

std::size_t webSendNow(int aFd, std::string_view aBytes) {
  std::size_t sent = 0;
  while (sent < aBytes.size()) {
    const ssize_t n =
        ::send(aFd, aBytes.data() + sent, aBytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  return sent;
}
