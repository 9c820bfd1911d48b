#include "webframework/WebRequest.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"

#include <algorithm>

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

std::string valueOf(const TWebFields& aFields, std::string_view aName) {
  const TWebField* field = findWebField(aFields, aName);
  return field == nullptr ? std::string() : field->Value;
}

} // namespace

std::string webUrlDecode(std::string_view aText, bool aPlusIsBlank) {
  std::string bytes;
  bytes.reserve(aText.size());
  for (std::size_t i = 0; i < aText.size(); ++i) {
    const char c = aText[i];
    if (c == '+' && aPlusIsBlank) {
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

TWebFields parseWebFormFields(std::string_view aText) {
  TWebFields fields;
  std::size_t start = 0;
  while (start <= aText.size()) {
    std::size_t end = aText.find('&', start);
    if (end == std::string_view::npos) {
      end = aText.size();
    }
    const std::string_view pair = aText.substr(start, end - start);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      TWebField field;
      field.Name = webUrlDecode(pair.substr(0, equals));
      if (equals != std::string_view::npos) {
        field.Value = webUrlDecode(pair.substr(equals + 1));
      }
      fields.push_back(std::move(field));
    }
    start = end + 1;
  }
  return fields;
}

const TWebField* findWebField(const TWebFields& aFields, std::string_view aName) {
  for (const TWebField& field : aFields) {
    if (equalsIgnoreCase(field.Name, aName)) {
      return &field;
    }
  }
  return nullptr;
}

std::string TWebRequest::getHeader(std::string_view aName) const {
  return valueOf(Headers, aName);
}

bool TWebRequest::hasHeader(std::string_view aName) const {
  return findWebField(Headers, aName) != nullptr;
}

std::string TWebRequest::getQueryParam(std::string_view aName) const {
  return valueOf(QueryFields, aName);
}

std::string TWebRequest::getFormParam(std::string_view aName) const {
  return valueOf(FormFields, aName);
}

void TWebResponse::setHeader(const std::string& aName, const std::string& aValue) {
  std::erase_if(Headers,
                [&](const TWebField& field) { return equalsIgnoreCase(field.Name, aName); });
  Headers.push_back({aName, aValue});
}

std::string TWebResponse::getHeader(std::string_view aName) const {
  return valueOf(Headers, aName);
}
