#pragma once

#include <chrono>
#include <string>
#include <vector>

// The command line of the server program.
struct TProgramArguments {
  std::string Home;        // empty: the directory of the program file
  std::string OptionsFile; // empty: the default options file
  std::chrono::milliseconds StartupDelay{15000};
  std::string DataDir; // empty: www/ beside the program, else ../share/parlino/www
  std::chrono::milliseconds SessionTimeout{15 * 60 * 1000}; // idle time of a page session
  bool ShowHelp = false;
  std::string Error; // set when the command line is wrong
};

TProgramArguments parseProgramArguments(const std::vector<std::string>& aArguments);
std::string programUsage();
