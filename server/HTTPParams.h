#pragma once

#include <string>
#include <string_view>
#include <vector>

// Reading the parameters of an HTTP command. Pure text in, text out.
struct THTTPField {
  std::string Name;
  std::string Value;
};
using THTTPFields = std::vector<THTTPField>;

// Decodes "%XX" escapes and "+" (a blank). Malformed escapes stay as they are. Bytes that
// are no valid UTF-8 are taken as ISO-8859-1 characters, so the result is always UTF-8.
std::string urlDecode(std::string_view aText);

// name=value pairs separated by "&", each URL-decoded; a pair without "=" has an empty value.
THTTPFields parseFormEncoded(std::string_view aText);

// The value of the first field named aName (compared without regard to case), or "".
std::string findField(const THTTPFields& aFields, std::string_view aName);

// A command's parameter: from the query when it has any field; otherwise from the body read
// as form fields and lower-cased as a whole, names and values alike.
std::string getHTTPParam(const THTTPFields& aQueryFields, std::string_view aBody,
                         std::string_view aParamName);

// "true"/"false" in any case, or a number where 0 is false; aDefault for anything else.
bool readBooleanParam(const std::string& aValue, bool aDefault);

// A leading "+" or blank is dropped; otherwise a leading "00" of a number of two or more
// characters; otherwise the number stays as it is.
std::string normaliseReceiver(const std::string& aReceiver);
