#pragma once

#include <memory>
#include <optional>
#include <string_view>

// Facts about the operating system the program runs on. Nothing here throws.
namespace platform {

class ISystemInfo {
public:
  virtual ~ISystemInfo() = default;
  // True on a 64-bit operating system; nothing when the system cannot be asked.
  virtual std::optional<bool> is64BitOperatingSystem() = 0;
};

// uname(): the kernel's machine name decides, so a 32-bit build of the program on a 64-bit
// kernel still reports 64 bits.
std::unique_ptr<ISystemInfo> createUnameSystemInfo();

// Whether a machine name of uname() ("x86_64", "aarch64", "i686") is a 64-bit architecture.
bool isMachine64Bit(std::string_view aMachine);

} // namespace platform
