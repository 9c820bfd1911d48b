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

void writeModemConfiguration(const TTempDir& aFolder, bool aActive) {
  writeFile(aFolder.file("Parlino.kvcfg"),
            std::string("<kvsmssenderconfiguration><SMSConfigurations><m type=\"serialmodem\" "
                        "active=\"") +
                (aActive ? "true" : "false") +
                "\"><Modemconfig comport=\"3\" baudrate=\"br115200\"/></m>"
                "</SMSConfigurations></kvsmssenderconfiguration>");
}

std::string simulatorReply(const TTempDir& aFolder, const std::string& aLine) {
  TChildProcess client(buildPath("tools/modemsim/parlino-modemsim"),
                       {"--control", aFolder.file("sim.ctl"), "--command", aLine}, aFolder.path(),
                       aFolder.file("client.out"));
  client.wait();
  std::string reply = readFile(aFolder.file("client.out")); // the replies so far, one a line
  while (!reply.empty() && reply.back() == '\n') {
    reply.pop_back();
  }
  return reply.substr(reply.rfind('\n') + 1);
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
