#include "common/Attributes.h"

#include "common/AttributeFactory.h"
#include "common/AttributedDocument.h"
#include "common/LanguageTools.h"
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "common/UniCodeTools.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

std::string quoted(const std::string& aText) {
  return "\"" + aText + "\"";
}

// An integer of a document: one leading "+" is allowed ("+-5" is no number).
template <typename TInt>
bool tryParseSignedInteger(const std::string& aText, TInt& aValue) {
  std::string_view text = aText;
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') {
      return false;
    }
  }
  return tryParseInteger(text, aValue);
}

template <typename TInt>
TInt parseIntegerValue(const std::string& aText) {
  TInt value = 0;
  if (!tryParseSignedInteger(aText, value)) {
    throw EAttributedDocument("'" + aText + "' is not a valid integer value");
  }
  return value;
}

// A decimal number with "." as separator, as the whole text; false for anything else.
bool tryParseDouble(const std::string& aText, double& aValue) {
  const char* begin = aText.data();
  const char* end = begin + aText.size();
  if (begin != end && *begin == '+') {
    ++begin;
    if (begin != end && *begin == '-') {
      return false;
    }
  }
  if (begin == end) {
    return false;
  }
  const auto [stop, ec] = std::from_chars(begin, end, aValue, std::chars_format::general);
  return ec == std::errc() && stop == end;
}

// The general form with up to 15 significant digits: fixed-point when the value has at most
// 15 integer digits and is at least 0.00001 in magnitude, otherwise "<mantissa>E<exponent>".
std::string formatGeneral(double aValue) {
  if (std::isnan(aValue)) {
    return "nan";
  }
  if (std::isinf(aValue)) {
    return aValue > 0 ? "INF" : "-INF";
  }
  if (aValue == 0.0) {
    return "0";
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", aValue);
  std::string text(buffer);
  std::string sign;
  if (text[0] == '-') {
    sign = "-";
    text.erase(0, 1);
  }
  const std::size_t ePos = text.find('e');
  const int exponent = std::stoi(text.substr(ePos + 1));
  std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2);
  while (digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
  }
  if (exponent >= -5 && exponent < 15) {
    if (exponent < 0) {
      return sign + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= integerDigits) {
      return sign + digits + std::string(integerDigits - digits.size(), '0');
    }
    return sign + digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
  }
  std::string mantissa = digits.substr(0, 1);
  if (digits.size() > 1) {
    mantissa += "." + digits.substr(1);
  }
  return sign + mantissa + "E" + std::to_string(exponent);
}

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

bool tryParseHexByte(char aHigh, char aLow, std::uint8_t& aValue) {
  const int high = hexDigit(aHigh);
  const int low = hexDigit(aLow);
  if (high < 0 || low < 0) {
    return false;
  }
  aValue = static_cast<std::uint8_t>(high * 16 + low);
  return true;
}

// Base64 of the UTF-8 bytes of a text, and back; bytes that are no UTF-8 are read as Latin-1.
std::string encodeTextValue(const std::string& aText) {
  return encodeBase64Bytes(aText);
}

std::string decodeTextValue(const std::string& aText) {
  return codePointsToUtf8(utf8ToCodePoints(decodeBase64Bytes(aText)));
}

} // namespace

// ---- TAbstractAttribute ----

TAbstractAttribute::TAbstractAttribute(std::string aTypeName, TAttributeType aType)
    : fAttributeType(aType), fAttributeTypeName(std::move(aTypeName)) {}

TAbstractAttribute::~TAbstractAttribute() = default;

std::string TAbstractAttribute::getContent() const {
  return fAttributeID + ";" + fAttributeTypeName + ";" + encodeBase64(fAttributeCaption) + ";" +
         getValueAsText() + ";";
}

std::string TAbstractAttribute::getTypeAsText() const {
  return fAttributeTypeName;
}

TAttributeType TAbstractAttribute::getType() const {
  return fAttributeType;
}

void TAbstractAttribute::failRead(const char* aRequested) const {
  throw EAttributedDocument("Das Attribut " + quoted(fAttributeID) + " kann nich als " +
                            quoted(aRequested) + " zurückgeliefert werden, es ist vom Typ " +
                            quoted(fAttributeTypeName) + ".");
}

std::string TAbstractAttribute::getValueAsString() const {
  failRead("string");
}

std::int32_t TAbstractAttribute::getValueAsInteger() const {
  failRead("int");
}

std::int64_t TAbstractAttribute::getValueAsInt64() const {
  failRead("long");
}

double TAbstractAttribute::getValueAsDouble() const {
  failRead("double");
}

bool TAbstractAttribute::getValueAsBoolean() const {
  failRead("bool");
}

TDateTime TAbstractAttribute::getValueAsDateTime() const {
  failRead("datetime");
}

std::uint8_t TAbstractAttribute::getValueAsByte() const {
  failRead("byte");
}

TAttributesByteArray TAbstractAttribute::getValueAsBytes() const {
  failRead("bytes");
}

TAttributedDocument& TAbstractAttribute::getValueAsRecord() {
  failRead("struct");
}

const TAttributedDocument& TAbstractAttribute::getValueAsRecord() const {
  return const_cast<TAbstractAttribute*>(this)->getValueAsRecord();
}

// ---- text and character attributes ----

std::string TStringAttribute::getValueAsText() const {
  return encodeTextValue(fValue);
}

void TStringAttribute::parseValue(const std::string& aText) {
  fValue = decodeTextValue(aText);
}

std::string TStringAttribute::getValueAsString() const {
  return fValue;
}

std::int32_t TStringAttribute::getValueAsInteger() const {
  std::int32_t value = 0;
  if (!tryParseSignedInteger(fValue, value)) {
    failRead("int");
  }
  return value;
}

std::int64_t TStringAttribute::getValueAsInt64() const {
  std::int64_t value = 0;
  if (!tryParseSignedInteger(fValue, value)) {
    failRead("long");
  }
  return value;
}

double TStringAttribute::getValueAsDouble() const {
  double value = 0;
  if (!tryParseDouble(fValue, value)) {
    failRead("double");
  }
  return value;
}

std::string TCharAttribute::getValueAsText() const {
  return encodeTextValue(getValueAsString());
}

void TCharAttribute::parseValue(const std::string& aText) {
  const std::u32string characters = utf8ToCodePoints(decodeTextValue(aText));
  if (characters.size() != 1) {
    throw EAttributedDocument(notOneCharacterMessage(aText));
  }
  fValue = characters[0];
}

std::string TCharAttribute::notOneCharacterMessage(const std::string& aText) const {
  return "Der Wert " + quoted(aText) + " ist kein einzelnes Zeichen.";
}

std::string TWideCharAttribute::notOneCharacterMessage(const std::string& aText) const {
  return "Der Wert " + quoted(aText) + " ist kein einzelnes Unicode-Zeichen.";
}

std::string TCharAttribute::getValueAsString() const {
  std::string text;
  appendUtf8(text, fValue);
  return text;
}

std::int32_t TCharAttribute::getValueAsInteger() const {
  std::int32_t value = 0;
  if (!tryParseSignedInteger(getValueAsString(), value)) {
    failRead("int");
  }
  return value;
}

std::int64_t TCharAttribute::getValueAsInt64() const {
  std::int64_t value = 0;
  if (!tryParseSignedInteger(getValueAsString(), value)) {
    failRead("long");
  }
  return value;
}

double TCharAttribute::getValueAsDouble() const {
  double value = 0;
  if (!tryParseDouble(getValueAsString(), value)) {
    failRead("double");
  }
  return value;
}

// ---- whole numbers ----

std::string TIntegerAttribute::getValueAsText() const {
  return std::to_string(fValue);
}

void TIntegerAttribute::parseValue(const std::string& aText) {
  fValue = parseIntegerValue<std::int32_t>(aText);
}

std::string TIntegerAttribute::getValueAsString() const {
  return std::to_string(fValue);
}

std::int32_t TIntegerAttribute::getValueAsInteger() const {
  return fValue;
}

std::int64_t TIntegerAttribute::getValueAsInt64() const {
  return fValue;
}

double TIntegerAttribute::getValueAsDouble() const {
  return fValue;
}

std::string TInt64Attribute::getValueAsText() const {
  return std::to_string(fValue);
}

void TInt64Attribute::parseValue(const std::string& aText) {
  fValue = parseIntegerValue<std::int64_t>(aText);
}

std::string TInt64Attribute::getValueAsString() const {
  return std::to_string(fValue);
}

std::int32_t TInt64Attribute::getValueAsInteger() const {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(fValue)));
}

std::int64_t TInt64Attribute::getValueAsInt64() const {
  return fValue;
}

double TInt64Attribute::getValueAsDouble() const {
  return static_cast<double>(fValue);
}

// ---- floating point ----

std::string TDoubleAttribute::getValueAsText() const {
  return formatGeneral(fValue);
}

void TDoubleAttribute::parseValue(const std::string& aText) {
  double value = 0;
  fValue = tryParseDouble(aText, value) ? value : std::numeric_limits<double>::quiet_NaN();
}

std::string TDoubleAttribute::getValueAsString() const {
  return formatGeneral(fValue);
}

std::int32_t TDoubleAttribute::getValueAsInteger() const {
  // The bounds are exact doubles, so the comparison decides before any cast.
  if (!std::isfinite(fValue) || std::trunc(fValue) != fValue || fValue < -2147483648.0 ||
      fValue > 2147483647.0) {
    failRead("int");
  }
  return static_cast<std::int32_t>(fValue);
}

std::int64_t TDoubleAttribute::getValueAsInt64() const {
  if (!std::isfinite(fValue) || std::trunc(fValue) != fValue || fValue < -9223372036854775808.0 ||
      fValue >= 9223372036854775808.0) {
    failRead("long");
  }
  return static_cast<std::int64_t>(fValue);
}

double TDoubleAttribute::getValueAsDouble() const {
  return fValue;
}

// ---- truth value ----

std::string TBooleanAttribute::getValueAsText() const {
  return fValue ? "-1" : "0";
}

void TBooleanAttribute::parseValue(const std::string& aText) {
  const std::string lower = lowerAscii(aText);
  if (lower == "true") {
    fValue = true;
    return;
  }
  if (lower == "false") {
    fValue = false;
    return;
  }
  double number = 0;
  if (!tryParseDouble(aText, number) || !std::isfinite(number)) {
    throw EAttributedDocument("'" + aText + "' is not a valid boolean value");
  }
  fValue = number != 0.0;
}

std::string TBooleanAttribute::getValueAsString() const {
  return fValue ? "True" : "False";
}

std::int32_t TBooleanAttribute::getValueAsInteger() const {
  return fValue ? 1 : 0;
}

bool TBooleanAttribute::getValueAsBoolean() const {
  return fValue;
}

// ---- date and time ----

std::string TDateTimeAttribute::getValueAsText() const {
  const char* format = fValue.millisecondOfDay() == 0 ? "dd.MM.yyyy" : "dd.MM.yyyy hh:mm:ss";
  return formatDateTime(format, fValue, DefaultAttributeFormatSettings());
}

void TDateTimeAttribute::parseValue(const std::string& aText) {
  TDateTime value;
  if (!tryStrToDateTime(aText, value, DefaultAttributeFormatSettings())) {
    throw EAttributedDocument("'" + aText + "' is not a valid date and time");
  }
  fValue = value;
}

std::string TDateTimeAttribute::getValueAsString() const {
  return getValueAsText();
}

double TDateTimeAttribute::getValueAsDouble() const {
  return fValue.value();
}

TDateTime TDateTimeAttribute::getValueAsDateTime() const {
  return fValue;
}

// ---- bytes ----

std::string TByteAttribute::getValueAsText() const {
  return encodeHexBytes(std::string(1, static_cast<char>(fValue)));
}

void TByteAttribute::parseValue(const std::string& aText) {
  std::uint8_t value = 0;
  if (aText.size() != 2 || !tryParseHexByte(aText[0], aText[1], value)) {
    throw EAttributedDocument("'" + aText + "' is not a valid byte value");
  }
  fValue = value;
}

std::string TByteAttribute::getValueAsString() const {
  return std::to_string(fValue);
}

std::int32_t TByteAttribute::getValueAsInteger() const {
  return fValue;
}

double TByteAttribute::getValueAsDouble() const {
  return fValue;
}

std::uint8_t TByteAttribute::getValueAsByte() const {
  return fValue;
}

std::string TBytesAttribute::getValueAsText() const {
  return encodeHexBytes(std::string(fValue.begin(), fValue.end()));
}

void TBytesAttribute::parseValue(const std::string& aText) {
  if (aText.size() % 2 != 0) {
    throw EAttributedDocument("Das Byte-Array für Attribut " + quoted(getAttributeID()) +
                              " hat eine falsche Länge, ist ungerade.");
  }
  TAttributesByteArray bytes(aText.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!tryParseHexByte(aText[2 * i], aText[2 * i + 1], bytes[i])) {
      throw EAttributedDocument("Das Byte-Array-Element " + quoted(aText.substr(2 * i, 2)) +
                                " in Attribut " + quoted(getAttributeID()) +
                                " ist keine gültige Zahl.");
    }
  }
  fValue = std::move(bytes);
}

std::string TBytesAttribute::getValueAsString() const {
  return getValueAsText();
}

TAttributesByteArray TBytesAttribute::getValueAsBytes() const {
  return fValue;
}

// ---- nested document ----

TRecordAttribute::TRecordAttribute(std::string aTypeName, TAttributeType aType)
    : TAbstractAttribute(std::move(aTypeName), aType),
      fValue(std::make_unique<TAttributedDocument>()) {}

TRecordAttribute::~TRecordAttribute() = default;

std::string TRecordAttribute::getValueAsText() const {
  return encodeBase64(fValue->getContent());
}

void TRecordAttribute::parseValue(const std::string& aText) {
  fValue->setContent(decodeBase64(aText));
}

std::string TRecordAttribute::getValueAsString() const {
  return fValue->getContent();
}

TAttributedDocument& TRecordAttribute::getValueAsRecord() {
  return *fValue;
}
