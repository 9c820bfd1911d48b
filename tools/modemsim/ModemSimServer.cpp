#include "tools/modemsim/ModemSimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace modemsim {
namespace {

constexpr std::size_t IC_MAXCONTROLLINE = 64 * 1024;

std::string errnoText(const std::string& aWhat) {
  return aWhat + ": " + std::strerror(errno);
}

void closeFd(int& aFd) {
  if (aFd >= 0) {
    ::close(aFd);
    aFd = -1;
  }
}

void sendAll(int aFd, const std::string& aText) {
  std::size_t done = 0;
  while (done < aText.size()) {
    const ssize_t sent = ::send(aFd, aText.data() + done, aText.size() - done, MSG_NOSIGNAL);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    if (sent < 0 && errno == EAGAIN) {
      pollfd item{aFd, POLLOUT, 0};
      if (::poll(&item, 1, 1000) > 0) {
        continue;
      }
    }
    return; // a control client that does not read its replies loses them
  }
}

TSmsTimestamp utcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  TSmsTimestamp stamp;
  stamp.Year = parts.tm_year + 1900;
  stamp.Month = parts.tm_mon + 1;
  stamp.Day = parts.tm_mday;
  stamp.Hour = parts.tm_hour;
  stamp.Minute = parts.tm_min;
  stamp.Second = parts.tm_sec;
  return stamp;
}

std::string printable(const std::string& aText) {
  std::string result;
  for (unsigned char c : aText) {
    if (c == '\r') {
      result += "<CR>";
    } else if (c == '\n') {
      result += "<LF>";
    } else if (c < 0x20 || c >= 0x7F) {
      static constexpr char IC_DIGITS[] = "0123456789ABCDEF";
      result += "<";
      result += IC_DIGITS[c >> 4];
      result += IC_DIGITS[c & 0x0F];
      result += ">";
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}

} // namespace

TModemSimServer::TModemSimServer(TModemSimServerOptions aOptions, TModemSimOptions aModemOptions)
    : fOptions(std::move(aOptions)), fEngine(std::move(aModemOptions)) {
  fEngine.OnLog = [this](const std::string& aLine) { log(printable(aLine)); };
}

TModemSimServer::~TModemSimServer() {
  unplug();
  for (auto& client : fClients) {
    closeFd(client.Fd);
  }
  if (fListener >= 0) {
    closeFd(fListener);
    ::unlink(fOptions.ControlPath.c_str());
  }
  closeFd(fWakePipe[0]);
  closeFd(fWakePipe[1]);
  if (fLog != nullptr) {
    std::fclose(fLog);
  }
}

void TModemSimServer::log(const std::string& aLine) {
  if (fLog == nullptr) {
    return;
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm parts{};
  gmtime_r(&now.tv_sec, &parts);
  char stamp[40];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
  std::fprintf(fLog, "%s.%03ld %s\n", stamp, now.tv_nsec / 1000000, aLine.c_str());
  std::fflush(fLog);
}

bool TModemSimServer::start(std::string& aError) {
  if (fOptions.LinkPath.empty()) {
    aError = "no link path given";
    return false;
  }
  if (!fOptions.LogPath.empty()) {
    fLog = std::fopen(fOptions.LogPath.c_str(), "a");
    if (fLog == nullptr) {
      aError = errnoText("cannot open log " + fOptions.LogPath);
      return false;
    }
  }
  if (::pipe2(fWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    aError = errnoText("pipe");
    return false;
  }
  if (!fOptions.ControlPath.empty()) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fOptions.ControlPath.size() >= sizeof address.sun_path) {
      aError = "control socket path too long";
      return false;
    }
    std::memcpy(address.sun_path, fOptions.ControlPath.c_str(), fOptions.ControlPath.size() + 1);
    fListener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ::unlink(fOptions.ControlPath.c_str());
    if (fListener < 0 ||
        ::bind(fListener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fListener, 8) != 0) {
      aError = errnoText("control socket " + fOptions.ControlPath);
      return false;
    }
  }
  log("START link=" + fOptions.LinkPath + " baud=" + std::to_string(fOptions.Baud) +
      " storage=" + std::to_string(fEngine.options().StorageSize));
  return plug(aError);
}

bool TModemSimServer::plug(std::string& aError) {
  fMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char slaveName[128] = {};
  if (fMaster < 0 || ::grantpt(fMaster) != 0 || ::unlockpt(fMaster) != 0 ||
      ::ptsname_r(fMaster, slaveName, sizeof slaveName) != 0) {
    aError = errnoText("pseudo-terminal");
    unplug();
    return false;
  }
  fSlave = ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (fSlave < 0 || ::tcgetattr(fSlave, &tio) != 0) {
    aError = errnoText("pseudo-terminal slave");
    unplug();
    return false;
  }
  // Raw until the user sets the line up, so nothing echoes or translates meanwhile.
  ::cfmakeraw(&tio);
  (void)::tcsetattr(fSlave, TCSANOW, &tio);
  const std::string temporary = fOptions.LinkPath + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(slaveName, temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), fOptions.LinkPath.c_str()) != 0) {
    aError = errnoText("link " + fOptions.LinkPath);
    ::unlink(temporary.c_str());
    unplug();
    return false;
  }
  log(std::string("PLUGGED ") + slaveName);
  return true;
}

void TModemSimServer::unplug() {
  if (fMaster < 0 && fSlave < 0) {
    return;
  }
  ::unlink(fOptions.LinkPath.c_str());
  closeFd(fMaster);
  closeFd(fSlave);
  fInput.clear();
  fOutput.clear();
  log("UNPLUGGED");
}

void TModemSimServer::requestStop() {
  const char byte = 'q';
  (void)!::write(fWakePipe[1], &byte, 1);
}

TModemSimServer::TClock::duration TModemSimServer::byteTime() const {
  // One start bit, eight data bits, one stop bit.
  return fOptions.Baud == 0 ? TClock::duration::zero()
                            : std::chrono::duration_cast<TClock::duration>(
                                  std::chrono::nanoseconds(10'000'000'000LL / fOptions.Baud));
}

void TModemSimServer::schedule(const std::vector<TSimOutput>& aOutputs) {
  const auto now = TClock::now();
  for (const auto& output : aOutputs) {
    if (output.Bytes.empty()) {
      continue;
    }
    fLastOutputDue = std::max(now, fLastOutputDue) + std::chrono::milliseconds(output.DelayMs);
    fOutput.push_back({fLastOutputDue, output.Bytes, 0});
  }
}

void TModemSimServer::injectNow(const std::string& aText) {
  if (fMaster < 0) {
    return;
  }
  log("URC " + printable(aText));
  const std::string line = "\r\n" + aText + "\r\n";
  const auto now = TClock::now();
  if (!fOutput.empty() && fOutput.front().Due <= now) {
    // Spliced in after the next line end of the entry going out now.
    auto& entry = fOutput.front();
    const auto lineEnd = entry.Bytes.find('\n', entry.Offset);
    if (lineEnd != std::string::npos) {
      entry.Bytes.insert(lineEnd + 1, aText + "\r\n");
      return;
    }
    fOutput.insert(fOutput.begin() + 1, {now, line, 0});
    return;
  }
  fOutput.push_front({now, line, 0});
}

void TModemSimServer::readLine() {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fMaster, buffer, sizeof buffer);
    if (got <= 0) {
      return; // EAGAIN, or EIO while nobody has the line open
    }
    // With pacing the bytes are taken as arriving when the line could have carried them.
    const auto now = TClock::now();
    fInClock = std::max(fInClock, now) + byteTime() * got;
    fInput.push_back({fInClock, std::string(buffer, static_cast<std::size_t>(got)), 0});
  }
}

void TModemSimServer::processDueInput(TClock::time_point aNow) {
  while (!fInput.empty() && fInput.front().Due <= aNow) {
    const std::string bytes = std::move(fInput.front().Bytes);
    fInput.pop_front();
    schedule(fEngine.feed(bytes));
  }
}

TModemSimServer::TClock::time_point TModemSimServer::writeDueOutput(TClock::time_point aNow,
                                                                    bool& aWantWrite) {
  aWantWrite = false;
  const auto perByte = byteTime();
  while (!fOutput.empty() && fMaster >= 0) {
    auto& entry = fOutput.front();
    if (entry.Due > aNow) {
      return entry.Due;
    }
    std::size_t count = entry.Bytes.size() - entry.Offset;
    if (perByte != TClock::duration::zero()) {
      fOutClock = std::max(fOutClock, entry.Due);
      const auto allowed = static_cast<std::size_t>((aNow - fOutClock) / perByte);
      if (allowed == 0) {
        return fOutClock + perByte;
      }
      count = std::min(count, allowed);
    }
    const ssize_t written = ::write(fMaster, entry.Bytes.data() + entry.Offset, count);
    if (written <= 0) {
      aWantWrite = errno == EAGAIN;
      return TClock::time_point::max();
    }
    entry.Offset += static_cast<std::size_t>(written);
    fOutClock += perByte * written;
    if (entry.Offset == entry.Bytes.size()) {
      fOutput.pop_front();
    }
  }
  return TClock::time_point::max();
}

void TModemSimServer::acceptClient() {
  for (;;) {
    const int fd = ::accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      return;
    }
    fClients.push_back({fd, {}});
  }
}

bool TModemSimServer::serveClient(TClient& aClient) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::recv(aClient.Fd, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
      return false;
    }
    if (got < 0) {
      break;
    }
    aClient.Buffer.append(buffer, static_cast<std::size_t>(got));
    if (aClient.Buffer.size() > IC_MAXCONTROLLINE) {
      sendAll(aClient.Fd, "ERROR line too long\n");
      return false;
    }
  }
  std::size_t end = 0;
  while ((end = aClient.Buffer.find('\n')) != std::string::npos) {
    const std::string line = aClient.Buffer.substr(0, end);
    aClient.Buffer.erase(0, end + 1);
    TControlCommand command;
    std::string error;
    std::string reply;
    if (parseControlCommand(line, command, error)) {
      log("CONTROL " + printable(line));
      reply = execute(command);
    } else {
      reply = "ERROR " + error;
    }
    sendAll(aClient.Fd, reply + "\n");
  }
  return true;
}

std::string TModemSimServer::execute(const TControlCommand& aCommand) {
  auto& options = fEngine.options();
  std::string error;
  switch (aCommand.Verb) {
  case cvDeliver: {
    // A text longer than one SMS arrives as the parts of a concatenated SMS.
    std::vector<std::string> pdus;
    if (!buildSmsDeliverParts(options.Smsc, aCommand.Address, aCommand.Text, utcTimestamp(),
                              fNextReference, pdus, error)) {
      return "ERROR " + error;
    }
    if (pdus.size() > 1) {
      ++fNextReference;
    }
    std::string reply = "OK";
    for (const std::string& pdu : pdus) {
      std::vector<TSimOutput> outputs;
      if (!fEngine.deliverPdu(pdu, error, outputs)) {
        return "ERROR " + error;
      }
      schedule(outputs);
      reply += " " + pdu;
    }
    return reply;
  }
  case cvDeliverPdu: {
    std::vector<TSimOutput> outputs;
    if (!fEngine.deliverPdu(aCommand.Text, error, outputs)) {
      return "ERROR " + error;
    }
    schedule(outputs);
    return "OK";
  }
  case cvUnplug:
    if (fMaster < 0) {
      return "ERROR already unplugged";
    }
    unplug();
    return "OK";
  case cvReplug:
    if (fMaster >= 0) {
      return "ERROR already plugged";
    }
    if (aCommand.Flag) {
      fEngine.powerCycle();
    }
    return plug(error) ? "OK" : "ERROR " + error;
  case cvMute:
    options.Mute = aCommand.Flag;
    return "OK";
  case cvNoPrompt:
    options.NoPrompt = aCommand.Flag;
    return "OK";
  case cvNoSendAnswer:
    options.NoSendAnswer = aCommand.Flag;
    return "OK";
  case cvFailEvery:
    options.FailEvery = aCommand.Number;
    if (!aCommand.Text.empty()) {
      options.FailAnswer = aCommand.Text;
    }
    return "OK";
  case cvSendDelay:
    options.SendDelayMs = aCommand.Number;
    return "OK";
  case cvGarbageEvery:
    options.GarbageEvery = aCommand.Number;
    return "OK";
  case cvFailDelete:
    options.FailDeleteSlot = aCommand.Number;
    return "OK";
  case cvBaud:
    fOptions.Baud = static_cast<unsigned>(aCommand.Number);
    return "OK";
  case cvPromptDelay:
    options.PromptDelayMs = aCommand.Number;
    return "OK";
  case cvCnmiOffer:
    options.CnmiOffer = aCommand.Text;
    return "OK";
  case cvUrc:
    if (fMaster < 0) {
      return "ERROR unplugged";
    }
    injectNow(aCommand.Text);
    return "OK";
  case cvUrcAt:
    fEngine.injectUnsolicited(aCommand.Flag ? upAfterPrompt : upInAnswer, aCommand.Text);
    return "OK";
  case cvUrcEvery:
    fOptions.UrcEveryMs = aCommand.Number;
    if (!aCommand.Text.empty()) {
      fOptions.UrcText = aCommand.Text;
    }
    fNextUrc = fOptions.UrcEveryMs > 0
                   ? TClock::now() + std::chrono::milliseconds(fOptions.UrcEveryMs)
                   : TClock::time_point::max();
    return "OK";
  case cvPowerCycle:
    fEngine.powerCycle();
    return "OK";
  case cvStatus: {
    const auto& storage = fEngine.storage();
    const auto stored = std::count_if(storage.begin(), storage.end(),
                                      [](const auto& slot) { return slot.has_value(); });
    return "OK plugged=" + std::to_string(fMaster >= 0 ? 1 : 0) +
           " echo=" + std::to_string(fEngine.echo() ? 1 : 0) + " stored=" + std::to_string(stored) +
           " pending=" + std::to_string(fEngine.pendingCount()) +
           " submitted=" + std::to_string(fEngine.submittedCount()) +
           " notices=" + std::to_string(fEngine.newMessageIndication());
  }
  case cvStorage: {
    std::string reply = "OK";
    const auto& storage = fEngine.storage();
    for (std::size_t i = 0; i < storage.size(); ++i) {
      if (storage[i]) {
        reply += " " + std::to_string(i + 1) + ":" + std::to_string(storage[i]->Status) + ":" +
                 storage[i]->Pdu;
      }
    }
    return reply;
  }
  case cvLastPdu:
    return "OK " + fEngine.lastSubmittedPdu();
  case cvQuit:
    fQuit = true;
    return "OK";
  }
  return "ERROR unknown command";
}

void TModemSimServer::run() {
  if (fOptions.UrcEveryMs > 0) {
    fNextUrc = TClock::now() + std::chrono::milliseconds(fOptions.UrcEveryMs);
  }
  while (!fQuit) {
    const auto now = TClock::now();
    if (now >= fNextUrc) {
      injectNow(fOptions.UrcText);
      fNextUrc = now + std::chrono::milliseconds(std::max(fOptions.UrcEveryMs, 1));
    }
    processDueInput(now);
    bool wantWrite = false;
    auto wake = writeDueOutput(now, wantWrite);
    if (!fInput.empty()) {
      wake = std::min(wake, fInput.front().Due);
    }
    wake = std::min(wake, fNextUrc);
    std::vector<pollfd> items;
    items.push_back({fWakePipe[0], POLLIN, 0});
    if (fListener >= 0) {
      items.push_back({fListener, POLLIN, 0});
    }
    const std::size_t firstClient = items.size();
    const std::size_t polledClients = fClients.size(); // accepting below adds more
    for (const auto& client : fClients) {
      items.push_back({client.Fd, POLLIN, 0});
    }
    const std::size_t masterItem = items.size();
    if (fMaster >= 0) {
      items.push_back({fMaster, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0});
    }
    timespec timeout{1, 0};
    if (wake != TClock::time_point::max()) {
      const auto left = std::max(wake - TClock::now(), TClock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    }
    if (::ppoll(items.data(), items.size(), &timeout, nullptr) < 0 && errno != EINTR) {
      log(errnoText("poll"));
      return;
    }
    if (items[0].revents != 0) {
      log("STOP");
      return;
    }
    if (fListener >= 0 && items[1].revents != 0) {
      acceptClient();
    }
    for (std::size_t i = polledClients; i-- > 0;) {
      if (items[firstClient + i].revents != 0 && !serveClient(fClients[i])) {
        closeFd(fClients[i].Fd);
        fClients.erase(fClients.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    // A control command may have unplugged the line meanwhile.
    if (masterItem < items.size() && fMaster >= 0 && (items[masterItem].revents & POLLIN) != 0) {
      readLine();
    }
  }
  log("QUIT");
}

} // namespace modemsim
