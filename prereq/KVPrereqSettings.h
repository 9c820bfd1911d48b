#pragma once

#include "prereq/KVPrereqFirebirdSetup.h"

#include <string>
#include <string_view>
#include <vector>

// The configuration of the prerequisites: a small text file beside the program, then the
// command line, each value by its name in any case:
//
//   # tomvek.conf
//   FirebirdURLUser=https://firebirdsql.org/en/server-packages/
//   FirebirdDownloadLink64=https://example.org/Firebird-3.0.12.33787-0.amd64.tar.gz
//   FirebirdDownloadLink32=https://example.org/Firebird-3.0.12.33787-0.i686.tar.gz
//   FirebirdClientLibrary=libfbclient.so.2
//   FirebirdServerUnits=firebird3.0.service,firebird.service
//
// Lines starting with "#" or ";", blank lines, "[section]" lines and unknown names are
// skipped; blanks around names and values are dropped. A value given on the command line
// ("firebirddownloadlink64=http://...") wins over the file.
inline constexpr const char* SC_PREREQSETTINGSFILE = "tomvek.conf";

// Sets the value aName; false for a name that is no setting.
bool applyPrereqSetting(std::string_view aName, const std::string& aValue,
                        TKVPrereqFirebirdSettings& aSettings);
// Applies every "name=value" line of a settings file's text.
void readPrereqSettingsText(std::string_view aText, TKVPrereqFirebirdSettings& aSettings);
// Reads a settings file; a missing file changes nothing. False when it exists but cannot
// be read.
bool readPrereqSettingsFile(const std::string& aPath, TKVPrereqFirebirdSettings& aSettings);
// Applies the settings given on the command line (entries of parseCommandLine).
void applyPrereqSettingsArguments(const std::vector<std::string>& aParams,
                                  TKVPrereqFirebirdSettings& aSettings);
