#include "platform/Shell.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace platform {
namespace {

// Owns the file actions of one posix_spawn.
class TSpawnActions {
public:
  TSpawnActions() { fReady = posix_spawn_file_actions_init(&fActions) == 0; }
  ~TSpawnActions() {
    if (fReady) {
      posix_spawn_file_actions_destroy(&fActions);
    }
  }
  TSpawnActions(const TSpawnActions&) = delete;
  TSpawnActions& operator=(const TSpawnActions&) = delete;
  bool ready() const { return fReady; }
  posix_spawn_file_actions_t* get() { return &fActions; }

private:
  posix_spawn_file_actions_t fActions{};
  bool fReady = false;
};

// The exit code of a child that ended, -1 when a signal ended it.
int exitCodeOf(int aStatus) {
  return WIFEXITED(aStatus) ? WEXITSTATUS(aStatus) : -1;
}

int waitForChild(pid_t aPid, const std::function<void()>& aOnWaitStep) {
  // A descriptor of the process becomes readable at its end, so a step ends as soon as the
  // child does; kernels without it get steps of plain sleeping.
  const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, aPid, 0));
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(aPid, &status, WNOHANG);
    if (ended == aPid) {
      break;
    }
    if (ended < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    if (ended == 0) {
      pollfd entry{pidFd, POLLIN, 0};
      const int ready = pidFd >= 0 ? poll(&entry, 1, IShell::IC_WAITSTEPMS)
                                   : poll(nullptr, 0, IShell::IC_WAITSTEPMS);
      if (ready == 0 && aOnWaitStep) {
        aOnWaitStep();
      }
    }
  }
  if (pidFd >= 0) {
    close(pidFd);
  }
  return status == -1 ? -1 : exitCodeOf(status);
}

class TPosixShell : public IShell {
public:
  int execute(const std::string& aProgram, const std::vector<std::string>& aArguments,
              const std::string& aDirectory, bool aWait,
              const std::function<void()>& aOnWaitStep) override {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(aProgram.c_str()));
    for (const auto& argument : aArguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    TSpawnActions actions;
    if (!actions.ready() || (!aDirectory.empty() && posix_spawn_file_actions_addchdir_np(
                                                        actions.get(), aDirectory.c_str()) != 0)) {
      return -1;
    }
    pid_t pid = 0;
    if (posix_spawnp(&pid, aProgram.c_str(), actions.get(), nullptr, argv.data(), environ) != 0) {
      return -1;
    }
    if (!aWait) {
      // Nobody reads the exit code; a child that ends before this program stays a zombie
      // until then, which costs nothing worth a reaper thread.
      return 0;
    }
    return waitForChild(pid, aOnWaitStep);
  }

  int openAddress(const std::string& aURL) override {
    // The shell starts the opener in the background and ends at once; the opener then
    // belongs to init, which reaps it, and a browser it starts may run on after us.
    const int result =
        execute("/bin/sh", {"-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", aURL}, {}, true, {});
    return result == 0 ? 0 : -1;
  }
};

} // namespace

std::unique_ptr<IShell> createPosixShell() {
  return std::make_unique<TPosixShell>();
}

} // namespace platform
