#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Starting programs for the user: an installer the program waits for, and the user's browser.
// Nothing here throws.
namespace platform {

class IShell {
public:
  static constexpr int IC_WAITSTEPMS = 100;

  virtual ~IShell() = default;
  // Starts aProgram (a path, or a name looked up in PATH) with aArguments in aDirectory (empty:
  // the current one). With aWait it waits for the end, calling aOnWaitStep after every
  // IC_WAITSTEPMS that passed without an end, and returns the exit code; without aWait it
  // returns 0 once started. -1 when the program could not be started or its exit code could
  // not be read (it was ended by a signal).
  virtual int execute(const std::string& aProgram, const std::vector<std::string>& aArguments,
                      const std::string& aDirectory, bool aWait,
                      const std::function<void()>& aOnWaitStep) = 0;
  // Opens an address in the user's preferred browser (xdg-open) without waiting for it;
  // -1 when the opener could not be started.
  virtual int openAddress(const std::string& aURL) = 0;
};

// posix_spawn and waitpid; the browser through "xdg-open" from PATH.
std::unique_ptr<IShell> createPosixShell();

} // namespace platform
