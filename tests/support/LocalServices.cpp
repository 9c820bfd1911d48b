#include "tests/support/LocalServices.h"

#include "platform/TcpServer.h"

#include <cstdlib>
#include <fstream>

namespace testsupport {

int freeLoopbackPort() {
  platform::TTcpServer probe;
  if (!probe.listen("127.0.0.1", 0)) {
    return 0;
  }
  return probe.port();
}

std::string localServerPassword() {
  const char* fromEnvironment = std::getenv("PARLINO_FB_PASSWORD");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  std::ifstream in("/etc/firebird/3.0/SYSDBA.password");
  const std::string prefix = "ISC_PASSWORD=";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      std::string value = line.substr(prefix.size());
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return "masterkey";
}

} // namespace testsupport
