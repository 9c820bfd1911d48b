#include "common/TextEncoding.h"

#include <array>

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five undefined codes, which map to themselves.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Reads one code point at aPos; malformed input yields the byte itself as Latin-1.
char32_t nextCodePoint(std::string_view s, std::size_t& aPos) {
  const auto b0 = static_cast<unsigned char>(s[aPos]);
  auto cont = [&](std::size_t i) {
    return aPos + i < s.size() && (static_cast<unsigned char>(s[aPos + i]) & 0xC0) == 0x80;
  };
  auto bits = [&](std::size_t i) { return static_cast<char32_t>(s[aPos + i] & 0x3F); };
  if (b0 < 0x80) {
    ++aPos;
    return b0;
  }
  if (b0 >= 0xC2 && b0 < 0xE0 && cont(1)) {
    const char32_t cp = (static_cast<char32_t>(b0 & 0x1F) << 6) | bits(1);
    aPos += 2;
    return cp;
  }
  if (b0 >= 0xE0 && b0 < 0xF0 && cont(1) && cont(2)) {
    const char32_t cp = (static_cast<char32_t>(b0 & 0x0F) << 12) | (bits(1) << 6) | bits(2);
    if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
      aPos += 3;
      return cp;
    }
  }
  if (b0 >= 0xF0 && b0 < 0xF5 && cont(1) && cont(2) && cont(3)) {
    const char32_t cp =
        (static_cast<char32_t>(b0 & 0x07) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      aPos += 4;
      return cp;
    }
  }
  ++aPos;
  return b0;
}

} // namespace

void appendUtf8(std::string& aOut, char32_t cp) {
  if (cp < 0x80) {
    aOut += static_cast<char>(cp);
  } else if (cp < 0x800) {
    aOut += static_cast<char>(0xC0 | (cp >> 6));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    aOut += static_cast<char>(0xE0 | (cp >> 12));
    aOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    aOut += static_cast<char>(0xF0 | (cp >> 18));
    aOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    aOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    aOut += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::u32string utf8ToCodePoints(std::string_view aText) {
  std::u32string out;
  out.reserve(aText.size());
  for (std::size_t pos = 0; pos < aText.size();) {
    out += nextCodePoint(aText, pos);
  }
  return out;
}

std::string codePointsToUtf8(std::u32string_view aCodePoints) {
  std::string out;
  out.reserve(aCodePoints.size());
  for (char32_t cp : aCodePoints) {
    appendUtf8(out, cp);
  }
  return out;
}

std::string utf8ToLatin1(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (std::size_t pos = 0; pos < aText.size();) {
    const char32_t cp = nextCodePoint(aText, pos);
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
  }
  return out;
}

std::string latin1ToUtf8(std::string_view aBytes) {
  std::string out;
  out.reserve(aBytes.size() * 2);
  for (char c : aBytes) {
    appendUtf8(out, static_cast<unsigned char>(c));
  }
  return out;
}

std::string utf8ToCp1252(std::string_view aText) {
  std::string out;
  out.reserve(aText.size());
  for (std::size_t pos = 0; pos < aText.size();) {
    const char32_t cp = nextCodePoint(aText, pos);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
      const char32_t high = kCp1252High[i] ? kCp1252High[i] : static_cast<char32_t>(0x80 + i);
      if (high == cp) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::string cp1252ToUtf8(std::string_view aBytes) {
  std::string out;
  out.reserve(aBytes.size() * 2);
  for (char c : aBytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] != 0) {
      appendUtf8(out, kCp1252High[b - 0x80]);
    } else {
      appendUtf8(out, b);
    }
  }
  return out;
}

std::u16string utf8ToUtf16(std::string_view aText) {
  std::u16string out;
  out.reserve(aText.size());
  for (std::size_t pos = 0; pos < aText.size();) {
    const char32_t cp = nextCodePoint(aText, pos);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view aText) {
  std::string out;
  out.reserve(aText.size() * 2);
  for (std::size_t i = 0; i < aText.size(); ++i) {
    char32_t cp = aText[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < aText.size() && aText[i + 1] >= 0xDC00 &&
        aText[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (aText[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD; // a lone surrogate has no UTF-8 form
    }
    appendUtf8(out, cp);
  }
  return out;
}

std::size_t utf16Length(std::string_view aText) {
  std::size_t units = 0;
  for (std::size_t pos = 0; pos < aText.size();) {
    units += nextCodePoint(aText, pos) >= 0x10000 ? 2 : 1;
  }
  return units;
}

std::string lowerAscii(std::string aText) {
  for (char& c : aText) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return aText;
}
