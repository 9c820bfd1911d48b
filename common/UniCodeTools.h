#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised by DecodeHexStringToBA for a text that is not a coded-pure-string.
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Base64 of text whose characters are 8-bit values (U+0000..U+00FF); a character above
// U+00FF is taken as "?". Standard alphabet, "=" padding, no line breaks.
std::string encodeBase64(const std::string& aText);
// The inverse: each decoded byte becomes one character U+0000..U+00FF. Decoding stops at the
// first character outside the alphabet ("=", blanks and line breaks included).
std::string decodeBase64(const std::string& aText);
// Decodes into aBuffer (first zeroed), at most aBufferSize bytes; returns the bytes stored.
int decodeBase64Buf(const std::string& aString, std::uint8_t* aBuffer, int aBufferSize);

// The same codec over raw bytes held in a std::string.
std::string encodeBase64Bytes(std::string_view aBytes);
std::string decodeBase64Bytes(std::string_view aText);

// Decodes a hex text ("coded-pure-string") into aToByteArray and returns the byte count.
// Throws EConvertError with the documented messages for an odd length or a non-hex pair; the
// array then holds the bytes decoded before the bad pair.
int DecodeHexStringToBA(const std::string& aString, std::vector<std::uint8_t>& aToByteArray);

// Upper-case hex of bytes, two digits each.
std::string encodeHexBytes(std::string_view aBytes);
