// The HTTP commands under load on loopback: "/getnewsms" with an empty queue and with 10
// queued SMS, and "/sendsms" through the unpaced modem simulator, with 1, 8 and 32 clients;
// next to the core's own work for an empty "/getnewsms" without HTTP (the command run in
// process by TSMSCommands on a connection of its own) and its bare statements (checkAccount
// and the queue read). Prints figures only.
//   http_bench [seconds per figure, default 2]
// Needs the Firebird server on localhost (scripts/test-services start); the SYSDBA password
// is $PARLINO_FB_PASSWORD or the ISC_PASSWORD of /etc/firebird/3.0/SYSDBA.password.
#include "bench/BenchSupport.h"
#include "common/SystemTools.h"
#include "logging/KvLogger.h"
#include "server/Accounts.h"
#include "server/BizDatabase.h"
#include "server/DatabaseSetup.h"
#include "server/SMSCommands.h"
#include "tests/support/LocalServices.h"

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
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kClients[] = {1, 8, 32};
constexpr int kQueued = 10;

using bench::binary;
using bench::spawn;
using bench::stop;

// The simulator links its device a moment after it starts; a gateway started before that
// would activate a modem whose port cannot be opened.
bool waitForPath(const std::string& aPath, int aSeconds) {
  const auto deadline = TClock::now() + std::chrono::seconds(aSeconds);
  while (TClock::now() < deadline) {
    if (access(aPath.c_str(), F_OK) == 0) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

struct TFigures {
  double perSecond = 0;
  double p50 = 0;
  double p99 = 0;
  int failures = 0;
};

// aClients threads each run aRequest (which may prepare untimed work first and returns the
// status it got) for aSeconds; the latencies of the timed parts make the percentiles.
TFigures load(int aClients, double aSeconds,
              const std::function<int(int aClient, httplib::Client&, TClock::duration&)>& aRequest,
              int aPort) {
  std::vector<std::vector<double>> latencies(static_cast<std::size_t>(aClients));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  const auto end = TClock::now() + std::chrono::duration<double>(aSeconds);
  for (int c = 0; c < aClients; ++c) {
    threads.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", aPort);
      client.set_keep_alive(true);
      client.set_read_timeout(60, 0);
      while (TClock::now() < end) {
        TClock::duration spent{};
        const int status = aRequest(c, client, spent);
        if (status != 200 && status != 201) {
          ++failures;
        }
        latencies[static_cast<std::size_t>(c)].push_back(
            std::chrono::duration<double, std::milli>(spent).count());
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  std::vector<double> all;
  for (const auto& list : latencies) {
    all.insert(all.end(), list.begin(), list.end());
  }
  std::sort(all.begin(), all.end());
  TFigures figures;
  figures.failures = failures;
  if (!all.empty()) {
    double total = 0;
    for (double value : all) {
      total += value;
    }
    // The rate of the timed requests alone: untimed preparation (refilling a queue) does not
    // count against the server.
    figures.perSecond = static_cast<double>(all.size()) * aClients / (total / 1000.0);
    figures.p50 = all[all.size() / 2];
    figures.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  }
  return figures;
}

int timedGet(httplib::Client& aClient, const std::string& aTarget, TClock::duration& aSpent) {
  const auto start = TClock::now();
  const auto result = aClient.Get(aTarget);
  aSpent = TClock::now() - start;
  return result ? result->status : 0;
}

// The in-process command needs no modem for "/getnewsms".
class TNoModem : public ISMSModem {
public:
  bool isActive() override { return false; }
  int sendSMSText(const std::string&, const std::string&, int) override { return 1; }
  int sendSMSBinary(const std::string&, const std::vector<std::uint8_t>&) override { return 1; }
  int sendSMSPush(const std::string&, const std::vector<std::uint8_t>&) override { return 1; }
  int clearMemory() override { return 1; }
};

// Operations per second of aStep run for aSeconds on this thread.
double rate(double aSeconds, const std::function<void()>& aStep) {
  const auto start = TClock::now();
  int operations = 0;
  while (TClock::now() - start < std::chrono::duration<double>(aSeconds)) {
    aStep();
    ++operations;
  }
  return operations / std::chrono::duration<double>(TClock::now() - start).count();
}

void print(const char* aWhat, int aClients, const TFigures& aFigures, const char* aUnit) {
  std::printf("%-28s %3d clients  %9.1f %s  p50 %7.2f ms  p99 %7.2f ms%s\n", aWhat, aClients,
              aFigures.perSecond, aUnit, aFigures.p50, aFigures.p99,
              aFigures.failures > 0 ? "  (some requests failed)" : "");
}

} // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  Logger().clearAppenders(); // the figures, not log files
  char folder[] = "/tmp/parlino-http-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    return 1;
  }
  const std::string dir = folder;
  chmod(dir.c_str(), 0777);
  const std::string password = testsupport::localServerPassword();
  const std::string database = dir + "/bench.fdb";
  const std::string connection = "localhost:" + database;

  if (!bench::makeServerDatabase("http_bench", database, password)) {
    return 1;
  }
  const TBizDatabaseSettings settings = bench::serverDatabaseSettings(database, password);
  TBizDatabase db;
  db.connect(settings);
  for (int c = 0; c < 32; ++c) {
    db.addAccount("client" + std::to_string(c), encodeMD5("pw"), true, 3, TDateTime(), 0);
  }
  {
    std::ofstream sql(dir + "/patterns.sql");
    sql << "insert into SMSSERVER_OUTPATTERNS (ID, ACCOUNTID, PATTERN) select ACCOUNTID, "
           "ACCOUNTID, '' from ACCOUNTS;\ncommit;\n";
  }
  std::system(("isql-fb -q -user SYSDBA -password '" + password + "' '" + connection + "' -i '" +
               dir + "/patterns.sql' >/dev/null")
                  .c_str());
  std::vector<int> accountIds;
  {
    std::vector<std::string> accounts;
    db.retrieveAccounts(&accounts);
    for (const auto& line : accounts) {
      if (line.find("=client") != std::string::npos) {
        accountIds.push_back(std::stoi(line.substr(0, line.find('='))));
      }
    }
  }

  mkdir((dir + "/dev").c_str(), 0755);
  const pid_t simulator =
      spawn({binary("tools/modemsim/parlino-modemsim"), "--link", dir + "/dev/COM1",
             "--storage-size", "50", "--log", dir + "/sim.log"},
            dir + "/sim.out");
  if (!waitForPath(dir + "/dev/COM1", 10)) {
    std::fprintf(stderr, "http_bench: the modem simulator did not start (see %s)\n", dir.c_str());
    stop(simulator);
    return 1;
  }
  const int port = testsupport::freeLoopbackPort();
  std::ofstream(dir + "/parlino.reg")
      << "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]\r\n"
      << "\"Database\"=\"" << database << "\"\r\n\"DatabaseHost\"=\"localhost\"\r\n"
      << "\"DatabaseUser\"=\"SYSDBA\"\r\n\"DatabasePassword\"=\"" << password << "\"\r\n"
      << "\"DatabaseEncoding\"=\"UTF8\"\r\n\"HTTPPort\"=\"" << port << "\"\r\n"
      << "\"LogPath\"=\"" << dir << "/log/\"\r\n\"LogLevel\"=\"warn\"\r\n"
      << "\"SerialDeviceDir\"=\"" << dir << "/dev\"\r\n";
  std::ofstream(dir + "/Parlino.kvcfg")
      << "<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\" active=\"true\">"
         "<Modemconfig comport=\"1\" baudrate=\"br115200\"/></m></SMSConfigurations>"
         "</kvsmssenderconfiguration>";
  const pid_t server = spawn({binary("apps/parlino/parlino"), "--startup-delay-ms", "0",
                              "--options", dir + "/parlino.reg", "--home", dir},
                             dir + "/parlino.out");
  // The modem is up when a send goes through.
  bool ready = false;
  for (int i = 0; i < 300 && !ready; ++i) {
    httplib::Client probe("127.0.0.1", port);
    const auto result = probe.Get("/sendsms?smsusr=client0&smspwd=" + encodeMD5("pw") +
                                  "&receiver=4917&message=probe");
    ready = result && result->status == 200;
    if (!ready) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (!ready) {
    std::fprintf(stderr, "http_bench: the gateway did not come up (see %s)\n", dir.c_str());
    stop(server);
    stop(simulator);
    return 1;
  }

  auto credentials = [&](int aClient) {
    return "smsusr=client" + std::to_string(aClient) + "&smspwd=" + encodeMD5("pw");
  };
  std::printf("HTTP commands on loopback, %.1f s per figure\n", seconds);
  for (int clients : kClients) {
    const TFigures figures = load(
        clients, seconds,
        [&](int c, httplib::Client& http, TClock::duration& spent) {
          return timedGet(http, "/getnewsms?" + credentials(c), spent);
        },
        port);
    print("/getnewsms, empty queue", clients, figures, "req/s");
  }
  // The fetched rows go once the answer is written, which may be just after the client read
  // it: every refill takes keys of its own.
  std::atomic<int> nextQueuedId{1};
  for (int clients : kClients) {
    print("/getnewsms, 10 queued SMS", clients,
          load(
              clients, seconds,
              [&](int c, httplib::Client& http, TClock::duration& spent) {
                for (int i = 0; i < kQueued; ++i) { // untimed: refill the queue
                  db.saveSMSUnRead(accountIds[static_cast<std::size_t>(c)], VTSMSMMT_TEXT,
                                   nextQueuedId++, "4917", "queued", "", NowUTC(), NowUTC(), -1, -1,
                                   6);
                }
                return timedGet(http, "/getnewsms?" + credentials(c), spent);
              },
              port),
          "req/s");
  }
  for (int clients : kClients) {
    print("/sendsms, unpaced modem", clients,
          load(
              clients, seconds,
              [&](int c, httplib::Client& http, TClock::duration& spent) {
                return timedGet(http, "/sendsms?" + credentials(c) + "&receiver=4917&message=Hi",
                                spent);
              },
              port),
          "SMS/s");
  }

  // The same request without HTTP: the command in process, and its bare statements. On a
  // shared machine the three are measured in alternating rounds and compared by their medians.
  TNoModem noModem;
  TSMSCommands commands(db, noModem);
  TWebRequest request;
  request.Method = "GET";
  request.Path = "/getnewsms";
  request.QueryText = credentials(0);
  request.QueryFields = parseWebFormFields(request.QueryText);
  int accountId = 0;
  std::string text;
  constexpr int kRounds = 5;
  const double round = seconds / 2;
  std::vector<double> overHttp, command, statements;
  httplib::Client http("127.0.0.1", port);
  http.set_keep_alive(true);
  for (int r = 0; r < kRounds; ++r) {
    overHttp.push_back(rate(round, [&] { http.Get("/getnewsms?" + credentials(0)); }));
    command.push_back(rate(round, [&] {
      TWebResponse response;
      commands.dispatch(request, response);
    }));
    statements.push_back(rate(round, [&] {
      db.checkAccount("client0", encodeMD5("pw"), ACT_RECEIVESMS, text, accountId, true);
      TSMSList unread;
      db.retrieveSMSUnRead(&unread, accountId);
    }));
  }
  const auto median = [](std::vector<double> aValues) {
    std::sort(aValues.begin(), aValues.end());
    return aValues[aValues.size() / 2];
  };
  const double httpRate = median(overHttp);
  const double commandRate = median(command);
  const double statementRate = median(statements);
  std::printf("an empty /getnewsms of one client, median of %d alternating rounds:\n", kRounds);
  std::printf("  over HTTP                 %9.1f req/s\n", httpRate);
  std::printf("  the command in process    %9.1f req/s (TSMSCommands on a connection of its own)\n",
              commandRate);
  std::printf("  its bare statements       %9.1f ops/s (checkAccount + retrieveSMSUnRead, without "
              "the commit request)\n",
              statementRate);
  std::printf("HTTP runs at %.2f of the core's rate for the same command (%.2f of the bare "
              "statements')\n",
              httpRate / commandRate, httpRate / statementRate);
  std::printf("compare with bench/db_bench for the statements on one attachment\n");

  stop(server);
  stop(simulator);
  db.disconnect();
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
