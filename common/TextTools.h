#pragma once

#include <charconv>
#include <string>
#include <string_view>

// Small text helpers shared by every subsystem. Pure: text in, text out.

// Every occurrence of aFrom replaced by aTo, left to right; what a replacement wrote is not
// searched again (replacing "a" by "aa" in "ab" gives "aab"). An empty aFrom changes nothing.
std::string replaceAll(std::string aText, std::string_view aFrom, std::string_view aTo);

// Whether a and b are the same text when ASCII letters are compared without regard to case
// ("Content-Length" and "content-LENGTH"); other bytes must be equal.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Reads the whole of aText as a decimal integer of type TInt: an optional "-" and digits,
// nothing before or after (no blanks, no "+"). False for anything else or a value out of
// range; aValue is then unspecified.
template <typename TInt>
bool tryParseInteger(std::string_view aText, TInt& aValue) {
  const char* end = aText.data() + aText.size();
  const auto [stop, ec] = std::from_chars(aText.data(), end, aValue);
  return ec == std::errc() && stop == end;
}
