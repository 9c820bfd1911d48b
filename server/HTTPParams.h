#pragma once

#include "webframework/WebRequest.h"

#include <string>
#include <string_view>

// Reading the parameters of an HTTP command. Pure text in, text out.

// A command's parameter: from the query when it has any field (the name compared without
// regard to case); otherwise from the body read as form fields and lower-cased as a whole,
// names and values alike.
std::string getHTTPParam(const TWebFields& aQueryFields, std::string_view aBody,
                         std::string_view aParamName);

// The parameters of one HTTP command, read once per request by the rule of getHTTPParam: all
// from the query when it has any field, else all from the lower-cased form body. Absent
// parameters are empty.
struct TSMSCommandParams {
  std::string User;          // smsusr
  std::string Password;      // smspwd
  std::string PasswordCoded; // smspwdcoded, as it arrived
  std::string Receiver;      // receiver, not yet normalised
  std::string Message;       // message
  std::string Coding;        // coding, as it arrived
  std::string Type;          // type, as it arrived
  std::string ClientAddress; // no parameter: the client's address, which the dispatch adds
  std::string Format;        // format, as it arrived ("json" asks "/getnewsms" for JSON)
};
TSMSCommandParams readSMSCommandParams(const TWebFields& aQueryFields, std::string_view aBody);

// "true"/"false" in any case, or a number where 0 is false; aDefault for anything else.
bool readBooleanParam(const std::string& aValue, bool aDefault);

// A leading "+" or blank is dropped; otherwise a leading "00" of a number of two or more
// characters; otherwise the number stays as it is.
std::string normaliseReceiver(const std::string& aReceiver);
