#pragma once

#include "server/BizDatabase.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// What the benchmarks share: the programs they start (the gateway, the modem simulator) from
// the build folder, and a gateway database on the local Firebird server.
namespace bench {

inline std::string binary(const std::string& aRelative) {
  return std::string(PARLINO_BINARY_DIR) + "/" + aRelative;
}

// Starts aArguments[0] with its output appended to aOutput.
inline pid_t spawn(const std::vector<std::string>& aArguments, const std::string& aOutput) {
  const pid_t pid = fork();
  if (pid == 0) {
    freopen(aOutput.c_str(), "a", stdout);
    freopen(aOutput.c_str(), "a", stderr);
    std::vector<char*> argv;
    for (const auto& argument : aArguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

inline void stop(pid_t aPid) {
  kill(aPid, SIGTERM);
  waitpid(aPid, nullptr, 0);
}

// Makes aDatabase on the local server with the administrator admin/admin; false, with a
// message naming aBench, when that fails.
inline bool makeServerDatabase(const char* aBench, const std::string& aDatabase,
                               const std::string& aPassword) {
  const std::string command =
      "'" + binary("tools/dbinit/parlino-dbinit") + "' 'localhost:" + aDatabase +
      "' --admin admin admin --user SYSDBA --password '" + aPassword + "' >/dev/null";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "%s: no database (is the Firebird server running?)\n", aBench);
    return false;
  }
  return true;
}

inline TBizDatabaseSettings serverDatabaseSettings(const std::string& aDatabase,
                                                   const std::string& aPassword) {
  TBizDatabaseSettings settings;
  settings.Name = aDatabase;
  settings.Host = "localhost";
  settings.Username = "SYSDBA";
  settings.Password = aPassword;
  settings.Encoding = "UTF8";
  return settings;
}

} // namespace bench
