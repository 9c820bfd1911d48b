#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

// The programs a benchmark starts (the gateway, the modem simulator) from the build folder.
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

} // namespace bench
