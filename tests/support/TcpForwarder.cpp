#include "tests/support/TcpForwarder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

namespace {

void resetAndClose(int aFd) {
  const linger hard{1, 0}; // RST instead of an orderly close
  setsockopt(aFd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(aFd);
}

int connectTo(const std::string& aHost, int aPort) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(aHost.c_str(), std::to_string(aPort).c_str(), &hints, &found) != 0) {
    return -1;
  }
  int fd = -1;
  for (addrinfo* item = found; item != nullptr && fd < 0; item = item->ai_next) {
    fd = ::socket(item->ai_family, item->ai_socktype | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, item->ai_addr, item->ai_addrlen) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

bool sendAll(int aFd, const char* aData, ssize_t aSize) {
  while (aSize > 0) {
    const ssize_t n = ::send(aFd, aData, static_cast<std::size_t>(aSize), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    aData += n;
    aSize -= n;
  }
  return true;
}

} // namespace

struct TTcpForwarder::TPair {
  int Client = -1;
  int Server = -1;
};

TTcpForwarder::TTcpForwarder(std::string aHost, int aPort)
    : fHost(std::move(aHost)), fTargetPort(aPort) {
  fListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fListen < 0 || ::bind(fListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fListen, 64) != 0 ||
      getsockname(fListen, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(fWake, O_CLOEXEC) != 0) {
    throw std::runtime_error("the forwarder cannot listen");
  }
  fPort = ntohs(address.sin_port);
  fAcceptor = std::thread([this] { acceptLoop(); });
}

TTcpForwarder::~TTcpForwarder() {
  {
    std::lock_guard lock(fLock);
    fStopping = true;
  }
  [[maybe_unused]] const ssize_t n = ::write(fWake[1], "x", 1);
  fAcceptor.join();
  cut();
  joinFinished();
  ::close(fListen);
  ::close(fWake[0]);
  ::close(fWake[1]);
}

void TTcpForwarder::cut() {
  std::lock_guard lock(fLock);
  fRefusing = true;
  for (const auto& pair : fPairs) {
    // The pump sees the end on both sides and closes them.
    ::shutdown(pair->Client, SHUT_RDWR);
    ::shutdown(pair->Server, SHUT_RDWR);
  }
}

void TTcpForwarder::restore() {
  std::lock_guard lock(fLock);
  fRefusing = false;
}

int TTcpForwarder::connectionCount() const {
  std::lock_guard lock(fLock);
  return fConnections;
}

void TTcpForwarder::joinFinished() {
  std::vector<std::thread> pumps;
  {
    std::lock_guard lock(fLock);
    pumps.swap(fPumps);
  }
  for (auto& pump : pumps) {
    pump.join();
  }
}

void TTcpForwarder::acceptLoop() {
  for (;;) {
    pollfd items[2] = {{fListen, POLLIN, 0}, {fWake[0], POLLIN, 0}};
    if (::poll(items, 2, -1) < 0 && errno != EINTR) {
      return;
    }
    if (items[1].revents != 0) {
      return;
    }
    if (items[0].revents == 0) {
      continue;
    }
    const int client = ::accept4(fListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      continue;
    }
    bool refusing = false;
    {
      std::lock_guard lock(fLock);
      refusing = fRefusing || fStopping;
    }
    const int server = refusing ? -1 : connectTo(fHost, fTargetPort);
    if (server < 0) {
      resetAndClose(client);
      continue;
    }
    auto pair = std::make_shared<TPair>();
    pair->Client = client;
    pair->Server = server;
    std::lock_guard lock(fLock);
    ++fConnections;
    fPairs.push_back(pair);
    fPumps.emplace_back([this, pair] { pump(pair); });
  }
}

void TTcpForwarder::pump(std::shared_ptr<TPair> aPair) {
  char buffer[64 * 1024];
  for (bool open = true; open;) {
    pollfd items[2] = {{aPair->Client, POLLIN, 0}, {aPair->Server, POLLIN, 0}};
    if (::poll(items, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    for (int i = 0; i < 2 && open; ++i) {
      if (items[i].revents == 0) {
        continue;
      }
      const ssize_t n = ::recv(items[i].fd, buffer, sizeof buffer, 0);
      open = n > 0 && sendAll(items[1 - i].fd, buffer, n);
    }
  }
  std::lock_guard lock(fLock);
  std::erase(fPairs, aPair);
  resetAndClose(aPair->Client);
  resetAndClose(aPair->Server);
}

} // namespace testsupport
