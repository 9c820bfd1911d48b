#include "common/TextTools.h"

#include <algorithm>

std::string replaceAll(std::string aText, std::string_view aFrom, std::string_view aTo) {
  if (aFrom.empty()) {
    return aText;
  }
  for (std::size_t pos = aText.find(aFrom); pos != std::string::npos;
       pos = aText.find(aFrom, pos + aTo.size())) {
    aText.replace(pos, aFrom.size(), aTo);
  }
  return aText;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}
