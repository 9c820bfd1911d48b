#include "platform/SystemInfo.h"

#include <sys/utsname.h>

#include <array>

namespace platform {
namespace {

class TUnameSystemInfo : public ISystemInfo {
public:
  std::optional<bool> is64BitOperatingSystem() override {
    struct utsname name {};
    if (uname(&name) != 0) {
      return std::nullopt;
    }
    return isMachine64Bit(name.machine);
  }
};

} // namespace

std::unique_ptr<ISystemInfo> createUnameSystemInfo() {
  return std::make_unique<TUnameSystemInfo>();
}

bool isMachine64Bit(std::string_view aMachine) {
  static constexpr std::array<std::string_view, 12> machines64 = {
      "x86_64", "amd64",   "aarch64", "arm64",  "ppc64",       "ppc64le",
      "s390x",  "riscv64", "sparc64", "mips64", "loongarch64", "alpha"};
  for (const auto machine : machines64) {
    if (aMachine == machine) {
      return true;
    }
  }
  return aMachine.starts_with("aarch64") || aMachine.starts_with("mips64") ||
         aMachine.starts_with("ia64");
}

} // namespace platform
