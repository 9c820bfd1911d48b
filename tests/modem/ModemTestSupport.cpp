#include "tests/modem/ModemTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace modemtest {

TVTSerialModemTimings fastTimings() {
  TVTSerialModemTimings timings;
  timings.PortSettleMS = 1000;
  timings.EchoOffSettleMS = 1000;
  timings.CtrlZDelayMS = 50;
  timings.PinWaitMS = 3000;
  timings.InfoWaitMS = 3000;
  timings.PromptWaitMS = 1000;
  timings.SendWaitMS = 1500;
  timings.SelectStorageWaitMS = 3000;
  timings.ListWaitMS = 3000;
  timings.DeleteWaitMS = 1000;
  timings.ReadWaitMS = 1000;
  timings.ResyncWaitMS = 500;
  timings.ResyncTries = 2;
  timings.ResyncQuietMS = 50;
  return timings;
}

TPtyLine::TPtyLine(std::string aLinkPath) : fLinkPath(std::move(aLinkPath)) {
  plug();
}

TPtyLine::~TPtyLine() {
  unplug();
}

void TPtyLine::plug() {
  fMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fMaster < 0 || ::grantpt(fMaster) != 0 || ::unlockpt(fMaster) != 0) {
    throw std::runtime_error("cannot create a pseudo-terminal");
  }
  const std::string slaveName = ::ptsname(fMaster);
  fSlave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  ::tcgetattr(fSlave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fSlave, TCSANOW, &tio);
  const std::string temporary = fLinkPath + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(slaveName.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), fLinkPath.c_str()) != 0) {
    throw std::runtime_error("cannot link " + fLinkPath);
  }
}

void TPtyLine::unplug() {
  ::unlink(fLinkPath.c_str());
  if (fMaster >= 0) {
    ::close(fMaster);
    fMaster = -1;
  }
  if (fSlave >= 0) {
    ::close(fSlave);
    fSlave = -1;
  }
}

void TPtyLine::write(const std::string& aBytes) {
  std::size_t done = 0;
  while (done < aBytes.size()) {
    const ssize_t put = ::write(fMaster, aBytes.data() + done, aBytes.size() - done);
    if (put <= 0) {
      throw std::runtime_error("write to the pseudo-terminal failed");
    }
    done += static_cast<std::size_t>(put);
  }
}

std::string TPtyLine::readAvailable(int aTimeoutMs) {
  std::string text;
  int wait = aTimeoutMs;
  for (;;) {
    pollfd item{fMaster, POLLIN, 0};
    if (::poll(&item, 1, wait) <= 0 || (item.revents & POLLIN) == 0) {
      return text;
    }
    char buffer[4096];
    const ssize_t got = ::read(fMaster, buffer, sizeof buffer);
    if (got <= 0) {
      return text;
    }
    text.append(buffer, static_cast<std::size_t>(got));
    wait = 100;
  }
}

std::string TPtyLine::readUntil(const std::string& aWanted, int aTimeoutMs) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeoutMs);
  while (text.find(aWanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    text += readAvailable(100);
  }
  return text;
}

TModemSim::TModemSim(const std::string& aDir, int aPort, const std::vector<std::string>& aOptions)
    : fLinkPath(aDir + "/COM" + std::to_string(aPort)), fControlPath(aDir + "/sim.ctl"),
      fLogPath(aDir + "/sim.log") {
  std::vector<std::string> arguments{"--link",     fLinkPath, "--control",
                                     fControlPath, "--log",   fLogPath};
  arguments.insert(arguments.end(), aOptions.begin(), aOptions.end());
  fProcess = std::make_unique<testsupport::TChildProcess>(
      testsupport::buildPath("tools/modemsim/parlino-modemsim"), arguments, std::string(),
      aDir + "/sim.out");
  const bool linked =
      testsupport::waitFor([this] { return ::access(fLinkPath.c_str(), F_OK) == 0; });
  if (!linked) {
    throw std::runtime_error("the modem simulator did not start: " +
                             testsupport::readFile(aDir + "/sim.out"));
  }
}

TModemSim::~TModemSim() {
  if (fProcess->running()) {
    (void)command("quit");
    fProcess->wait(std::chrono::seconds(5));
  }
}

std::string TModemSim::command(const std::string& aLine) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, fControlPath.c_str(), sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) {
      ::close(fd);
    }
    return "ERROR no connection";
  }
  const std::string request = aLine + "\n";
  (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string reply;
  char c = 0;
  pollfd item{fd, POLLIN, 0};
  while (::poll(&item, 1, 10000) > 0 && ::recv(fd, &c, 1, 0) == 1 && c != '\n') {
    reply += c;
  }
  ::close(fd);
  return reply;
}

std::vector<std::string> TModemSim::logEntries() const {
  std::vector<std::string> entries;
  const std::string text = logText();
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    const std::string line = text.substr(start, end - start);
    // "yyyy-mm-dd hh:mm:ss.zzz " comes first.
    entries.push_back(line.size() > 24 ? line.substr(24) : line);
    start = end + 1;
  }
  return entries;
}

} // namespace modemtest
