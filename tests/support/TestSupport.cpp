#include "tests/support/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

TTempDir::TTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/parlino-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  fPath = pattern;
}

TTempDir::~TTempDir() {
  nftw(
      fPath.c_str(),
      [](const char* aPath, const struct stat*, int, struct FTW*) { return ::remove(aPath); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

std::string readFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::string& aPath, const std::string& aContent) {
  std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
  out << aContent;
}

std::vector<std::string> listDirectory(const std::string& aPath) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(aPath.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") {
        names.push_back(name);
      }
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool waitFor(const std::function<bool()>& aCondition, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (!aCondition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return aCondition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TChildProcess::TChildProcess(const std::string& aProgram,
                             const std::vector<std::string>& aArguments,
                             const std::string& aWorkingDirectory, const std::string& aOutputFile) {
  std::vector<std::string> args;
  args.push_back(aProgram);
  args.insert(args.end(), aArguments.begin(), aArguments.end());
  fPid = fork();
  if (fPid == 0) {
    if (!aWorkingDirectory.empty() && chdir(aWorkingDirectory.c_str()) != 0) {
      _exit(126);
    }
    if (!aOutputFile.empty()) {
      const int fd = open(aOutputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
      }
    }
    std::vector<char*> argv;
    for (auto& a : args) {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    execv(aProgram.c_str(), argv.data());
    _exit(127);
  }
  if (fPid < 0) {
    throw std::runtime_error("fork failed");
  }
}

TChildProcess::~TChildProcess() {
  if (running()) {
    ::kill(fPid, SIGKILL);
    wait(std::chrono::seconds(5));
  }
}

bool TChildProcess::running() {
  if (fPid <= 0 || fExited) {
    return false;
  }
  int status = 0;
  if (waitpid(fPid, &status, WNOHANG) == fPid) {
    fExited = true;
    fStatus = status;
    return false;
  }
  return true;
}

void TChildProcess::signal(int aSignal) {
  if (running()) {
    ::kill(fPid, aSignal);
  }
}

int TChildProcess::wait(std::chrono::milliseconds aTimeout) {
  if (!waitFor([this] { return !running(); }, aTimeout)) {
    return -1;
  }
  if (WIFEXITED(fStatus)) {
    return WEXITSTATUS(fStatus);
  }
  return WIFSIGNALED(fStatus) ? 128 + WTERMSIG(fStatus) : -1;
}

std::string buildPath(const std::string& aRelative) {
  return std::string(PARLINO_BINARY_DIR) + "/" + aRelative;
}

std::string sourcePath(const std::string& aRelative) {
  return std::string(PARLINO_SOURCE_DIR) + "/" + aRelative;
}

} // namespace testsupport
