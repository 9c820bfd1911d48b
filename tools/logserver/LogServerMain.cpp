// parlino-logserver: receives the log entries that Parlino sends to a log server and writes
// each accepted one as a line to a file or to standard output. Runs until SIGTERM or SIGINT.
#include "common/TextTools.h"
#include "logging/KvLogAppenderTCP.h"
#include "platform/StopSignals.h"
#include "tools/logserver/LogServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: parlino-logserver [options]\n"
    "  --port N          TCP port to listen on (default 0: a free port, see --port-file)\n"
    "  --bind ADDRESS    numeric address to listen on (default 127.0.0.1; \"\" for all)\n"
    "  --user NAME       require a login with this user name\n"
    "  --password TEXT   the password of that user (or PARLINO_LOGSERVER_PASSWORD)\n"
    "  --output FILE     append the received entries to FILE (default: standard output)\n"
    "  --port-file FILE  write the port listened on to FILE once listening\n"
    "  --answer TEXT     answer every request with TEXT (default 200), e.g. 401:denied\n"
    "  --silent          read requests but never answer them\n"
    "  --drop-after N    close a connection when its entry N+1 arrives, unanswered\n"
    "  --max-connections N  connections served at the same time (default 16)\n"
    "  --verbose         report connections, logins and answers on standard error\n"
    "  --help            show this text\n";

struct TArguments {
  TLogServerOptions Options;
  std::string OutputFile;
  std::string PortFile;
  bool Verbose = false;
  bool Help = false;
  std::string Error;
};

bool parseInt(const std::string& aText, int aMin, int aMax, int& aValue) {
  return tryParseInteger(aText, aValue) && aValue >= aMin && aValue <= aMax;
}

TArguments parseArguments(const std::vector<std::string>& aArguments) {
  TArguments result;
  if (const char* password = std::getenv("PARLINO_LOGSERVER_PASSWORD")) {
    result.Options.Password = password;
  }
  for (std::size_t i = 0; i < aArguments.size() && result.Error.empty(); ++i) {
    const std::string& option = aArguments[i];
    auto value = [&](std::string& aTarget) {
      if (i + 1 >= aArguments.size()) {
        result.Error = option + " needs a value";
        return false;
      }
      aTarget = aArguments[++i];
      return true;
    };
    auto number = [&](int aMin, int aMax, int& aTarget) {
      std::string text;
      if (value(text) && !parseInt(text, aMin, aMax, aTarget)) {
        result.Error = option + " needs a number from " + std::to_string(aMin) + " to " +
                       std::to_string(aMax) + ", not \"" + text + "\"";
      }
    };
    if (option == "--port") {
      number(0, 65535, result.Options.Port);
    } else if (option == "--bind") {
      value(result.Options.BindAddress);
    } else if (option == "--user") {
      value(result.Options.Username);
    } else if (option == "--password") {
      value(result.Options.Password);
    } else if (option == "--output") {
      value(result.OutputFile);
    } else if (option == "--port-file") {
      value(result.PortFile);
    } else if (option == "--answer") {
      value(result.Options.Answer);
    } else if (option == "--silent") {
      result.Options.Silent = true;
    } else if (option == "--drop-after") {
      number(1, 1000000000, result.Options.DropAfter);
    } else if (option == "--max-connections") {
      number(1, 1000, result.Options.MaxConnections);
    } else if (option == "--verbose") {
      result.Verbose = true;
    } else if (option == "--help" || option == "-h") {
      result.Help = true;
    } else {
      result.Error = "unknown option \"" + option + "\"";
    }
  }
  if (result.Error.empty() && result.Options.Answer.find_first_of("\r\n") != std::string::npos) {
    result.Error = "--answer must be a single line";
  }
  return result;
}

struct TFileCloser {
  void operator()(std::FILE* aFile) const { std::fclose(aFile); }
};

} // namespace

int main(int argc, char** argv) {
  const TArguments arguments = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (arguments.Help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments.Error.empty()) {
    std::fprintf(stderr, "parlino-logserver: %s\n%s", arguments.Error.c_str(), kUsage);
    return 2;
  }
  // The connection threads inherit the blocked stop signals; the main thread waits for them.
  platform::blockStopSignals();
  std::signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<std::FILE, TFileCloser> file;
  std::FILE* output = stdout;
  if (!arguments.OutputFile.empty()) {
    file.reset(std::fopen(arguments.OutputFile.c_str(), "a"));
    if (!file) {
      std::perror(("parlino-logserver: " + arguments.OutputFile).c_str());
      return 1;
    }
    output = file.get();
  }

  TLogServer server(arguments.Options);
  server.OnOutputLine = [output](const std::string& aLine) {
    std::fputs((aLine + "\n").c_str(), output);
    std::fflush(output);
  };
  if (arguments.Verbose) {
    server.OnTrace = [](const std::string& aText) {
      std::fprintf(stderr, "parlino-logserver: %s\n", aText.c_str());
    };
  }
  if (auto started = server.start(); !started) {
    std::fprintf(stderr, "parlino-logserver: cannot listen on %s:%d: %s\n",
                 arguments.Options.BindAddress.c_str(), arguments.Options.Port,
                 started.message().c_str());
    return 1;
  }
  std::fprintf(stderr, "parlino-logserver: listening on %s:%d\n",
               arguments.Options.BindAddress.c_str(), server.port());
  if (!arguments.PortFile.empty()) {
    // Written under a temporary name and renamed, so a reader never sees a partial number.
    const std::string temporary = arguments.PortFile + ".tmp";
    std::unique_ptr<std::FILE, TFileCloser> portFile(std::fopen(temporary.c_str(), "w"));
    if (!portFile || std::fprintf(portFile.get(), "%d\n", server.port()) < 0) {
      std::fprintf(stderr, "parlino-logserver: cannot write %s\n", arguments.PortFile.c_str());
      return 1;
    }
    portFile.reset();
    std::rename(temporary.c_str(), arguments.PortFile.c_str());
  }
  platform::waitForStopSignal();
  server.stop();
  return 0;
}
