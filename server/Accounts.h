#pragma once

#include "common/DateTime.h"

#include <optional>
#include <string>

// What an account may do; each action is one bit of the account type (1 << action).
enum TKVSMSSAction : int {
  ACT_SENDSMS = 0,
  ACT_RECEIVESMS = 1,
  ACT_CLEARSMSMEMORY = 2,
};

// Result codes of the command interface, also written by the account check.
inline constexpr int SSMS_OK = 200;
inline constexpr int SSMS_OKPENDINGDATA = 201;
inline constexpr int SSMS_BADREQUEST = 400;
inline constexpr int SSMS_UNAUTHORIZED = 401;
inline constexpr int SSMS_FORBIDDEN = 403;
inline constexpr int SSMS_NOTFOUND = 404;
inline constexpr int SSMS_INTERNALSERVERERROR = 500;
inline constexpr int SSMS_NOTIMPLEMENTED = 501;

// The account type of administrators: every bit set.
inline constexpr int IC_ACCOUNTTYPE_ADMIN = 255;

// The password digest stored with an account: MD5 of the password's characters in the
// single-byte ANSI code page (Windows-1252, one byte per character), as 32 lower-case
// hexadecimal digits.
std::string encodeMD5(const std::string& aPassword);

// Whether an account whose type is aType may perform aAction.
bool accountAllows(int aType, TKVSMSSAction aAction);

// The stored active flag read as a boolean: "true"/"false" in any case, or a number where 0
// is false; anything else is false.
bool readAccountActive(const std::string& aActive);
// The text stored for an active flag.
inline const char* accountActiveText(bool aActive) {
  return aActive ? "true" : "false";
}

// True when there is no expiration time or the current local time is not later than it.
bool notExpired(const std::optional<TDateTime>& aExpiration);
