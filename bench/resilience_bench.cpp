// The gateway when its parts fail, in figures:
//  - the time from the database server's return to the first SMS stored that arrived while it
//    was away (the gateway reaches the server through a TCP forwarder that is cut for 2, 5
//    and 12 seconds; its attempts to reconnect pause 1 s, 2 s, 4 s ... up to 30 s);
//  - a valid "/sendsms" while 8 clients send wrong passwords (each refusal logs a warning),
//    with the log folder on a disk with room and on a full one (a small tmpfs; without the
//    right to mount one this part is left out).
// Prints figures only.
//   resilience_bench
// Needs the Firebird server on localhost (scripts/test-services start); the SYSDBA password
// is $PARLINO_FB_PASSWORD or the ISC_PASSWORD of /etc/firebird/3.0/SYSDBA.password.
#include "bench/BenchSupport.h"
#include "logging/KvLogger.h"
#include "server/Accounts.h"
#include "server/BizDatabase.h"
#include "server/DatabaseSetup.h"
#include "tests/support/LocalServices.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TcpForwarder.h"

#include <httplib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

using bench::binary;
using bench::spawn;
using bench::stop;

std::string readAll(const std::string& aPath) {
  std::ifstream file(aPath, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Polls every 5 ms until aCondition holds or aSeconds pass.
template <typename F>
bool waitUntil(F aCondition, int aSeconds) {
  const auto deadline = TClock::now() + std::chrono::seconds(aSeconds);
  while (TClock::now() < deadline) {
    if (aCondition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

double ms(TClock::duration aDuration) {
  return std::chrono::duration<double, std::milli>(aDuration).count();
}

// Median and slowest of a list of milliseconds.
void printSpread(const char* aWhat, std::vector<double> aTimes) {
  if (aTimes.empty()) {
    std::printf("%-52s (no figures)\n", aWhat);
    return;
  }
  std::sort(aTimes.begin(), aTimes.end());
  std::printf("%-52s p50 %8.1f ms  max %8.1f ms  (%zu)\n", aWhat, aTimes[aTimes.size() / 2],
              aTimes.back(), aTimes.size());
}

int run(const std::string& dir) {
  const std::string password = testsupport::localServerPassword();
  const std::string database = dir + "/bench.fdb";
  if (!bench::makeServerDatabase("resilience_bench", database, password)) {
    return 1;
  }
  const TBizDatabaseSettings settings = bench::serverDatabaseSettings(database, password);
  TBizDatabase view; // the benchmark's own view of the database, past the forwarder
  view.connect(settings);
  runSQLScript(view,
               "insert into SMSSERVER_INPATTERNS (ID, ACCOUNTID, PATTERN) values (1, 1, '');"
               "insert into SMSSERVER_OUTPATTERNS (ID, ACCOUNTID, PATTERN) values (2, 1, '');");
  const auto received = [&] {
    view.claimCommitTransaction(); // sees what the gateway committed since
    TSMSList unread;
    view.retrieveSMSUnRead(&unread, 1);
    return unread.size();
  };

  testsupport::TTcpForwarder forwarder("localhost", 3050);
  testsupport::TSmallDisk disk(dir + "/logdisk", 4 << 20);
  const std::string logFolder = disk.mounted() ? disk.folder() + "/log" : dir + "/log";
  const int port = testsupport::freeLoopbackPort();
  const std::string dev = dir + "/dev";
  mkdir(dev.c_str(), 0755);
  const pid_t simulator = spawn({binary("tools/modemsim/parlino-modemsim"), "--link", dev + "/COM3",
                                 "--control", dir + "/sim.ctl"},
                                dir + "/sim.out");
  waitUntil([&] { return access((dev + "/COM3").c_str(), F_OK) == 0; }, 10);
  std::ofstream(dir + "/parlino.reg")
      << "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]\r\n"
      << "\"Database\"=\"" << database << "\"\r\n\"DatabaseHost\"=\"127.0.0.1/" << forwarder.port()
      << "\"\r\n\"DatabaseUser\"=\"SYSDBA\"\r\n\"DatabasePassword\"=\"" << password
      << "\"\r\n\"DatabaseEncoding\"=\"UTF8\"\r\n\"HTTPPort\"=\"" << port << "\"\r\n\"LogPath\"=\""
      << logFolder << "/\"\r\n\"SerialDeviceDir\"=\"" << dev
      << "\"\r\n\"SMSCheckIntervall\"=\"600000\"\r\n";
  std::ofstream(dir + "/Parlino.kvcfg")
      << "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\" active=\"true\">"
         "<Modemconfig comport=\"3\"/></m></SMSConfigurations></kvsmssenderconfiguration>";
  const pid_t gateway = spawn({binary("apps/parlino/parlino"), "--startup-delay-ms", "0",
                               "--options", dir + "/parlino.reg", "--home", dir},
                              dir + "/parlino.out");
  const auto log = [&] {
    std::string text;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(logFolder, error)) {
      text += readAll(entry.path());
    }
    return text;
  };
  if (!waitUntil([&] { return log().find("serial modem activated") != std::string::npos; }, 60)) {
    std::fprintf(stderr, "resilience_bench: the gateway did not start\n");
    stop(gateway);
    stop(simulator);
    return 1;
  }
  const auto deliver = [&](const std::string& aText) {
    return std::system(("'" + binary("tools/modemsim/parlino-modemsim") + "' --control '" + dir +
                        "/sim.ctl' --command 'deliver +491711234567 " + aText + "' >/dev/null")
                           .c_str()) == 0;
  };
  const auto notStored = [&] {
    const std::string text = log();
    std::size_t lines = 0;
    for (auto at = text.find("it stays in the modem"); at != std::string::npos;
         at = text.find("it stays in the modem", at + 1)) {
      ++lines;
    }
    return lines;
  };

  std::printf("The database server away and back (an SMS arrives while it is away):\n");
  for (const int outage : {2, 5, 12}) {
    const std::size_t before = received();
    const std::size_t refusals = notStored();
    forwarder.cut();
    const auto cutAt = TClock::now();
    deliver("away" + std::to_string(outage));
    waitUntil([&] { return notStored() > refusals; }, 30);
    std::this_thread::sleep_for(std::chrono::seconds(outage) - (TClock::now() - cutAt));
    forwarder.restore();
    const auto back = TClock::now();
    const bool stored = waitUntil([&] { return received() > before; }, 90);
    std::printf("  away %2d s: first SMS stored %8.1f ms after the server's return%s\n", outage,
                ms(TClock::now() - back), stored ? "" : " (not stored within 90 s)");
  }

  const auto sendFigures = [&](const char* aWhat) {
    std::atomic<bool> running{true};
    std::vector<std::thread> wrong;
    for (int c = 0; c < 8; ++c) {
      wrong.emplace_back([&] {
        httplib::Client client("127.0.0.1", port);
        while (running) {
          client.Get("/sendsms?smsusr=nobody&smspwd=wrong&receiver=4917&message=x");
        }
      });
    }
    std::vector<double> times;
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    const std::string valid =
        "/sendsms?smsusr=admin&smspwd=" + encodeMD5("admin") + "&receiver=4917123&message=Hallo";
    for (int i = 0; i < 40; ++i) {
      const auto start = TClock::now();
      const auto result = client.Get(valid);
      if (result && result->status == 200) {
        times.push_back(ms(TClock::now() - start));
      }
    }
    running = false;
    for (auto& thread : wrong) {
      thread.join();
    }
    printSpread(aWhat, times);
  };
  std::printf("A valid /sendsms while 8 clients send wrong passwords:\n");
  sendFigures("  log disk with room");
  if (disk.mounted()) {
    disk.fill();
    sendFigures("  log disk full");
  } else {
    std::printf("  log disk full: left out (%s)\n", disk.error().c_str());
  }

  stop(gateway);
  stop(simulator);
  view.disconnect();
  return 0;
}

} // namespace

int main() {
  Logger().clearAppenders(); // the figures, not log files
  char folder[] = "/tmp/parlino-resilience-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    return 1;
  }
  chmod(folder, 0777);
  const int result = run(folder);
  std::system((std::string("rm -rf '") + folder + "'").c_str());
  return result;
}
