#include "logging/KvLogFormater.h"
#include "tests/e2e/ParlinoProgram.h"
#include "tests/support/LocalServices.h"
#include "tests/support/TestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace {

using namespace testsupport;

// True once the process has blocked SIGINT and SIGTERM for its own signal thread, so that a
// signal sent now is handled rather than ending the process.
bool blocksStopSignals(int aPid) {
  const std::string status = readFile("/proc/" + std::to_string(aPid) + "/status");
  const auto at = status.find("SigBlk:");
  if (at == std::string::npos) {
    return false;
  }
  const unsigned long long mask = std::stoull(status.substr(at + 7), nullptr, 16);
  const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
  return (mask & wanted) == wanted;
}

// A scratch installation: options file, home folder and working directory in one place.
class ParlinoProcessTest : public ::testing::Test {
protected:
  void writeOptions(const std::string& aValues) {
    writeFile(fDir.file("parlino.reg"),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]\r\n" +
                  aValues);
  }
  std::unique_ptr<TChildProcess> start(const std::string& aDelay = "0") {
    return parlinotest::startParlino(fDir, aDelay, "stdout.txt");
  }
  std::string logText(const std::string& aFolder) {
    const auto names = listDirectory(fDir.file(aFolder));
    return names.empty() ? std::string() : readFile(fDir.file(aFolder + "/" + names.front()));
  }

  TTempDir fDir;
};

TEST_F(ParlinoProcessTest, StartsLogsItsOptionsAndStopsOnSigterm) {
  const std::string port = std::to_string(freeLoopbackPort());
  writeOptions("\"LogPath\"=\"logs/\"\r\n\"Database\"=\"sms.fdb\"\r\n\"DatabaseHost\"=\"\"\r\n"
               "\"HTTPPort\"=\"" +
               port + "\"\r\n");
  writeFile(fDir.file("Parlino.kvcfg"),
            "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\">"
            "<Modemconfig comport=\"4\" pin=\"0000\"/></m></SMSConfigurations>"
            "</kvsmssenderconfiguration>");
  auto server = start();
  ASSERT_TRUE(waitFor([&] { return logText("logs").find("connect...") != std::string::npos; }));
  server->signal(SIGTERM);
  EXPECT_EQ(server->wait(), 0);

  const auto names = listDirectory(fDir.file("logs"));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(Parlino_\d{4}\.\d{2}\.\d{2}\.kvlog)")));

  const std::string log = logText("logs");
  const std::regex line(
      R"(Parlino\|\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\|[a-z]+\.[a-z.]+\|[^|]*\|\d+\|[^|]*\|[a-z]+\|\|\d+)");
  TKvLogFormaterDefault formater;
  std::vector<std::string> messages;
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string text = log.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(text, line)) << text;
    auto message = formater.parseMessage(text);
    ASSERT_TRUE(message) << text;
    messages.push_back(message->getLogMessage());
  }
  EXPECT_EQ(start, log.size()) << "every line ends with CR LF";
  ASSERT_GE(messages.size(), 5u);
  EXPECT_EQ(messages[0],
            "options loaded: db=:3050:sms.fdb; port=" + port + "; loglevel=info; logpath=logs/");
  EXPECT_EQ(messages[1], "starting...");
  EXPECT_EQ(messages[2], "config file found...: " + fDir.file("Parlino.kvcfg"));
  EXPECT_EQ(messages[3], "config file loaded: comport=COM4; pin=0000");
  EXPECT_NE(std::find(messages.begin(), messages.end(), "connect..."), messages.end());
  EXPECT_EQ(messages.back(), "...stopped");
}

TEST_F(ParlinoProcessTest, AStopDuringTheStartupWaitEndsPromptlyAndInOrder) {
  writeOptions("\"LogPath\"=\"logs/\"\r\n\"DatabaseHost\"=\"\"\r\n");
  auto server = start("600000");
  ASSERT_TRUE(waitFor([&] { return blocksStopSignals(server->pid()); }));
  server->signal(SIGINT);
  EXPECT_EQ(server->wait(std::chrono::seconds(20)), 0)
      << readFile(fDir.file("stdout.txt")) << logText("logs");
  const std::string log = logText("logs");
  EXPECT_NE(log.find("options loaded"), std::string::npos);
  EXPECT_NE(log.find("config file NOT loaded, defaults were set: comport=COM1; pin="),
            std::string::npos);
  EXPECT_NE(log.find("...stopped"), std::string::npos);
}

TEST_F(ParlinoProcessTest, RejectsAWrongCommandLine) {
  TChildProcess server(buildPath("apps/parlino/parlino"), {"--startup-delay-ms", "soon"},
                       fDir.path(), fDir.file("stdout.txt"));
  EXPECT_EQ(server.wait(), 2);
  EXPECT_NE(readFile(fDir.file("stdout.txt")).find("--startup-delay-ms takes milliseconds"),
            std::string::npos);
}

// A database server that refuses at once (nothing listens on port 1): no test waits for an
// engine to open a file.
const std::string kNoDatabase =
    "\"LogPath\"=\"logs/\"\r\n\"DatabaseHost\"=\"127.0.0.1/1\"\r\n\"Database\"=\"none.fdb\"\r\n";

// The socket a service manager listens on for sd_notify messages (NOTIFY_SOCKET).
class TNotifySocket {
public:
  explicit TNotifySocket(const std::string& aPath) : fPath(aPath) {
    fFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, aPath.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~TNotifySocket() { ::close(fFd); }
  // The next message, "" when none comes in time.
  std::string next(std::chrono::milliseconds aTimeout = std::chrono::seconds(30)) {
    pollfd item{fFd, POLLIN, 0};
    if (::poll(&item, 1, static_cast<int>(aTimeout.count())) != 1) {
      return {};
    }
    char buffer[4096];
    const ssize_t n = ::recv(fFd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

private:
  std::string fPath;
  int fFd = -1;
};

bool portListens(int aPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(aPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

// Under systemd (Type=notify) the service counts as started when the HTTP port listens, and
// systemd hears when it stops. A port that cannot be opened ends the program with exit code
// 1 (the unit restarts it) instead of a gateway without its port.
TEST_F(ParlinoProcessTest, TellsTheServiceManagerWhenItsPortListensOrEndsWhenItCannot) {
  const int port = freeLoopbackPort();
  writeOptions(kNoDatabase + "\"HTTPPort\"=\"" + std::to_string(port) + "\"\r\n");
  TNotifySocket manager(fDir.file("notify"));
  ::setenv("NOTIFY_SOCKET", fDir.file("notify").c_str(), 1);
  auto server = start();
  ::unsetenv("NOTIFY_SOCKET");
  EXPECT_EQ(manager.next(), "READY=1\nSTATUS=listening on port " + std::to_string(port));
  EXPECT_TRUE(portListens(port)) << "ready means listening";

  // A second gateway on the same port: it cannot listen, and says so.
  TTempDir second;
  writeFile(second.file("parlino.reg"), readFile(fDir.file("parlino.reg")));
  TChildProcess refused(
      buildPath("apps/parlino/parlino"),
      {"--startup-delay-ms", "0", "--options", second.file("parlino.reg"), "--home", second.path()},
      second.path(), second.file("stdout.txt"));
  EXPECT_EQ(refused.wait(), 1);
  const auto names = listDirectory(second.file("logs"));
  ASSERT_EQ(names.size(), 1u);
  const std::string log = readFile(second.file("logs/" + names[0]));
  EXPECT_NE(log.find("HTTP server NOT started on port " + std::to_string(port)), std::string::npos)
      << log;
  EXPECT_NE(log.find("the server ends: its HTTP port could not be opened"), std::string::npos);
  EXPECT_NE(log.find("...stopped"), std::string::npos);

  server->signal(SIGTERM);
  EXPECT_EQ(manager.next(), "STOPPING=1");
  EXPECT_EQ(server->wait(), 0);
}

TEST_F(ParlinoProcessTest, AComportOutsideOneTo255IsAConfigurationError) {
  writeOptions(kNoDatabase + "\"HTTPPort\"=\"" + std::to_string(freeLoopbackPort()) + "\"\r\n");
  writeFile(fDir.file("Parlino.kvcfg"),
            "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\" "
            "active=\"true\"><Modemconfig comport=\"300\"/></m></SMSConfigurations>"
            "</kvsmssenderconfiguration>");
  auto server = start();
  ASSERT_TRUE(waitFor([&] { return logText("logs").find("connect...") != std::string::npos; }));
  server->signal(SIGTERM);
  EXPECT_EQ(server->wait(), 0);
  const std::string log = logText("logs");
  EXPECT_NE(log.find("|error.servercontroller|configuration error: comport \"300\" is not a port "
                     "number from 1 to 255; the serial modem stays inactive|"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("serial modem activate"), std::string::npos);
}

// A SIM that takes very long over its PIN holds the activation; a stop cuts it short after
// 10 seconds instead of waiting for it.
TEST_F(ParlinoProcessTest, AStopDoesNotWaitLongForAModemActivation) {
  const std::string dev = fDir.file("dev");
  ::mkdir(dev.c_str(), 0755);
  TChildProcess simulator(buildPath("tools/modemsim/parlino-modemsim"),
                          {"--link", dev + "/COM5", "--log", fDir.file("sim.log"), "--pin", "1234",
                           "--pin-delay", "600000"},
                          fDir.path(), fDir.file("sim.out"));
  ASSERT_TRUE(waitFor([&] { return ::access((dev + "/COM5").c_str(), F_OK) == 0; }));
  writeOptions(kNoDatabase + "\"SerialDeviceDir\"=\"" + dev + "\"\r\n\"HTTPPort\"=\"" +
               std::to_string(freeLoopbackPort()) + "\"\r\n");
  writeFile(fDir.file("Parlino.kvcfg"),
            "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\" "
            "active=\"true\"><Modemconfig comport=\"5\" pin=\"1234\"/></m>"
            "</SMSConfigurations></kvsmssenderconfiguration>");
  auto server = start();
  ASSERT_TRUE(waitFor(
      [&] { return readFile(fDir.file("sim.log")).find("AT+CPIN=1234") != std::string::npos; },
      std::chrono::seconds(30)));
  server->signal(SIGTERM);
  EXPECT_EQ(server->wait(std::chrono::seconds(40)), 0);
  const std::string log = logText("logs");
  EXPECT_NE(log.find("serial modem activation still under way (COM5): its dialogue is cut short"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("...stopped"), std::string::npos);
}

} // namespace
