#include "logging/KvLogFormater.h"

#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "common/UniCodeTools.h"

#include <charconv>

namespace kvlogging {

std::string encodeBase64(const std::string& aText) {
  return encodeBase64Bytes(aText);
}

std::string decodeBase64(const std::string& EncodedText) {
  return decodeBase64Bytes(EncodedText);
}

std::string convertBytesToString(const std::vector<std::uint8_t>& aBytes) {
  return encodeHexBytes(
      std::string_view(reinterpret_cast<const char*>(aBytes.data()), aBytes.size()));
}

std::vector<std::uint8_t> convertStringToBytes(const std::string& aString) {
  if (aString.size() % 2 != 0) {
    throw EKvLoggingConvertError(SC_WRONGSTRINGLENGTHSHOULDBEEVEN);
  }
  std::vector<std::uint8_t> bytes(aString.size() / 2, 0);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned value = 0;
    const char* first = aString.data() + 2 * i;
    const auto [end, ec] = std::from_chars(first, first + 2, value, 16);
    if (ec != std::errc() || end != first + 2) {
      break;
    }
    bytes[i] = static_cast<std::uint8_t>(value);
  }
  return bytes;
}

std::vector<std::string> splitFields(const std::string& aText, char aSeparator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < aText.size()) {
    const std::size_t end = aText.find(aSeparator, start);
    if (end == std::string::npos) {
      fields.push_back(aText.substr(start));
      break;
    }
    fields.push_back(aText.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

std::string escapeLineBreaks(const std::string& aText) {
  if (aText.find_first_of("\r\n") == std::string::npos) {
    return aText;
  }
  return replaceAll(replaceAll(aText, "\n", "~#10~"), "\r", "~#13~");
}

std::string unescapeLineBreaks(const std::string& aText) {
  if (aText.find("~#1") == std::string::npos) {
    return aText;
  }
  return replaceAll(replaceAll(aText, "~#10~", "\n"), "~#13~", "\r");
}

namespace {

// The length of the marker "~#<digits>~" that starts at aPos, 0 when there is none.
std::size_t markerLength(std::string_view aText, std::size_t aPos) {
  if (aText.compare(aPos, 2, "~#") != 0) {
    return 0;
  }
  std::size_t end = aPos + 2;
  while (end < aText.size() && end - aPos < 9 && aText[end] >= '0' && aText[end] <= '9') {
    ++end;
  }
  return end > aPos + 2 && end < aText.size() && aText[end] == '~' ? end + 1 - aPos : 0;
}

bool isEscapedCodePoint(unsigned aCodePoint) {
  return aCodePoint < 0x20 || (aCodePoint >= 0x7F && aCodePoint <= 0x9F) || aCodePoint == 0x2028 ||
         aCodePoint == 0x2029 || aCodePoint == '~';
}

// The code point at aPos that is to be escaped, and its byte count in aCount; 0 for none.
unsigned escapedAt(std::string_view aText, std::size_t aPos, std::size_t& aCount) {
  const auto byte = [&](std::size_t i) {
    return i < aText.size() ? static_cast<unsigned char>(aText[i]) : 0u;
  };
  const unsigned c = byte(aPos);
  aCount = 1;
  if (c < 0x20 || c == 0x7F) {
    return c;
  }
  if (c == 0xC2 && byte(aPos + 1) >= 0x80 && byte(aPos + 1) <= 0x9F) {
    aCount = 2;
    return byte(aPos + 1);
  }
  if (c == 0xE2 && byte(aPos + 1) == 0x80 && (byte(aPos + 2) == 0xA8 || byte(aPos + 2) == 0xA9)) {
    aCount = 3;
    return 0x2000 + byte(aPos + 2) - 0x80;
  }
  // Every "~#" of the text is written with its "~" escaped, so that each "~#" of the escaped
  // text begins a marker: no text next to an escaped character can pass for one.
  if (c == '~' && aPos + 1 < aText.size() && aText[aPos + 1] == '#') {
    return '~';
  }
  return 0x100; // nothing to escape
}

} // namespace

std::string escapeControlCharacters(const std::string& aText) {
  std::size_t count = 0;
  std::size_t pos = 0;
  while (pos < aText.size() && escapedAt(aText, pos, count) == 0x100) {
    ++pos;
  }
  if (pos == aText.size()) {
    return aText;
  }
  std::string out = aText.substr(0, pos);
  while (pos < aText.size()) {
    const unsigned codePoint = escapedAt(aText, pos, count);
    if (codePoint == 0x100) {
      out += aText[pos];
    } else {
      out += "~#" + std::to_string(codePoint) + "~";
    }
    pos += count;
  }
  return out;
}

std::string unescapeControlCharacters(const std::string& aText) {
  if (aText.find("~#") == std::string::npos) {
    return aText;
  }
  std::string out;
  out.reserve(aText.size());
  for (std::size_t pos = 0; pos < aText.size();) {
    const std::size_t length = markerLength(aText, pos);
    unsigned codePoint = 0x100;
    if (length > 0 &&
        tryParseInteger(std::string_view(aText).substr(pos + 2, length - 3), codePoint) &&
        isEscapedCodePoint(codePoint)) {
      appendUtf8(out, static_cast<char32_t>(codePoint));
      pos += length;
    } else {
      out += aText[pos++];
    }
  }
  return out;
}

} // namespace kvlogging

namespace {

std::string piped(const std::string& aText) {
  return replaceAll(aText, "|", "-");
}

// A text field of a plain line: no separator, no control character.
std::string lineSafe(const std::string& aText) {
  return kvlogging::escapeControlCharacters(piped(aText));
}

std::string stackEscaped(const std::string& aText) {
  return lineSafe(aText);
}

std::string unescaped(const std::string& aField) {
  return kvlogging::unescapeControlCharacters(aField);
}

std::string fieldOrEmpty(const std::vector<std::string>& aFields, std::size_t aIndex) {
  return aIndex < aFields.size() ? aFields[aIndex] : std::string();
}

std::string joinFields(const std::vector<std::string>& aFields) {
  std::string line;
  for (std::size_t i = 0; i < aFields.size(); ++i) {
    if (i > 0) {
      line += '|';
    }
    line += aFields[i];
  }
  return line;
}

std::string levelText(const TKvLoggerMessage& aMessage) {
  return convertLevelToString(aMessage.getLogLevel(), aMessage.getLogException() != nullptr);
}

std::string exceptionClassOf(const TKvLoggerMessage& aMessage) {
  return aMessage.getLogException() != nullptr ? exceptionClassName(aMessage.getLogException())
                                               : aMessage.getLogExceptionClassName();
}

} // namespace

TKvLogFormater::TKvLogFormater() {
  initLoggerFormatSettings(fFormatSettings);
}

std::string TKvLogFormater::formatTimestamp(TDateTime aTimestamp) const {
  if (aTimestamp.millisecondOfDay() == 0) {
    return formatDateTime(fFormatSettings.ShortDateFormat, aTimestamp, fFormatSettings);
  }
  return formatDateTime(fFormatSettings.ShortDateFormat + " " + fFormatSettings.LongTimeFormat,
                        aTimestamp, fFormatSettings);
}

bool TKvLogFormater::tryParseTimestamp(const std::string& aText, TDateTime& aResult) const {
  // Date and "hh:mm:ss" are read with the fixed settings; the milliseconds after the "." of
  // the time part are added on their own, as the time format's "zzz" has no reading side.
  std::string dateAndTime = aText;
  int milliseconds = 0;
  const std::size_t blank = aText.find(' ');
  if (blank != std::string::npos) {
    const std::size_t dot = aText.find('.', blank + 1);
    if (dot != std::string::npos) {
      dateAndTime = aText.substr(0, dot);
      const std::string digits = aText.substr(dot + 1);
      if (!tryParseInteger(digits, milliseconds)) {
        milliseconds = 0;
      }
    }
  }
  TDateTime value;
  if (!tryStrToDateTime(dateAndTime, value, fFormatSettings)) {
    return false;
  }
  aResult = value.addMilliseconds(milliseconds);
  return true;
}

std::string TKvLogFormaterDefault::formatMessage(const TKvLoggerMessage& aMessage) const {
  std::string level = levelText(aMessage);
  if (!aMessage.getLogModule().empty()) {
    level += "." + lineSafe(aMessage.getLogModule());
  }
  return joinFields({lineSafe(aMessage.getApplicationId()),
                     formatTimestamp(aMessage.getLogTimestamp()), level,
                     lineSafe(aMessage.getLogMessage()), lineSafe(aMessage.getInstanceId()),
                     lineSafe(aMessage.getLogUser()), lineSafe(aMessage.getLogCategory()),
                     lineSafe(aMessage.getLanguage()), lineSafe(aMessage.getThreadId())});
}

std::string TKvLogFormaterDefault::formatMessageBase64(const TKvLoggerMessage& aMessage) const {
  std::string level = levelText(aMessage);
  if (!aMessage.getLogModule().empty()) {
    level += "." + kvlogging::encodeBase64(aMessage.getLogModule());
  }
  return joinFields({kvlogging::encodeBase64(aMessage.getApplicationId()),
                     formatTimestamp(aMessage.getLogTimestamp()), level,
                     kvlogging::encodeBase64(aMessage.getLogMessage()),
                     kvlogging::encodeBase64(aMessage.getInstanceId()),
                     kvlogging::encodeBase64(aMessage.getLogUser()),
                     kvlogging::encodeBase64(aMessage.getLogCategory()),
                     lineSafe(aMessage.getLanguage()), lineSafe(aMessage.getThreadId())});
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterDefault::parseMessage(const std::string& aMessageText) const {
  return parse(aMessageText, false);
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterDefault::parseMessageBase64(const std::string& aMessageText) const {
  return parse(aMessageText, true);
}

std::unique_ptr<TKvLoggerMessage> TKvLogFormaterDefault::parse(const std::string& aMessageText,
                                                               bool aBase64) const {
  const auto fields = kvlogging::splitFields(aMessageText, '|');
  if (fields.size() < 4) {
    return nullptr;
  }
  TDateTime timestamp;
  if (!tryParseTimestamp(fields[1], timestamp)) {
    return nullptr;
  }
  const auto levelParts = kvlogging::splitFields(fields[2], '.');
  if (levelParts.empty()) {
    return nullptr;
  }
  std::string module;
  if (aBase64) {
    module = levelParts.size() > 1 ? kvlogging::decodeBase64(levelParts[1]) : std::string();
  } else {
    for (std::size_t i = 1; i < levelParts.size(); ++i) {
      module += (i > 1 ? "." : "") + levelParts[i];
    }
    module = unescaped(module);
  }
  auto text = [&](std::size_t aIndex) {
    const std::string field = fieldOrEmpty(fields, aIndex);
    return aBase64 ? kvlogging::decodeBase64(field) : unescaped(field);
  };
  auto message = std::make_unique<TKvLoggerMessage>(
      text(0), text(4), text(5), convertToLevel(levelParts[0]), module, text(3), text(6),
      unescaped(fieldOrEmpty(fields, 7)), unescaped(fieldOrEmpty(fields, 8)), nullptr);
  message->setLogTimestamp(timestamp);
  return message;
}

std::string TKvLogFormaterTCP::formatMessage(const TKvLoggerMessage& aMessage) const {
  return joinFields({lineSafe(aMessage.getApplicationId()),
                     formatTimestamp(aMessage.getLogTimestamp()), levelText(aMessage),
                     lineSafe(aMessage.getLogModule()), lineSafe(aMessage.getLogMessage()),
                     lineSafe(aMessage.getLogCategory()), lineSafe(aMessage.getLanguage()),
                     lineSafe(exceptionClassOf(aMessage)), stackEscaped(aMessage.getStackTrace()),
                     lineSafe(aMessage.getInstanceId()), lineSafe(aMessage.getLogUser()),
                     lineSafe(aMessage.getThreadId()), lineSafe(fMachineIdent)});
}

std::string TKvLogFormaterTCP::formatMessageBase64(const TKvLoggerMessage& aMessage) const {
  return joinFields(
      {kvlogging::encodeBase64(aMessage.getApplicationId()),
       formatTimestamp(aMessage.getLogTimestamp()), levelText(aMessage),
       kvlogging::encodeBase64(aMessage.getLogModule()),
       kvlogging::encodeBase64(aMessage.getLogMessage()),
       kvlogging::encodeBase64(aMessage.getLogCategory()), lineSafe(aMessage.getLanguage()),
       kvlogging::encodeBase64(exceptionClassOf(aMessage)),
       kvlogging::encodeBase64(stackEscaped(aMessage.getStackTrace())),
       kvlogging::encodeBase64(aMessage.getInstanceId()),
       kvlogging::encodeBase64(aMessage.getLogUser()),
       kvlogging::encodeBase64(aMessage.getThreadId()), kvlogging::encodeBase64(fMachineIdent)});
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parse(const std::string& aMessageText, bool aBase64,
                         std::vector<std::string>* aFields) const {
  auto fields = kvlogging::splitFields(aMessageText, '|');
  if (fields.size() < 9) {
    return nullptr;
  }
  TDateTime timestamp;
  if (!tryParseTimestamp(fields[1], timestamp)) {
    return nullptr;
  }
  auto text = [&](std::size_t aIndex) {
    const std::string field = fieldOrEmpty(fields, aIndex);
    return aBase64 ? kvlogging::decodeBase64(field) : unescaped(field);
  };
  const std::string language = unescaped(fields[6]);
  auto message =
      std::make_unique<TKvLoggerMessage>(text(0), text(9), text(10), convertToLevel(fields[2]),
                                         text(3), text(4), text(5), language, text(11), nullptr);
  message->setLogTimestamp(timestamp);
  message->setLanguage(language);
  message->setLogExceptionClassName(text(7));
  message->setStackTrace(text(8));
  if (aFields != nullptr) {
    *aFields = std::move(fields);
  }
  return message;
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parseMessage(const std::string& aMessageText) const {
  return parse(aMessageText, false, nullptr);
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parseMessageBase64(const std::string& aMessageText) const {
  return parse(aMessageText, true, nullptr);
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parseMessageMachine(const std::string& aMessageText,
                                       std::string& ResMachineIdent) const {
  ResMachineIdent.clear();
  std::vector<std::string> fields;
  auto message = parse(aMessageText, false, &fields);
  if (message && fields.size() > 12) {
    ResMachineIdent = unescaped(fields[12]);
  }
  return message;
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parseMessageMachineBase64(const std::string& aMessageText,
                                             std::string& ResMachineIdent) const {
  ResMachineIdent.clear();
  std::vector<std::string> fields;
  auto message = parse(aMessageText, true, &fields);
  if (message && fields.size() > 12) {
    ResMachineIdent = kvlogging::decodeBase64(fields[12]);
  }
  return message;
}

std::string
TKvLogFormaterTCP::formatMessageExtra(const TKvLoggerMessage& aMessage, std::int64_t aExtraDataId,
                                      const std::vector<std::uint8_t>& aExtraData) const {
  return formatMessage(aMessage) + "|" + std::to_string(aExtraDataId) + "|" +
         kvlogging::convertBytesToString(aExtraData);
}

std::string
TKvLogFormaterTCP::formatMessageExtraBase64(const TKvLoggerMessage& aMessage,
                                            std::int64_t aExtraDataId,
                                            const std::vector<std::uint8_t>& aExtraData) const {
  return formatMessageBase64(aMessage) + "|" + std::to_string(aExtraDataId) + "|" +
         kvlogging::convertBytesToString(aExtraData);
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parseExtra(std::unique_ptr<TKvLoggerMessage> aMessage,
                              const std::string& aMessageText, std::int32_t& ResExtraID,
                              std::vector<std::uint8_t>& ResExtra) const {
  if (!aMessage) {
    return aMessage;
  }
  const auto fields = kvlogging::splitFields(aMessageText, '|');
  if (fields.size() > 13) {
    std::int32_t id = 0;
    ResExtraID = tryParseInteger(fields[13], id) ? id : 0;
  }
  if (fields.size() > 14) {
    ResExtra = kvlogging::convertStringToBytes(fields[14]);
  }
  return aMessage;
}

std::unique_ptr<TKvLoggerMessage>
TKvLogFormaterTCP::parseMessageMachineExtra(const std::string& aMessageText,
                                            std::string& ResMachineIdent, std::int32_t& ResExtraID,
                                            std::vector<std::uint8_t>& ResExtra) const {
  return parseExtra(parseMessageMachine(aMessageText, ResMachineIdent), aMessageText, ResExtraID,
                    ResExtra);
}

std::unique_ptr<TKvLoggerMessage> TKvLogFormaterTCP::parseMessageMachineExtraBase64(
    const std::string& aMessageText, std::string& ResMachineIdent, std::int32_t& ResExtraID,
    std::vector<std::uint8_t>& ResExtra) const {
  return parseExtra(parseMessageMachineBase64(aMessageText, ResMachineIdent), aMessageText,
                    ResExtraID, ResExtra);
}
