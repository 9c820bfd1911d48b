#pragma once

#include "tests/support/TestSupport.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The built parlino program in a scratch installation: options file "parlino.reg" and home
// folder in the test's folder, which is also the working directory.
namespace parlinotest {

using TOptionValues = std::vector<std::pair<std::string, std::string>>;

// Writes <folder>/parlino.reg with the server's options key holding aValues as text values.
void writeOptionsFile(const testsupport::TTempDir& aFolder, const TOptionValues& aValues);

// Writes <folder>/Parlino.kvcfg: one serial modem on COM3 at 115200 baud, active or not.
void writeModemConfiguration(const testsupport::TTempDir& aFolder, bool aActive = true);

// One control line to the modem simulator whose control socket is <folder>/sim.ctl; its
// reply (the last line the simulator answered).
std::string simulatorReply(const testsupport::TTempDir& aFolder, const std::string& aLine);

// How long a started gateway may take to listen and to activate its modem: on a loaded
// machine (the browser tests beside it) its database connect alone can take seconds.
inline constexpr std::chrono::seconds kStartTimeout{60};

// Starts parlino on <folder>/parlino.reg with --home <folder> and the given start-up wait;
// its standard output and error go to <folder>/<aOutputName>.
std::unique_ptr<testsupport::TChildProcess>
startParlino(const testsupport::TTempDir& aFolder, const std::string& aStartupDelayMs = "0",
             const std::string& aOutputName = "parlino.out");

} // namespace parlinotest
