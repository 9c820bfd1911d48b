#pragma once

#include "logging/KvLoggerMessage.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The logging subsystem's own text helpers. Its Base64 works on the UTF-8 bytes of a text and
// is not the single-byte Base64 of the common codecs.
namespace kvlogging {

class EKvLoggingConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* SC_WRONGSTRINGLENGTHSHOULDBEEVEN =
    "the string to convert is of wrong length, should be even.";

std::string encodeBase64(const std::string& aText);
std::string decodeBase64(const std::string& EncodedText);
std::string convertBytesToString(const std::vector<std::uint8_t>& aBytes);
std::vector<std::uint8_t> convertStringToBytes(const std::string& aString);

// Splits at every "|": empty fields between separators count, a separator at the very end
// does not make an extra empty field.
std::vector<std::string> splitFields(const std::string& aText, char aSeparator);

// A log line never holds a line break: CR and LF are written as "~#13~" and "~#10~" (in the
// stack-trace field of a line, and in every request to the log server); the second reverses
// the first.
std::string escapeLineBreaks(const std::string& aText);
std::string unescapeLineBreaks(const std::string& aText);

// The same convention for every control character: C0 (CR is "~#13~", ESC "~#27~", NUL
// "~#0~"), DEL and C1, and the line and paragraph separators U+2028 and U+2029 are written as
// "~#<decimal code point>~", and a "~" followed by "#" as "~#126~". So text
// from anyone (request parameters, SMS texts, modem answers) cannot break a log line or
// colour a terminal, and unescapeControlCharacters gives back exactly the text escaped.
std::string escapeControlCharacters(const std::string& aText);
std::string unescapeControlCharacters(const std::string& aText);

} // namespace kvlogging

// Turns a message into one line and back. Formatters hold no state that changes while they
// run, so the appenders call them without a lock of their own.
class TKvLogFormater {
public:
  virtual ~TKvLogFormater() = default;
  virtual std::string formatMessage(const TKvLoggerMessage& aMessage) const = 0;
  virtual std::unique_ptr<TKvLoggerMessage> parseMessage(const std::string& aMessageText) const = 0;
  virtual std::string formatMessageBase64(const TKvLoggerMessage& aMessage) const = 0;
  virtual std::unique_ptr<TKvLoggerMessage>
  parseMessageBase64(const std::string& aMessageText) const = 0;

  static TKvLoggerLevel convertToLevel(const std::string& aString) {
    return ::convertToLevel(aString);
  }
  static std::string convertLevelToString(TKvLoggerLevel aLevel, bool isException) {
    return ::convertLevelToString(aLevel, isException);
  }
  static TKvLoggerCategory convertToCategory(const std::string& aString) {
    return ::convertToCategory(aString);
  }
  static std::string convertCategoryToString(TKvLoggerCategory aCategory) {
    return ::convertCategoryToString(aCategory);
  }

protected:
  TKvLogFormater();
  std::string formatTimestamp(TDateTime aTimestamp) const;
  bool tryParseTimestamp(const std::string& aText, TDateTime& aResult) const;

  TFormatSettings fFormatSettings;
};

// The line format of the daily log files:
// app|timestamp|level[.module]|message|instance|user|category|language|thread
// In the plain format "|" in a field becomes "-" and control characters are escaped
// (escapeControlCharacters), which the parse reverses; so every message is one line.
class TKvLogFormaterDefault : public TKvLogFormater {
public:
  std::string formatMessage(const TKvLoggerMessage& aMessage) const override;
  std::unique_ptr<TKvLoggerMessage> parseMessage(const std::string& aMessageText) const override;
  std::string formatMessageBase64(const TKvLoggerMessage& aMessage) const override;
  std::unique_ptr<TKvLoggerMessage>
  parseMessageBase64(const std::string& aMessageText) const override;

private:
  std::unique_ptr<TKvLoggerMessage> parse(const std::string& aMessageText, bool aBase64) const;
};

// The thirteen-field line the TCP appender sends to a log server; its text fields are made
// safe as in the default format.
class TKvLogFormaterTCP : public TKvLogFormater {
public:
  std::string formatMessage(const TKvLoggerMessage& aMessage) const override;
  std::unique_ptr<TKvLoggerMessage> parseMessage(const std::string& aMessageText) const override;
  std::string formatMessageBase64(const TKvLoggerMessage& aMessage) const override;
  std::unique_ptr<TKvLoggerMessage>
  parseMessageBase64(const std::string& aMessageText) const override;

  std::unique_ptr<TKvLoggerMessage> parseMessageMachine(const std::string& aMessageText,
                                                        std::string& ResMachineIdent) const;
  std::unique_ptr<TKvLoggerMessage> parseMessageMachineBase64(const std::string& aMessageText,
                                                              std::string& ResMachineIdent) const;

  std::string formatMessageExtra(const TKvLoggerMessage& aMessage, std::int64_t aExtraDataId,
                                 const std::vector<std::uint8_t>& aExtraData) const;
  std::string formatMessageExtraBase64(const TKvLoggerMessage& aMessage, std::int64_t aExtraDataId,
                                       const std::vector<std::uint8_t>& aExtraData) const;
  // Throws kvlogging::EKvLoggingConvertError for an odd-length extra-data field.
  std::unique_ptr<TKvLoggerMessage>
  parseMessageMachineExtra(const std::string& aMessageText, std::string& ResMachineIdent,
                           std::int32_t& ResExtraID, std::vector<std::uint8_t>& ResExtra) const;
  std::unique_ptr<TKvLoggerMessage>
  parseMessageMachineExtraBase64(const std::string& aMessageText, std::string& ResMachineIdent,
                                 std::int32_t& ResExtraID,
                                 std::vector<std::uint8_t>& ResExtra) const;

  const std::string& getMachineIdent() const { return fMachineIdent; }
  void setMachineIdent(std::string aValue) { fMachineIdent = std::move(aValue); }

private:
  std::unique_ptr<TKvLoggerMessage> parse(const std::string& aMessageText, bool aBase64,
                                          std::vector<std::string>* aFields) const;
  std::unique_ptr<TKvLoggerMessage> parseExtra(std::unique_ptr<TKvLoggerMessage> aMessage,
                                               const std::string& aMessageText,
                                               std::int32_t& ResExtraID,
                                               std::vector<std::uint8_t>& ResExtra) const;

  std::string fMachineIdent;
};
