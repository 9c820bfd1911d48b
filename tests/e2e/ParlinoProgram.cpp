#include "tests/e2e/ParlinoProgram.h"

namespace parlinotest {

using namespace testsupport;

void writeOptionsFile(const TTempDir& aFolder, const TOptionValues& aValues) {
  std::string text = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]\r\n";
  for (const auto& [name, value] : aValues) {
    text += "\"" + name + "\"=\"" + value + "\"\r\n";
  }
  writeFile(aFolder.file("parlino.reg"), text);
}

std::unique_ptr<TChildProcess> startParlino(const TTempDir& aFolder,
                                            const std::string& aStartupDelayMs,
                                            const std::string& aOutputName) {
  return std::make_unique<TChildProcess>(
      buildPath("apps/parlino/parlino"),
      std::vector<std::string>{"--startup-delay-ms", aStartupDelayMs, "--options",
                               aFolder.file("parlino.reg"), "--home", aFolder.path()},
      aFolder.path(), aFolder.file(aOutputName));
}

} // namespace parlinotest
