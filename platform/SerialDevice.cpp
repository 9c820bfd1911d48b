#include "platform/SerialDevice.h"

// termios2 (through asm/termbits.h) sets any baud rate, also those without a B constant
// such as 14400 or 256000; glibc's <termios.h> must stay out of this unit because of it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace platform {
namespace {

constexpr short IC_HANGUPEVENTS = POLLHUP | POLLERR | POLLNVAL;

tcflag_t dataBitsFlag(int aDataBits) {
  switch (aDataBits) {
  case 5:
    return CS5;
  case 6:
    return CS6;
  case 7:
    return CS7;
  default:
    return CS8;
  }
}

// Raw mode: no echo, no line editing, no translation of CR and LF, reads return at once.
void makeRaw(termios2& aTio) {
  aTio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                         IXON | IXOFF | IXANY | INPCK | IGNPAR);
  aTio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  aTio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  aTio.c_cflag |= CREAD | CLOCAL;
  aTio.c_cc[VMIN] = 0;
  aTio.c_cc[VTIME] = 0;
}

bool applyLine(const TSerialLineSettings& aSettings, termios2& aTio) {
  if (aSettings.DataBits < 5 || aSettings.DataBits > 8 || aSettings.FlowControl == sfDsrDtr) {
    return false;
  }
  makeRaw(aTio);
  aTio.c_cflag &=
      ~static_cast<tcflag_t>(CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  aTio.c_cflag |= BOTHER | dataBitsFlag(aSettings.DataBits);
  aTio.c_ispeed = aSettings.BaudRate;
  aTio.c_ospeed = aSettings.BaudRate;
  switch (aSettings.Parity) {
  case spNone:
    break;
  case spOdd:
    aTio.c_cflag |= PARENB | PARODD;
    break;
  case spEven:
    aTio.c_cflag |= PARENB;
    break;
  case spMark:
    aTio.c_cflag |= PARENB | PARODD | CMSPAR;
    break;
  case spSpace:
    aTio.c_cflag |= PARENB | CMSPAR;
    break;
  }
  if (aSettings.StopBits != ssOne) {
    aTio.c_cflag |= CSTOPB; // with 5 data bits the line uses 1.5 stop bits
  }
  if (aSettings.ParityCheck) {
    aTio.c_iflag |= INPCK;
    if (!aSettings.ParityReplace) {
      aTio.c_iflag |= IGNPAR;
    }
  }
  aTio.c_cc[VSTART] = aSettings.XONChar;
  aTio.c_cc[VSTOP] = aSettings.XOFFChar;
  if (aSettings.FlowControl == sfXonXoff) {
    aTio.c_iflag |= IXON | IXOFF;
  } else if (aSettings.FlowControl == sfRtsCts) {
    aTio.c_cflag |= CRTSCTS;
  }
  if (aSettings.EOFChar != 0) {
    aTio.c_cc[VEOF] = aSettings.EOFChar;
  }
  return true;
}

class TPosixSerialDevice final : public IVTSerialDevice {
public:
  TPosixSerialDevice() : fWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~TPosixSerialDevice() override {
    (void)close();
    if (fWake >= 0) {
      ::close(fWake);
    }
  }
  TPosixSerialDevice(const TPosixSerialDevice&) = delete;
  TPosixSerialDevice& operator=(const TPosixSerialDevice&) = delete;

  TSerialResult open(const std::string& aPath) override {
    if (isOpen()) {
      return TSerialResult::failure(EBUSY);
    }
    const int fd = ::open(aPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      return TSerialResult::failure(errno);
    }
    // Nobody else may open the line while it is ours; a plain file is refused here too.
    if (::ioctl(fd, TIOCEXCL) != 0) {
      const int error = errno;
      ::close(fd);
      return TSerialResult::failure(error);
    }
    fFd = fd;
    return TSerialResult::success();
  }

  TSerialResult close() override {
    const int fd = fFd.exchange(-1);
    if (fd < 0) {
      return TSerialResult::success();
    }
    (void)::ioctl(fd, TIOCNXCL);
    if (::close(fd) != 0 && errno != EINTR) {
      return TSerialResult::failure(errno);
    }
    return TSerialResult::success();
  }

  bool isOpen() const override { return fFd >= 0; }
  int handle() const override { return fFd; }

  TSerialResult applySettings(const TSerialLineSettings& aSettings) override {
    const int fd = fFd;
    if (fd < 0) {
      return TSerialResult::failure(EBADF);
    }
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
      return TSerialResult::failure(errno);
    }
    if (!applyLine(aSettings, tio)) {
      return TSerialResult::failure(EINVAL);
    }
    if (::ioctl(fd, TCSETS2, &tio) != 0) {
      return TSerialResult::failure(errno);
    }
    return TSerialResult::success();
  }

  TSerialResult queuedInput() override {
    const int fd = fFd;
    if (fd < 0) {
      return TSerialResult::failure(EBADF);
    }
    pollfd item{fd, POLLIN, 0};
    if (::poll(&item, 1, 0) > 0 && (item.revents & IC_HANGUPEVENTS) != 0) {
      return TSerialResult::failure(EIO);
    }
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0) {
      return TSerialResult::failure(errno);
    }
    return TSerialResult::success(queued > 0 ? static_cast<std::size_t>(queued) : 0);
  }

  TSerialResult waitForInput(int aTimeoutMs) override {
    const int fd = fFd;
    if (fd < 0) {
      return TSerialResult::failure(EBADF);
    }
    pollfd items[2] = {{fd, POLLIN, 0}, {fWake, POLLIN, 0}};
    const int ready = ::poll(items, fWake >= 0 ? 2 : 1, aTimeoutMs < 0 ? 0 : aTimeoutMs);
    if (ready < 0) {
      return errno == EINTR ? TSerialResult::success(0) : TSerialResult::failure(errno);
    }
    if (fWake >= 0 && items[1].revents != 0) {
      eventfd_t value = 0;
      (void)::eventfd_read(fWake, &value);
    }
    return TSerialResult::success(items[0].revents != 0 ? 1 : 0);
  }

  void interruptWait() override {
    if (fWake >= 0) {
      (void)::eventfd_write(fWake, 1);
    }
  }

  TSerialResult read(char* aBuffer, std::size_t aSize) override {
    const int fd = fFd;
    if (fd < 0) {
      return TSerialResult::failure(EBADF);
    }
    for (;;) {
      const ssize_t got = ::read(fd, aBuffer, aSize);
      if (got > 0) {
        return TSerialResult::success(static_cast<std::size_t>(got));
      }
      if (got == 0) {
        // A terminal in raw mode with VMIN 0 reads 0 when nothing is there, but also after
        // a hang-up; only the hang-up is reported by poll.
        pollfd item{fd, POLLIN, 0};
        const bool hungUp = ::poll(&item, 1, 0) > 0 && (item.revents & IC_HANGUPEVENTS) != 0;
        return hungUp ? TSerialResult::failure(EIO) : TSerialResult::success(0);
      }
      if (errno == EINTR) {
        continue;
      }
      return errno == EAGAIN ? TSerialResult::success(0) : TSerialResult::failure(errno);
    }
  }

  TSerialResult write(const char* aData, std::size_t aSize, int aTimeoutMs) override {
    const int fd = fFd;
    if (fd < 0) {
      return TSerialResult::failure(EBADF);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
    std::size_t done = 0;
    while (done < aSize) {
      const ssize_t put = ::write(fd, aData + done, aSize - done);
      if (put > 0) {
        done += static_cast<std::size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) {
        continue;
      }
      if (put < 0 && errno != EAGAIN) {
        return TSerialResult::failure(errno, done);
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        return TSerialResult::failure(ETIMEDOUT, done);
      }
      pollfd item{fd, POLLOUT, 0};
      if (::poll(&item, 1, static_cast<int>(left.count())) > 0 &&
          (item.revents & IC_HANGUPEVENTS) != 0) {
        return TSerialResult::failure(EIO, done);
      }
    }
    return TSerialResult::success(done);
  }

  TSerialResult flushInput() override { return flush(TCIFLUSH); }
  TSerialResult flushOutput() override { return flush(TCOFLUSH); }

private:
  TSerialResult flush(int aQueue) {
    const int fd = fFd;
    if (fd < 0) {
      return TSerialResult::failure(EBADF);
    }
    if (::ioctl(fd, TCFLSH, aQueue) != 0) {
      return TSerialResult::failure(errno);
    }
    return TSerialResult::success();
  }

  std::atomic<int> fFd{-1};
  int fWake; // eventfd that ends a wait early
};

} // namespace

std::unique_ptr<IVTSerialDevice> createPosixSerialDevice() {
  return std::make_unique<TPosixSerialDevice>();
}

} // namespace platform
