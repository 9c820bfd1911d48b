#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Conversions between the program's UTF-8 text and the byte forms it meets outside:
// single-byte characters (U+0000..U+00FF), the Windows-1252 ANSI code page, UTF-16.
// Invalid UTF-8 is read byte by byte as Latin-1, so nothing is ever lost silently.

std::u32string utf8ToCodePoints(std::string_view aText);
std::string codePointsToUtf8(std::u32string_view aCodePoints);
void appendUtf8(std::string& aOut, char32_t aCodePoint);

// Each character U+0000..U+00FF becomes one byte; a character above U+00FF becomes "?".
std::string utf8ToLatin1(std::string_view aText);
std::string latin1ToUtf8(std::string_view aBytes);

// Windows-1252: characters without a code become "?".
std::string utf8ToCp1252(std::string_view aText);
std::string cp1252ToUtf8(std::string_view aBytes);

std::u16string utf8ToUtf16(std::string_view aText);
std::string utf16ToUtf8(std::u16string_view aText);

// ASCII letters in lower case; every other byte stays as it is.
std::string lowerAscii(std::string aText);

// Count of UTF-16 code units of a UTF-8 text (the unit in which length limits are stated).
std::size_t utf16Length(std::string_view aText);
