#pragma once

#include "logging/KvLoggerTypes.h"

#include <string>

// The option values the server reads from its options store at start-up. The initial values
// are those in force when the store cannot be opened at all; the defaults of the store's
// missing values are applied by readServerOptions.
struct TServerOptions {
  std::string DatabaseName;
  std::string DatabaseHost;
  int DatabasePort = 0;
  std::string DatabaseUsername;
  std::string DatabasePassword;
  std::string DatabaseRole;
  std::string DatabaseEncoding;
  int HTTPPort = 8080;
  std::string LogPath = "./log/";
  TKvLoggerLevel LogLevel = KVLL_TRACE;
  bool LogToServer = false;
  std::string LogServerHost;
  int LogServerPort = 0;
  std::string LogServerUser;
  std::string LogServerPasswd;
  TKvLoggerLevel LogServerLevel = KVLL_TRACE;
  std::string LogServerMachineIdent;
  std::string WebAppStartCmd;
  std::string WebAppExecCmd = "EXEC";
  std::string WebAppURLBase;
  std::string SerialDeviceDir = "/dev/parlino";
  int SMSCheckIntervall = 60000; // ms between two reads of the modem memory
  int MaxSMSParts = 6;           // parts of a long SMS sent by "/sendsms", 1..IC_MAXSMSPARTSOPTION
  int ConcatTimeoutMinutes = 60; // how long received parts wait for the rest of their message
};

// The most parts "MaxSMSParts" allows: a sent SMS is stored as one row whose text (4000
// characters) and PDUs (8000 characters, about 310 a part) must fit their columns.
inline constexpr int IC_MAXSMSPARTSOPTION = 20;

inline constexpr const char* SC_OPTIONSKEY = "HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino";
inline constexpr const char* SC_OPTIONSSUBKEY = "Options";
inline constexpr const char* SC_DEFAULTOPTIONSFILE = "/etc/parlino/parlino.reg";

// Reads the options file at aPath into aOptions, in the fixed order of the values. A missing
// file or key gives the defaults (the key is created when the folder permits); a file that
// cannot be read leaves aOptions as it is; a value of another type than text ends the reading
// there, the later values keeping what they had. Never throws.
void readServerOptions(const std::string& aPath, TServerOptions& aOptions);
