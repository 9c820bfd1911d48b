#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line of the prerequisites tool as a list of entries: "name=value" with the name
// in lower case and the value as given, or a lone word in lower case. Pure text work.
//
//   {" App=Parlino ", "AUTOCLOSE", "prereqs=Firebird"}
//     → {"app=Parlino", "autoclose", "prereqs=Firebird"}
std::vector<std::string> parseCommandLine(const std::vector<std::string>& aArguments);

// The value of the first entry named aName, any case; "" when there is none.
std::string commandLineValue(const std::vector<std::string>& aParams, std::string_view aName);
// Whether some entry is the word aWord as a whole, any case ("autoclose=1" is not "autoclose").
bool commandLineHasWord(const std::vector<std::string>& aParams, std::string_view aWord);
// The value of aName as an integer; aDefault when absent or not a whole number.
int commandLineInteger(const std::vector<std::string>& aParams, std::string_view aName,
                       int aDefault);

// aText split at commas, the parts as they are ("a,,b" gives "a", "", "b"; "" gives nothing).
std::vector<std::string> splitCommaText(const std::string& aText);
// aText without leading and trailing blanks and control characters.
std::string trimText(std::string_view aText);
