#pragma once

#include "server/HTTPParams.h"

#include <cstddef>
#include <string>
#include <string_view>

// What the parameters of an HTTP command may hold. Every value comes from anyone who reaches
// the HTTP port; a value that breaks its rule is answered 400 (403 for the credentials) before
// it reaches the database, the modem or a log line. Pure text in, text out.

// Longest values in characters, by where the values end up.
inline constexpr std::size_t IC_MAXACCOUNTNAMELENGTH = 100; // ACCOUNTS.accountname
inline constexpr std::size_t IC_MAXPASSWORDLENGTH = 256;    // a plain password (a digest has 32)
inline constexpr std::size_t IC_MAXRECEIVERLENGTH = 64;     // smsserver_out.RECIPIENT
inline constexpr std::size_t IC_MAXMESSAGELENGTH = 4000;    // smsserver_out.SMSTEXT
inline constexpr std::size_t IC_MAXOPTIONLENGTH = 32;       // smspwdcoded, coding, type

enum class EParamFault { None, TooLong, ControlCharacters };

// Whether aValue has at most aMaxLength characters and no control character (C0, DEL, C1:
// NUL, ESC, CR, ...). With aLineEnds, TAB, LF and CR are allowed: the line ends of a text.
// Example: checkParamValue("anna\x1B", 100) is ControlCharacters.
EParamFault checkParamValue(std::string_view aValue, std::size_t aMaxLength,
                            bool aLineEnds = false);

// The first parameter of a request that breaks its rule, by name.
struct TParamFault {
  std::string Name;
  EParamFault Fault = EParamFault::None;
  explicit operator bool() const { return Fault != EParamFault::None; }
};

// smsusr and smspwd.
TParamFault checkCredentialParams(const TSMSCommandParams& aParams);
// The other parameters of "/sendsms": smspwdcoded, receiver, message (a text with line ends),
// coding and type.
TParamFault checkSendSMSParams(const TSMSCommandParams& aParams);
// The other parameter of "/getnewsms": smspwdcoded.
TParamFault checkGetNewSMSParams(const TSMSCommandParams& aParams);

// "HTTP-Parameter <receiver> is too long." or "HTTP-Parameter <receiver> holds control
// characters.", the text after "400:" in the answer.
std::string paramFaultText(const TParamFault& aFault);
