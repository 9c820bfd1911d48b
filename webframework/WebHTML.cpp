#include "webframework/WebHTML.h"

#include "common/TextEncoding.h"

namespace {

std::string escaped(std::string_view aText, bool aAttribute) {
  std::string out;
  out.reserve(aText.size() + aText.size() / 8);
  for (const char32_t c : utf8ToCodePoints(aText)) {
    switch (c) {
    case U'&':
      out += "&amp;";
      break;
    case U'<':
      out += "&lt;";
      break;
    case U'>':
      out += "&gt;";
      break;
    case U'"':
      out += "&quot;";
      break;
    case U'\'':
      out += "&#39;";
      break;
    case U'\n':
      out += aAttribute ? "&#10;" : "\n";
      break;
    case U'\r':
      out += aAttribute ? "&#13;" : "\r";
      break;
    case U'\t':
      out += '\t';
      break;
    default:
      if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0)) {
        break; // control characters have no place in a page
      }
      appendUtf8(out, c);
    }
  }
  return out;
}

} // namespace

std::string htmlEscape(std::string_view aText) {
  return escaped(aText, false);
}

std::string htmlAttribute(std::string_view aText) {
  return escaped(aText, true);
}

std::string webUrlEncode(std::string_view aText) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : aText) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}
