#include "prereq/KVPrereqCommandLine.h"

#include "common/TextEncoding.h"

#include <charconv>

std::string trimText(std::string_view aText) {
  const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!aText.empty() && isBlank(aText.front())) {
    aText.remove_prefix(1);
  }
  while (!aText.empty() && isBlank(aText.back())) {
    aText.remove_suffix(1);
  }
  return std::string(aText);
}

std::vector<std::string> parseCommandLine(const std::vector<std::string>& aArguments) {
  std::vector<std::string> params;
  for (const auto& argument : aArguments) {
    const std::string trimmed = trimText(argument);
    const auto equals = trimmed.find('=');
    if (equals == std::string::npos) {
      params.push_back(lowerAscii(trimmed));
    } else {
      params.push_back(lowerAscii(trimmed.substr(0, equals)) + trimmed.substr(equals));
    }
  }
  return params;
}

std::string commandLineValue(const std::vector<std::string>& aParams, std::string_view aName) {
  const std::string name = lowerAscii(std::string(aName));
  for (const auto& entry : aParams) {
    const auto equals = entry.find('=');
    if (equals != std::string::npos && lowerAscii(entry.substr(0, equals)) == name) {
      return entry.substr(equals + 1);
    }
  }
  return {};
}

bool commandLineHasWord(const std::vector<std::string>& aParams, std::string_view aWord) {
  const std::string word = lowerAscii(std::string(aWord));
  for (const auto& entry : aParams) {
    if (lowerAscii(entry) == word) {
      return true;
    }
  }
  return false;
}

int commandLineInteger(const std::vector<std::string>& aParams, std::string_view aName,
                       int aDefault) {
  const std::string value = trimText(commandLineValue(aParams, aName));
  int result = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, result);
  return value.empty() || error != std::errc() || stop != end ? aDefault : result;
}

std::vector<std::string> splitCommaText(const std::string& aText) {
  std::vector<std::string> parts;
  if (aText.empty()) {
    return parts;
  }
  std::size_t start = 0;
  for (;;) {
    const auto comma = aText.find(',', start);
    parts.push_back(aText.substr(start, comma - start));
    if (comma == std::string::npos) {
      return parts;
    }
    start = comma + 1;
  }
}
