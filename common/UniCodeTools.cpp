#include "common/UniCodeTools.h"

#include "common/TextEncoding.h"

#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int alphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') {
    return c - 'A';
  }
  if (c >= 'a' && c <= 'z') {
    return c - 'a' + 26;
  }
  if (c >= '0' && c <= '9') {
    return c - '0' + 52;
  }
  if (c == '+') {
    return 62;
  }
  if (c == '/') {
    return 63;
  }
  return -1;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Calls aEmit for each decoded byte until it returns false or the input leaves the alphabet.
template <typename Emit>
void decodeBase64Stream(std::string_view aText, Emit aEmit) {
  unsigned accumulator = 0;
  int pending = 0;
  for (char c : aText) {
    const int index = alphabetIndex(c);
    if (index < 0) {
      return;
    }
    accumulator = (accumulator << 6) | static_cast<unsigned>(index);
    pending += 6;
    if (pending >= 8) {
      pending -= 8;
      const auto byte = static_cast<std::uint8_t>(accumulator >> pending);
      accumulator &= (1u << pending) - 1;
      if (!aEmit(byte)) {
        return;
      }
    }
  }
}

} // namespace

std::string encodeBase64Bytes(std::string_view aBytes) {
  std::string out;
  out.reserve((aBytes.size() + 2) / 3 * 4);
  unsigned accumulator = 0;
  int pending = 0;
  for (char c : aBytes) {
    accumulator = (accumulator << 8) | static_cast<unsigned char>(c);
    pending += 8;
    while (pending >= 6) {
      pending -= 6;
      out += kAlphabet[accumulator >> pending];
      accumulator &= (1u << pending) - 1;
    }
  }
  if (pending > 0) {
    out += kAlphabet[accumulator << (6 - pending)];
  }
  if (aBytes.size() % 3 == 1) {
    out += "==";
  } else if (aBytes.size() % 3 == 2) {
    out += '=';
  }
  return out;
}

std::string decodeBase64Bytes(std::string_view aText) {
  std::string out;
  out.reserve(aText.size() * 3 / 4);
  decodeBase64Stream(aText, [&](std::uint8_t b) {
    out += static_cast<char>(b);
    return true;
  });
  return out;
}

std::string encodeBase64(const std::string& aText) {
  return encodeBase64Bytes(utf8ToLatin1(aText));
}

std::string decodeBase64(const std::string& aText) {
  return latin1ToUtf8(decodeBase64Bytes(aText));
}

int decodeBase64Buf(const std::string& aString, std::uint8_t* aBuffer, int aBufferSize) {
  if (aBuffer == nullptr || aBufferSize <= 0) {
    return 0;
  }
  std::memset(aBuffer, 0, static_cast<std::size_t>(aBufferSize));
  int stored = 0;
  decodeBase64Stream(aString, [&](std::uint8_t b) {
    aBuffer[stored++] = b;
    return stored < aBufferSize;
  });
  return stored;
}

int DecodeHexStringToBA(const std::string& aString, std::vector<std::uint8_t>& aToByteArray) {
  if (aString.size() % 2 != 0) {
    throw EConvertError(aString + " is not a coded-pure-string (Byte)");
  }
  aToByteArray.assign(aString.size() / 2, 0);
  for (std::size_t i = 0; i < aToByteArray.size(); ++i) {
    const int high = hexValue(aString[2 * i]);
    const int low = hexValue(aString[2 * i + 1]);
    if (high < 0 || low < 0) {
      throw EConvertError(aString + " is not a coded-pure-string (Byte), invalid on <" +
                          std::to_string(2 * i) + "> pos");
    }
    aToByteArray[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return static_cast<int>(aToByteArray.size());
}

std::string encodeHexBytes(std::string_view aBytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(aBytes.size() * 2);
  for (char c : aBytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}
