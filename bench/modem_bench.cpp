// SMS per second through the serial modem driver to the modem simulator, unpaced and paced
// at 115200 and 9600 baud (also with a signal report every 0.4 s, as USB sticks send), next
// to the line time of their bytes; and the delay of a received SMS from the modem storing it
// to its row in the unread queue of an embedded database, with new-message notices and with
// polling alone. Prints figures, asserts nothing.
#include "common/SystemTools.h"
#include "logging/KvLogger.h"
#include "modem/VTSMSManagerSerialModem.h"
#include "platform/Files.h"
#include "server/BizDatabase.h"
#include "server/DatabaseSetup.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

const std::string kText = "Hallo";
const std::string kRecipient = "+491711234567";

// The simulator as a child process in a folder of its own.
class TSimulator {
public:
  TSimulator(const std::string& aDir, const std::vector<std::string>& aOptions) : fDir(aDir) {
    const std::string program =
        std::string(PARLINO_BINARY_DIR) + "/tools/modemsim/parlino-modemsim";
    std::vector<std::string> args{program, "--link", aDir + "/COM5", "--control", aDir + "/ctl"};
    args.insert(args.end(), aOptions.begin(), aOptions.end());
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

void configure(TVTSMSManagerSerialModem& aModem, const std::string& aDir) {
  aModem.setSerialDeviceDir(aDir);
  aModem.setCommPort(5);
}

// The bytes of one send on the line, one after the other: the command, the prompt, the PDU
// with Ctrl-Z and the answer.
std::size_t bytesPerSend(const std::string& aPdu) {
  return std::string("AT+CMGS=18\r\n").size() + std::string("\r\n> ").size() + aPdu.size() + 1 +
         std::string("\r\n+CMGS: 123\r\n\r\nOK\r\n").size();
}

void benchSend(const char* aLabel, unsigned aBaud, int aCount,
               const std::vector<std::string>& aExtra = {}) {
  const std::string dir = makeTempDir();
  std::vector<std::string> options{"--baud", std::to_string(aBaud)};
  options.insert(options.end(), aExtra.begin(), aExtra.end());
  TSimulator simulator(dir, options);
  TVTSMSManagerSerialModem modem;
  configure(modem, dir);
  modem.setSMSCheckIntervall(3'600'000); // no polling during the measurement
  modem.setActive(true);
  int failures = 0;
  const auto start = TClock::now();
  for (int i = 0; i < aCount; ++i) {
    failures += modem.sendSMSText(kRecipient, kText) == ICSMSRESULT_OK ? 0 : 1;
  }
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  modem.setActive(false);
  const std::string pdu = TSMSCODEC().EncodeSMS(kRecipient.substr(1), kText);
  const double lineMS = aBaud == 0 ? 0.0 : bytesPerSend(pdu) * 10.0 * 1000.0 / aBaud;
  std::printf("%-40s %4d SMS  %6.2f SMS/s  %6.1f ms/SMS  line %5.1f ms (%5.1f SMS/s)  "
              "failures %d\n",
              aLabel, aCount, aCount / seconds, seconds * 1000 / aCount, lineMS,
              lineMS > 0 ? 1000 / lineMS : 0.0, failures);
  std::filesystem::remove_all(dir);
}

// A received SMS goes to its row and to the unread queue of one account, as the core stores
// it; the delay runs from the simulator's answer to "deliver" (the SMS is stored in the
// modem then) to the end of that store.
void benchReceive(const char* aLabel, int aIntervallMS, int aSamples,
                  const std::vector<std::string>& aSimOptions) {
  const std::string dir = makeTempDir();
  TBizDatabaseSettings settings;
  settings.Name = dir + "/receive.fdb";
  settings.Username = "SYSDBA";
  settings.Encoding = "UTF8";
  std::string schema;
  std::string error;
  if (!platform::readWholeFile(PARLINO_SOURCE_DIR "/db/schema.sql", schema) ||
      !setupDatabase(settings, schema, "bench", "pw", error)) {
    std::printf("%-40s not measured: no embedded database (%s)\n", aLabel, error.c_str());
    return;
  }
  TBizDatabase database;
  database.connect(settings);
  TSimulator simulator(dir, aSimOptions);
  TVTSMSManagerSerialModem modem;
  configure(modem, dir);
  modem.setSMSCheckIntervall(aIntervallMS);
  modem.setAutoDeleteSMS(true);
  std::mutex lock;
  std::condition_variable stored;
  int count = 0;
  TClock::time_point storedAt;
  modem.OnSMSReceived = [&](TVTSMSManager*, const std::string& aSender, const std::string& aText,
                            const std::string& aData, const TVTSMSManagerMessage& aInfo) {
    const std::int64_t key = database.saveSMSIn(
        aInfo.getMessageType(), aSender, 0, aText, aData, aInfo.getMessageTimestamp(), NowUTC(),
        aInfo.getMessageIndex(), aInfo.getMessageState(), aInfo.getMessageLength());
    database.saveSMSUnRead(1, aInfo.getMessageType(), key, aSender, aText, aData,
                           aInfo.getMessageTimestamp(), NowUTC(), aInfo.getMessageIndex(),
                           aInfo.getMessageState(), aInfo.getMessageLength());
    std::lock_guard guard(lock);
    ++count;
    storedAt = TClock::now();
    stored.notify_all();
    return key > 0;
  };
  modem.setActive(true);
  std::vector<double> delays;
  for (int i = 0; i < aSamples; ++i) {
    // Spread the deliveries over the check interval.
    std::this_thread::sleep_for(std::chrono::milliseconds(37 + 137 * (i % 7)));
    int before = 0;
    {
      std::lock_guard guard(lock);
      before = count;
    }
    simulator.command("deliver +491711234567 sample " + std::to_string(i));
    const auto inModem = TClock::now();
    std::unique_lock guard(lock);
    if (stored.wait_for(guard, std::chrono::seconds(10), [&] { return count > before; })) {
      delays.push_back(std::chrono::duration<double, std::milli>(storedAt - inModem).count());
    }
  }
  modem.setActive(false);
  std::sort(delays.begin(), delays.end());
  double mean = 0;
  for (double delay : delays) {
    mean += delay / static_cast<double>(std::max<std::size_t>(delays.size(), 1));
  }
  std::printf("%-40s %4zu SMS  median %7.1f ms  mean %7.1f ms  worst %7.1f ms  lost %zu\n", aLabel,
              delays.size(), delays.empty() ? 0.0 : delays[delays.size() / 2], mean,
              delays.empty() ? 0.0 : delays.back(),
              static_cast<std::size_t>(aSamples) - delays.size());
  std::filesystem::remove_all(dir);
}

} // namespace

int main() {
  std::signal(SIGPIPE, SIG_IGN);
  Logger().clearAppenders(); // the figures, not log files
  std::printf("Sends of \"%s\" one after the other; line: the time its bytes take on a line of "
              "that speed\n(10 bits per byte, command, prompt, PDU and answer one after the "
              "other).\n",
              kText.c_str());
  benchSend("send, unpaced", 0, 200);
  benchSend("send, 115200 baud", 115200, 200);
  benchSend("send, 9600 baud", 9600, 200);
  benchSend("send, 9600 baud, ^RSSI every 0.4 s", 9600, 100, {"--urc-every", "400"});
  std::printf("Received SMS: from the modem storing it to its row in the unread queue.\n");
  benchReceive("receive, new-message notices", 60000, 20, {});
  benchReceive("receive, polling every 1 s (no notices)", 1000, 10,
               {"--cnmi-offer", "(0),(0),(0),(0),(0)"});
  std::printf("(Polling alone at the default SMSCheckIntervall of 60 s waits 30 s on average.)\n");
  return 0;
}
