#pragma once

#include <string>

// Identity of the running process and machine. Failures give empty texts or 0; nothing throws.
namespace platform {

std::string userName();     // the effective user's login name
std::string computerName(); // the host name
int processId();
long threadId();               // the kernel's id of the calling thread
std::string programPath();     // the full path of the program file
std::string programFileStem(); // the program's file name without directory and extension

// "The directory of the program file" as the system uses it: the configuration file, the
// initial log directory and the message folders live there. Defaults to the directory of the
// program file; the --home option replaces it before anything is logged. Always ends in "/".
std::string programHome();
void setProgramHome(const std::string& aDirectory);

std::string tempDirectory(); // $TMPDIR, else /tmp; ends in "/"

} // namespace platform
