#pragma once

#include "modem/VTSMSManagerSerialModem.h"
#include "tests/support/TestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace modemtest {

// The driver's pauses and waits shortened for tests: long enough for a loaded machine to
// answer, short enough that the time-out cases stay quick.
TVTSerialModemTimings fastTimings();

// A pseudo-terminal linked at a path, standing in for a serial device in the port's tests:
// the test reads and writes the other end. The line stays usable while the port closes and
// reopens it (the helper keeps the device end open too). unplug() makes the device vanish
// as an unplugged USB modem does; plug() brings a fresh one back at the same path.
class TPtyLine {
public:
  explicit TPtyLine(std::string aLinkPath);
  ~TPtyLine();
  TPtyLine(const TPtyLine&) = delete;
  TPtyLine& operator=(const TPtyLine&) = delete;

  void plug();
  void unplug();
  void write(const std::string& aBytes);
  // Everything that arrives within aTimeoutMs after the first byte came (or nothing).
  std::string readAvailable(int aTimeoutMs = 2000);
  // Reads until aWanted has arrived; returns all that was read.
  std::string readUntil(const std::string& aWanted, int aTimeoutMs = 10000);
  int deviceFd() const { return fSlave; }

private:
  std::string fLinkPath;
  int fMaster = -1;
  int fSlave = -1;
};

// The modem simulator as a child process with its device at <dir>/COM<port>, its control
// socket and its log in dir.
class TModemSim {
public:
  TModemSim(const std::string& aDir, int aPort, const std::vector<std::string>& aOptions = {});
  ~TModemSim();
  TModemSim(const TModemSim&) = delete;
  TModemSim& operator=(const TModemSim&) = delete;

  // One control line; returns the reply line ("OK ..." or "ERROR ...").
  std::string command(const std::string& aLine);
  std::string logText() const { return testsupport::readFile(fLogPath); }
  // The log's entries after their time stamps.
  std::vector<std::string> logEntries() const;
  const std::string& linkPath() const { return fLinkPath; }

private:
  std::string fLinkPath;
  std::string fControlPath;
  std::string fLogPath;
  std::unique_ptr<testsupport::TChildProcess> fProcess;
};

} // namespace modemtest
