#pragma once

#include "common/DateTime.h"

#include <string>

inline constexpr const char* SC_RECEIVEDFOLDER = "received";
inline constexpr const char* SC_SENTFOLDER = "sent";

// The file name of an SMS: "yyyyMMdd hh-mm-ss_<number>" (only "yyyyMMdd_<number>" at exactly
// midnight), without the ".kvsms" extension. Characters of the number that could leave the
// folder or are not allowed in file names become "_".
std::string messageFileBaseName(TDateTime aLocalTime, const std::string& aNumber);

// Writes aContent as a new ".kvsms" file in aFolder (made with its parents when missing).
// When the name is taken, "_2", "_3", … is added before the extension, so no message file
// replaces another. Returns false with aError set on failure; aPath is the name tried last.
bool writeMessageFile(const std::string& aFolder, const std::string& aBaseName,
                      const std::string& aContent, std::string& aPath, std::string& aError);
