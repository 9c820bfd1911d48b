#include "server/HTTPParams.h"

#include "common/TextEncoding.h"

#include <charconv>

namespace {
int hexDigit(char c) {
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
} // namespace

std::string urlDecode(std::string_view aText) {
  std::string bytes;
  bytes.reserve(aText.size());
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '+') {
      bytes += ' ';
    } else if (c == '%' && i + 2 < aText.size() && hexDigit(aText[i + 1]) >= 0 &&
               hexDigit(aText[i + 2]) >= 0) {
      bytes += static_cast<char>(hexDigit(aText[i + 1]) * 16 + hexDigit(aText[i + 2]));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return codePointsToUtf8(utf8ToCodePoints(bytes));
}

THTTPFields parseFormEncoded(std::string_view aText) {
  THTTPFields fields;
  std::size_t start = 0;
  while (start <= aText.size()) {
    std::size_t end = aText.find('&', start);
    if (end == std::string_view::npos) {
      end = aText.size();
    }
    const std::string_view pair = aText.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      THTTPField field;
      field.Name = urlDecode(pair.substr(0, equals));
      field.Value =
          equals == std::string_view::npos ? std::string() : urlDecode(pair.substr(equals + 1));
      fields.push_back(std::move(field));
    }
    start = end + 1;
  }
  return fields;
}

std::string findField(const THTTPFields& aFields, std::string_view aName) {
  const std::string wanted = lowerAscii(std::string(aName));
  for (const THTTPField& field : aFields) {
    if (lowerAscii(field.Name) == wanted) {
      return field.Value;
    }
  }
  return {};
}

std::string getHTTPParam(const THTTPFields& aQueryFields, std::string_view aBody,
                         std::string_view aParamName) {
  if (!aQueryFields.empty()) {
    return findField(aQueryFields, aParamName);
  }
  THTTPFields bodyFields = parseFormEncoded(aBody);
  for (THTTPField& field : bodyFields) {
    field.Name = lowerAscii(field.Name);
    field.Value = lowerAscii(field.Value);
  }
  return findField(bodyFields, aParamName);
}

bool readBooleanParam(const std::string& aValue, bool aDefault) {
  const std::string text = lowerAscii(aValue);
  if (text == "true") {
    return true;
  }
  if (text == "false") {
    return false;
  }
  long long number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return aDefault;
  }
  return number != 0;
}

std::string normaliseReceiver(const std::string& aReceiver) {
  if (!aReceiver.empty() && (aReceiver[0] == '+' || aReceiver[0] == ' ')) {
    return aReceiver.substr(1);
  }
  if (aReceiver.size() >= 2 && aReceiver.compare(0, 2, "00") == 0) {
    return aReceiver.substr(2);
  }
  return aReceiver;
}
