#include "modem/VTSMSManagerMessage.h"

#include "common/LanguageTools.h"
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "common/UniCodeTools.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>

namespace {

constexpr std::array<const char*, 9> kLineNames = {"recipient", "message", "messagereadable",
                                                   "pdu",       "index",   "state",
                                                   "length",    "msgtype", "msgtime"};
enum ELine { Recipient, Message, Readable, Pdu, Index, State, Length, MsgType, MsgTime };

TFormatSettings fileDateSettings() {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  settings.ShortDateFormat = "yyyy.MM.dd";
  settings.ShortTimeFormat = "hh:mm:ss";
  return settings;
}

std::string readableText(const TVTSMSManagerMessage& aMessage) {
  const std::string& text = aMessage.getTheMessage();
  if (aMessage.getMessageType() == VTSMSMMT_DATA) {
    return text.size() % 2 != 0 ? text + "F" : text;
  }
  return replaceAll(replaceAll(replaceAll(text, "\n", "#10"), "\r", "#13"), "=", "#61");
}

constexpr const char* SC_UTF8BOM = "\xEF\xBB\xBF";

// A text with a character beyond U+00FF: the "message=" line (single-byte Base64) and the
// Windows-1252 code page cannot carry it.
bool needsUnicodeFile(const std::string& aText) {
  const std::u32string codePoints = utf8ToCodePoints(aText);
  return std::any_of(codePoints.begin(), codePoints.end(), [](char32_t c) { return c > 0xFF; });
}

// The "message=" value of a file written in UTF-8: Base64 of the text's UTF-8 bytes, or of
// single-byte characters as in every other file.
std::string decodeUnicodeMessage(const std::string& aValue) {
  const std::string bytes = decodeBase64Bytes(aValue);
  const bool utf8 = codePointsToUtf8(utf8ToCodePoints(bytes)) == bytes;
  return utf8 ? bytes : latin1ToUtf8(bytes);
}

// The file's bytes as UTF-8, by byte-order mark; without one they are Windows-1252.
std::string decodeFileBytes(const std::string& aBytes) {
  auto utf16 = [&](bool aLittleEndian) {
    std::u16string units;
    for (std::size_t i = 2; i + 1 < aBytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(aBytes[i]);
      const auto second = static_cast<unsigned char>(aBytes[i + 1]);
      units += static_cast<char16_t>(aLittleEndian ? first | (second << 8) : (first << 8) | second);
    }
    return utf16ToUtf8(units);
  };
  if (aBytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return codePointsToUtf8(utf8ToCodePoints(std::string_view(aBytes).substr(3)));
  }
  if (aBytes.compare(0, 2, "\xFF\xFE") == 0) {
    return utf16(true);
  }
  if (aBytes.compare(0, 2, "\xFE\xFF") == 0) {
    return utf16(false);
  }
  return cp1252ToUtf8(aBytes);
}

} // namespace

// A text or recipient beyond Windows-1252 (Cyrillic, emoji, ...) is written in UTF-8 behind a
// byte-order mark, its "message=" line as the Base64 of the UTF-8 bytes, so that the file keeps
// the whole text; any other file stays single-byte as ever.
std::string TVTSMSManagerMessage::toStreamText() const {
  const bool unicode =
      needsUnicodeFile(fRecipient) || (fMessageType != VTSMSMMT_DATA && needsUnicodeFile(fMessage));
  const std::string values[] = {
      fRecipient,
      fMessageType == VTSMSMMT_DATA ? fMessage
      : unicode                     ? encodeBase64Bytes(fMessage)
                                    : encodeBase64(fMessage),
      readableText(*this),
      fMessageDataPDU,
      std::to_string(fMessageIndex),
      std::to_string(fMessageState),
      std::to_string(fMessageLength),
      std::to_string(static_cast<int>(fMessageType)),
      formatDateTime("yyyy.MM.dd hh:mm:ss", fMessageTimestamp, fileDateSettings()),
  };
  std::string text;
  for (std::size_t i = 0; i < kLineNames.size(); ++i) {
    text += std::string(kLineNames[i]) + "=" + values[i] + "\r\n";
  }
  return unicode ? SC_UTF8BOM + text : utf8ToCp1252(text);
}

void TVTSMSManagerMessage::saveToStream(std::ostream* aStream) const {
  if (aStream != nullptr) {
    *aStream << toStreamText();
  }
}

bool TVTSMSManagerMessage::fromStreamBytes(const std::string& aBytes) {
  const std::string text = decodeFileBytes(aBytes);
  const bool unicode = aBytes.compare(0, 3, SC_UTF8BOM) == 0;
  // Every line the writer makes ends with CR LF: a text that does not is cut short.
  if (text.empty() || text.back() != '\n') {
    return false;
  }
  std::array<std::optional<std::string>, 9> values;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
      continue;
    }
    const std::string name = lowerAscii(line.substr(0, equals));
    for (std::size_t i = 0; i < kLineNames.size(); ++i) {
      if (name == kLineNames[i] && !values[i]) {
        values[i] = line.substr(equals + 1);
      }
    }
  }
  // A file without the lines that name the message is no message file.
  if (!values[Recipient] || !values[Message]) {
    return false;
  }
  auto number = [&](ELine aLine, int aDefault) {
    int value = aDefault;
    return values[aLine] && tryParseInteger(*values[aLine], value) ? value : aDefault;
  };
  const int type = number(MsgType, 0);
  TDateTime timestamp;
  if (!values[MsgTime] || !tryStrToDateTime(*values[MsgTime], timestamp, fileDateSettings())) {
    timestamp = TDateTime();
  }
  fMessageType = static_cast<TVTSMSManagerMessageType>(type >= 0 && type <= 255 ? type : 0);
  fRecipient = *values[Recipient];
  fMessage = fMessageType == VTSMSMMT_DATA ? *values[Message]
             : unicode                     ? decodeUnicodeMessage(*values[Message])
                                           : decodeBase64(*values[Message]);
  fMessageDataPDU = values[Pdu].value_or("");
  fMessageIndex = number(Index, -1);
  fMessageState = number(State, -1);
  fMessageLength = number(Length, -1);
  fMessageTimestamp = timestamp;
  return true;
}

bool TVTSMSManagerMessage::loadFromStream(std::istream* aStream) {
  if (aStream == nullptr) {
    return false;
  }
  try {
    const std::string bytes((std::istreambuf_iterator<char>(*aStream)),
                            std::istreambuf_iterator<char>());
    return fromStreamBytes(bytes);
  } catch (const std::exception&) {
    return false;
  }
}
