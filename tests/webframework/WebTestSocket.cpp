#include "tests/webframework/WebTestSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace webtest {

namespace {

std::string lower(std::string aText) {
  std::transform(aText.begin(), aText.end(), aText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return aText;
}

} // namespace

TWebTestSocket::TWebTestSocket(int aPort, const std::string& aFromAddress) {
  fFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fFd >= 0 && !aFromAddress.empty()) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    if (inet_pton(AF_INET, aFromAddress.c_str(), &from.sin_addr) != 1 ||
        ::bind(fFd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
      ::close(fFd);
      fFd = -1;
      return;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(aPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fFd >= 0 && ::connect(fFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fFd);
    fFd = -1;
  }
}

TWebTestSocket::~TWebTestSocket() {
  if (fFd >= 0) {
    ::close(fFd);
  }
}

bool TWebTestSocket::send(const std::string& aBytes) {
  std::size_t sent = 0;
  while (sent < aBytes.size()) {
    const ssize_t n = ::send(fFd, aBytes.data() + sent, aBytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

long TWebTestSocket::sendSome(std::string_view aBytes, std::chrono::milliseconds aTimeout) {
  pollfd item{fFd, POLLOUT, 0};
  const int ready = ::poll(&item, 1, static_cast<int>(aTimeout.count()));
  if (ready == 0) {
    return 0;
  }
  if (ready < 0 || (item.revents & (POLLERR | POLLHUP)) != 0) {
    return -1;
  }
  const ssize_t n = ::send(fFd, aBytes.data(), aBytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0) {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
  }
  return static_cast<long>(n);
}

bool TWebTestSocket::fill(std::chrono::steady_clock::time_point aDeadline) {
  if (fEof) {
    return false;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        aDeadline - std::chrono::steady_clock::now())
                        .count();
  pollfd item{fFd, POLLIN, 0};
  // A deadline that has passed still takes what has arrived.
  if (::poll(&item, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) {
    return false;
  }
  char chunk[65536];
  const ssize_t n = ::recv(fFd, chunk, sizeof chunk, 0);
  if (n <= 0) {
    fEof = true; // closed, or reset after the server's close
    return false;
  }
  fPending.append(chunk, static_cast<std::size_t>(n));
  return true;
}

std::string TWebTestSocket::readResponse(std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  for (;;) {
    const std::size_t headEnd = fPending.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      const std::string head = fPending.substr(0, headEnd + 4);
      const std::string length = headerValue(head, "Content-Length");
      const std::size_t total = headEnd + 4 + (length.empty() ? 0 : std::stoul(length));
      if (fPending.size() >= total) {
        std::string response = fPending.substr(0, total);
        fPending.erase(0, total);
        return response;
      }
    }
    if (!fill(deadline)) {
      return "";
    }
  }
}

std::string TWebTestSocket::readSome(std::chrono::milliseconds aTimeout) {
  if (fPending.empty()) {
    fill(std::chrono::steady_clock::now() + aTimeout);
  }
  std::string some;
  some.swap(fPending);
  return some;
}

void TWebTestSocket::reset() {
  if (fFd >= 0) {
    const linger hard{1, 0};
    setsockopt(fFd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fFd);
    fFd = -1;
  }
}

std::string TWebTestSocket::readUntilClosed(bool& aClosed, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (fill(deadline)) {
  }
  aClosed = fEof;
  std::string all;
  all.swap(fPending);
  return all;
}

int statusOf(const std::string& aResponse) {
  if (aResponse.rfind("HTTP/1.", 0) != 0 || aResponse.size() < 12) {
    return 0;
  }
  return std::atoi(aResponse.c_str() + 9);
}

std::string bodyOf(const std::string& aResponse) {
  const std::size_t headEnd = aResponse.find("\r\n\r\n");
  return headEnd == std::string::npos ? "" : aResponse.substr(headEnd + 4);
}

namespace {

template <typename Visit>
void forEachHeader(const std::string& aResponse, const std::string& aName, Visit aVisit) {
  const std::string head = aResponse.substr(0, aResponse.find("\r\n\r\n"));
  const std::string wanted = lower(aName) + ":";
  std::size_t start = head.find("\r\n");
  while (start != std::string::npos) {
    start += 2;
    const std::size_t end = head.find("\r\n", start);
    const std::string line = head.substr(start, end == std::string::npos ? end : end - start);
    if (lower(line).rfind(wanted, 0) == 0) {
      std::string value = line.substr(wanted.size());
      value.erase(0, value.find_first_not_of(' '));
      aVisit(value);
    }
    start = end;
  }
}

} // namespace

int headerCount(const std::string& aResponse, const std::string& aName) {
  int count = 0;
  forEachHeader(aResponse, aName, [&](const std::string&) { ++count; });
  return count;
}

std::string headerValue(const std::string& aResponse, const std::string& aName) {
  std::string found;
  forEachHeader(aResponse, aName, [&](const std::string& aValue) {
    if (found.empty()) {
      found = aValue;
    }
  });
  return found;
}

} // namespace webtest
