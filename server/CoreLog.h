#pragma once

#include "common/DateTime.h"

#include <string>

// The module names of the core's log lines.
inline constexpr const char* SC_LOGMODULE_SERVERCONTROLLER = "servercontroller";
inline constexpr const char* SC_LOGMODULE_CONNECT = "connect";
inline constexpr const char* SC_LOGMODULE_CONNECTOPEN = "connect.open";
inline constexpr const char* SC_LOGMODULE_CONNECTTRANSACTION = "connect.transaction";
inline constexpr const char* SC_LOGMODULE_DB = "db";
inline constexpr const char* SC_LOGMODULE_CHECKACCOUNT = "db.checkaccount";
inline constexpr const char* SC_LOGMODULE_SQL = "sql";
inline constexpr const char* SC_LOGMODULE_HTTPCOMMAND = "httpcommand";
inline constexpr const char* SC_LOGMODULE_SENDSMSSERIAL = "sendsmsserial";
inline constexpr const char* SC_LOGMODULE_GETNEWSMS = "getnewsms";
inline constexpr const char* SC_LOGMODULE_RECEIVESMSSERIAL = "receivesmsserial";
inline constexpr const char* SC_LOGMODULE_SMSMODEM = "smsmodem";

// A date and time as the core writes it into log lines: "dd.MM.yyyy hh:mm:ss" (German
// settings, whatever the machine's regional settings are).
std::string coreDateTimeText(TDateTime aValue);
