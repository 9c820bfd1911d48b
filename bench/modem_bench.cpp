// SMS per second through the serial modem driver to the modem simulator, unpaced and paced
// at 9600 and 115200 baud; the driver's overhead per SMS beyond the line time of its bytes
// (the fixed pause before Ctrl-Z included in the line time); and the delay from injecting
// an SMS to OnSMSReceived with a one-second check interval. Prints figures, asserts nothing.
#include "modem/VTSMSManagerSerialModem.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// The simulator as a child process in a folder of its own.
class TSimulator {
public:
  TSimulator(const std::string& aDir, unsigned aBaud) : fDir(aDir) {
    const std::string program =
        std::string(PARLINO_BINARY_DIR) + "/tools/modemsim/parlino-modemsim";
    std::vector<std::string> args{program,       "--link", aDir + "/COM5",       "--control",
                                  aDir + "/ctl", "--baud", std::to_string(aBaud)};
    fPid = fork();
    if (fPid == 0) {
      std::vector<char*> argv;
      for (auto& arg : args) {
        argv.push_back(arg.data());
      }
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    for (int i = 0; i < 500 && access((aDir + "/COM5").c_str(), F_OK) != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~TSimulator() {
    if (fPid > 0) {
      kill(fPid, SIGTERM);
      waitpid(fPid, nullptr, 0);
    }
  }
  std::string command(const std::string& aLine) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s/ctl", fDir.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string reply;
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      const std::string request = aLine + "\n";
      (void)!send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      char c = 0;
      pollfd item{fd, POLLIN, 0};
      while (poll(&item, 1, 5000) > 0 && recv(fd, &c, 1, 0) == 1 && c != '\n') {
        reply += c;
      }
    }
    if (fd >= 0) {
      close(fd);
    }
    return reply;
  }

private:
  std::string fDir;
  pid_t fPid = -1;
};

std::string makeTempDir() {
  char pattern[] = "/tmp/parlino-bench-XXXXXX";
  return mkdtemp(pattern) != nullptr ? pattern : "/tmp";
}

TVTSerialModemTimings benchTimings() {
  TVTSerialModemTimings timings;
  timings.PortSettleMS = 100;
  timings.EchoOffSettleMS = 200;
  timings.PauseBetweenMS = 10;
  return timings;
}

void configure(TVTSMSManagerSerialModem& aModem, const std::string& aDir) {
  aModem.setSerialDeviceDir(aDir);
  aModem.setCommPort(5);
  aModem.setTimings(benchTimings());
}

void benchSend(const char* aLabel, unsigned aBaud, int aCount) {
  const std::string dir = makeTempDir();
  TSimulator simulator(dir, aBaud);
  TVTSMSManagerSerialModem modem;
  configure(modem, dir);
  modem.setSMSCheckIntervall(3'600'000); // no polling during the measurement
  modem.setActive(true);
  const std::string text = "Parlino benchmark message, 60 characters of plain GSM text.";
  const std::string recipient = "+491711234567";
  int failures = 0;
  const auto start = TClock::now();
  for (int i = 0; i < aCount; ++i) {
    failures += modem.sendSMSText(recipient, text) == ICSMSRESULT_OK ? 0 : 1;
  }
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  modem.setActive(false);
  // Bytes on the line per SMS: the command, the prompt, the PDU, Ctrl-Z and the answer.
  const std::size_t pduDigits = 2 * (1 + 1 + 1 + 2 + 6 + 1 + 1 + 1 + (text.size() * 7 + 7) / 8);
  const std::size_t bytes = std::string("AT+CMGS=NN\r\n").size() + std::string("\r\n> ").size() +
                            pduDigits + 1 + std::string("\r\n+CMGS: NNN\r\n\r\nOK\r\n").size();
  const double perSms = seconds / aCount;
  const double lineTime = (aBaud == 0 ? 0.0 : bytes * 10.0 / aBaud) + 0.050;
  std::printf("%-22s %4d SMS  %7.2f SMS/s  %7.1f ms/SMS  line %6.1f ms  overhead %6.1f ms"
              "  failures %d\n",
              aLabel, aCount, aCount / seconds, perSms * 1000, lineTime * 1000,
              (perSms - lineTime) * 1000, failures);
}

void benchReceive(int aSamples) {
  const std::string dir = makeTempDir();
  TSimulator simulator(dir, 0);
  TVTSMSManagerSerialModem modem;
  configure(modem, dir);
  modem.setSMSCheckIntervall(1000);
  modem.setAutoDeleteSMS(true);
  std::mutex lock;
  std::condition_variable received;
  int count = 0;
  modem.OnSMSReceived = [&](TVTSMSManager*, const std::string&, const std::string&,
                            const std::string&, const TVTSMSManagerMessage&) {
    std::lock_guard guard(lock);
    ++count;
    received.notify_all();
  };
  modem.setActive(true);
  double total = 0;
  double worst = 0;
  for (int i = 0; i < aSamples; ++i) {
    // Spread the injections over the check interval.
    std::this_thread::sleep_for(std::chrono::milliseconds(137 * (i % 7)));
    int before = 0;
    {
      std::lock_guard guard(lock);
      before = count;
    }
    const auto start = TClock::now();
    simulator.command("deliver +491711234567 sample " + std::to_string(i));
    std::unique_lock guard(lock);
    received.wait_for(guard, std::chrono::seconds(10), [&] { return count > before; });
    const double ms = std::chrono::duration<double, std::milli>(TClock::now() - start).count();
    total += ms;
    worst = std::max(worst, ms);
  }
  modem.setActive(false);
  std::printf("receive, 1 s interval   %4d SMS  mean %7.1f ms  worst %7.1f ms\n", aSamples,
              total / aSamples, worst);
}

} // namespace

int main() {
  std::signal(SIGPIPE, SIG_IGN);
  std::printf("line: the bytes of one send on the line at that speed (10 bits per byte) plus the\n"
              "fixed 50 ms before Ctrl-Z; the PDU is still on the line during that pause, so\n"
              "at low speeds the overhead can come out below zero.\n");
  benchSend("send, unpaced", 0, 200);
  benchSend("send, 115200 baud", 115200, 100);
  benchSend("send, 9600 baud", 9600, 30);
  benchReceive(10);
  return 0;
}
