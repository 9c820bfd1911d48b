#include "platform/RandomSource.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

namespace {

TRandomResult readUrandom(unsigned char* aBuffer, std::size_t aSize) {
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return {false, errno};
  }
  std::size_t done = 0;
  while (done < aSize) {
    const ssize_t n = ::read(fd, aBuffer + done, aSize - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      return {false, error};
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return {};
}

} // namespace

TRandomResult cryptoRandomBytes(void* aBuffer, std::size_t aSize) {
  auto* bytes = static_cast<unsigned char*>(aBuffer);
  std::size_t done = 0;
  while (done < aSize) {
    const ssize_t n = ::getrandom(bytes + done, aSize - done, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno == ENOSYS) {
      return readUrandom(bytes + done, aSize - done);
    }
    if (n < 0) {
      return {false, errno};
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::string cryptoRandomHex(std::size_t aByteCount) {
  std::vector<unsigned char> bytes(aByteCount);
  if (!cryptoRandomBytes(bytes.data(), bytes.size())) {
    return {};
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(aByteCount * 2);
  for (const unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

} // namespace platform
