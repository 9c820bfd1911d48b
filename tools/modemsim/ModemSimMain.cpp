// parlino-modemsim: a GSM modem in PDU mode behind a pseudo-terminal (see README.md).
#include "tools/modemsim/ModemSimServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

modemsim::TModemSimServer* gServer = nullptr;

void onSignal(int) {
  if (gServer != nullptr) {
    gServer->requestStop();
  }
}

void usage() {
  std::fputs(
      "usage: parlino-modemsim --link PATH [--control PATH] [--log PATH] [--baud N]\n"
      "         [--storage-size N] [--pin PIN] [--vendor TEXT] [--model TEXT] [--serial TEXT]\n"
      "         [--smsc NUMBER] [--send-delay MS] [--fail-every K] [--fail-answer TEXT]\n"
      "         [--no-prompt] [--no-send-answer] [--mute] [--garbage-every K]\n"
      "         [--fail-delete SLOT] [--prompt-delay MS] [--cnmi-offer GROUPS]\n"
      "         [--urc-every MS] [--urc-text TEXT] [--signal N] [--registration N]\n"
      "         [--pin-delay MS]\n"
      "       parlino-modemsim --control PATH --command \"LINE\"\n",
      stderr);
}

bool toCount(const char* aText, int& aValue) {
  char* end = nullptr;
  const long value = std::strtol(aText, &end, 10);
  if (end == aText || *end != '\0' || value < 0 || value > 1'000'000'000) {
    return false;
  }
  aValue = static_cast<int>(value);
  return true;
}

// Client mode: one control line, its reply on stdout; exit code 0 for an "OK" reply.
int runCommand(const std::string& aControlPath, const std::string& aLine) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (aControlPath.size() >= sizeof address.sun_path) {
    std::fputs("control socket path too long\n", stderr);
    return 2;
  }
  std::memcpy(address.sun_path, aControlPath.c_str(), aControlPath.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::perror("connect");
    return 2;
  }
  const std::string request = aLine + "\n";
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    std::perror("send");
    ::close(fd);
    return 2;
  }
  std::string reply;
  char c = 0;
  pollfd item{fd, POLLIN, 0};
  while (::poll(&item, 1, 10000) > 0 && ::recv(fd, &c, 1, 0) == 1 && c != '\n') {
    reply += c;
  }
  ::close(fd);
  std::printf("%s\n", reply.c_str());
  return reply.rfind("OK", 0) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  modemsim::TModemSimServerOptions options;
  modemsim::TModemSimOptions modem;
  std::string command;
  bool haveCommand = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    auto value = [&]() -> const char* { return argv[++i]; };
    bool ok = true;
    if (arg == "--no-prompt") {
      modem.NoPrompt = true;
    } else if (arg == "--no-send-answer") {
      modem.NoSendAnswer = true;
    } else if (arg == "--mute") {
      modem.Mute = true;
    } else if (arg == "--help") {
      usage();
      return 0;
    } else if (!hasValue) {
      ok = false;
    } else if (arg == "--link") {
      options.LinkPath = value();
    } else if (arg == "--control") {
      options.ControlPath = value();
    } else if (arg == "--log") {
      options.LogPath = value();
    } else if (arg == "--command") {
      command = value();
      haveCommand = true;
    } else if (arg == "--pin") {
      modem.Pin = value();
    } else if (arg == "--vendor") {
      modem.Vendor = value();
    } else if (arg == "--model") {
      modem.Model = value();
    } else if (arg == "--serial") {
      modem.SerialNumber = value();
    } else if (arg == "--smsc") {
      modem.Smsc = value();
    } else if (arg == "--fail-answer") {
      modem.FailAnswer = value();
    } else if (arg == "--cnmi-offer") {
      modem.CnmiOffer = value();
    } else if (arg == "--urc-text") {
      options.UrcText = value();
    } else if (arg == "--urc-every") {
      ok = toCount(value(), options.UrcEveryMs);
    } else if (arg == "--prompt-delay") {
      ok = toCount(value(), modem.PromptDelayMs);
    } else if (arg == "--baud") {
      int baud = 0;
      ok = toCount(value(), baud);
      options.Baud = static_cast<unsigned>(baud);
    } else if (arg == "--storage-size") {
      ok =
          toCount(value(), modem.StorageSize) && modem.StorageSize >= 1 && modem.StorageSize <= 255;
    } else if (arg == "--send-delay") {
      ok = toCount(value(), modem.SendDelayMs);
    } else if (arg == "--fail-every") {
      ok = toCount(value(), modem.FailEvery);
    } else if (arg == "--garbage-every") {
      ok = toCount(value(), modem.GarbageEvery);
    } else if (arg == "--fail-delete") {
      ok = toCount(value(), modem.FailDeleteSlot);
    } else if (arg == "--signal") {
      ok = toCount(value(), modem.Signal);
    } else if (arg == "--registration") {
      ok = toCount(value(), modem.Registration);
    } else if (arg == "--pin-delay") {
      ok = toCount(value(), modem.PinDelayMs);
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "parlino-modemsim: bad or incomplete option %s\n", argv[i]);
      usage();
      return 2;
    }
  }
  if (haveCommand) {
    if (options.ControlPath.empty()) {
      usage();
      return 2;
    }
    return runCommand(options.ControlPath, command);
  }
  std::signal(SIGPIPE, SIG_IGN);
  modemsim::TModemSimServer server(options, modem);
  std::string error;
  if (!server.start(error)) {
    std::fprintf(stderr, "parlino-modemsim: %s\n", error.c_str());
    return 1;
  }
  gServer = &server;
  std::signal(SIGTERM, onSignal);
  std::signal(SIGINT, onSignal);
  server.run();
  gServer = nullptr;
  return 0;
}
