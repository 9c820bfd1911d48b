#pragma once

#include <chrono>
#include <string>
#include <vector>

// The command line of the server program.
struct TProgramArguments {
  std::string Home;        // empty: the directory of the program file
  std::string OptionsFile; // empty: the default options file
  std::chrono::milliseconds StartupDelay{15000};
  bool ShowHelp = false;
  std::string Error; // set when the command line is wrong
};

TProgramArguments parseProgramArguments(const std::vector<std::string>& aArguments);
std::string programUsage();
