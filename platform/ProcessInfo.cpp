#include "platform/ProcessInfo.h"

#include <limits.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

namespace platform {
namespace {
std::mutex gHomeLock; // leaf lock around the home directory text
std::string gHome;

std::string withTrailingSlash(std::string aDirectory) {
  if (aDirectory.empty() || aDirectory.back() != '/') {
    aDirectory += '/';
  }
  return aDirectory;
}
} // namespace

std::string userName() {
  struct passwd pwd {};
  struct passwd* result = nullptr;
  char buffer[1024];
  if (getpwuid_r(geteuid(), &pwd, buffer, sizeof buffer, &result) != 0 || result == nullptr) {
    return {};
  }
  std::string name = result->pw_name;
  return name.size() > 255 ? std::string() : name;
}

std::string computerName() {
  char buffer[HOST_NAME_MAX + 1] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) {
    return {};
  }
  return buffer;
}

int processId() {
  return static_cast<int>(getpid());
}

long threadId() {
  return static_cast<long>(syscall(SYS_gettid));
}

std::string programPath() {
  char buffer[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string programFileStem() {
  std::string name = programPath();
  const auto slash = name.rfind('/');
  if (slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

std::string programHome() {
  std::lock_guard lock(gHomeLock);
  if (gHome.empty()) {
    const std::string path = programPath();
    const auto slash = path.rfind('/');
    gHome = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
  }
  return gHome;
}

void setProgramHome(const std::string& aDirectory) {
  std::lock_guard lock(gHomeLock);
  gHome = withTrailingSlash(aDirectory);
}

std::string tempDirectory() {
  const char* dir = getenv("TMPDIR");
  return withTrailingSlash(dir != nullptr && *dir != '\0' ? dir : "/tmp");
}

} // namespace platform
