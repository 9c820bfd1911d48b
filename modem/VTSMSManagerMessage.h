#pragma once

#include "common/DateTime.h"

#include <cstdint>
#include <iosfwd>
#include <string>

// The kind of an SMS record. A received message carries the alphabet number of its coding
// (0 text, 1 8-bit data, 2 UCS2 text); every value other than 1 counts as text.
enum TVTSMSManagerMessageType : std::uint8_t {
  VTSMSMMT_TEXT = 0,
  VTSMSMMT_DATA = 1,
};

// Result codes of the send, read and delete operations; a send may also return a positive
// error number reported by the modem.
inline constexpr int ICSMSRESULT_OK = 0;
inline constexpr int ICSMSRESULT_UNKNOWNERROR = 1;
inline constexpr int ICSMSRESULT_UNKNOWNMODEMERROR = 2;
inline constexpr int ICSMSRESULT_NOTACTIVE = 3;
inline constexpr int ICSMSRESULT_WRONGANSWER = 4;
inline constexpr int IC_DEFAULTSMSRECEIVECHECKINTERVALL = 60000;
inline constexpr int IC_DEFAULTSMSMEMORYSIZE = 10;
// Between the PDUs of the parts of a long SMS in one record's MessageDataPDU (part order).
inline constexpr const char* SC_SMSPARTSEPARATOR = " ";

// The record of one SMS, sent or received: a copyable value. Its stream form is the content
// of the ".kvsms" message files: nine "name=value" lines ended by CR LF, written in the
// Windows-1252 code page without a byte-order mark; a text with characters beyond U+00FF is
// written in UTF-8 behind its byte-order mark instead, its "message=" line being the Base64 of
// the UTF-8 bytes.
class TVTSMSManagerMessage {
public:
  const std::string& getRecipient() const { return fRecipient; }
  void setRecipient(std::string aValue) { fRecipient = std::move(aValue); }
  const std::string& getTheMessage() const { return fMessage; }
  void setTheMessage(std::string aValue) { fMessage = std::move(aValue); }
  const std::string& getMessageDataPDU() const { return fMessageDataPDU; }
  void setMessageDataPDU(std::string aValue) { fMessageDataPDU = std::move(aValue); }
  int getMessageIndex() const { return fMessageIndex; }
  void setMessageIndex(int aValue) { fMessageIndex = aValue; }
  int getMessageState() const { return fMessageState; }
  void setMessageState(int aValue) { fMessageState = aValue; }
  int getMessageLength() const { return fMessageLength; }
  void setMessageLength(int aValue) { fMessageLength = aValue; }
  TVTSMSManagerMessageType getMessageType() const { return fMessageType; }
  void setMessageType(TVTSMSManagerMessageType aValue) { fMessageType = aValue; }
  TDateTime getMessageTimestamp() const { return fMessageTimestamp; }
  void setMessageTimestamp(TDateTime aValue) { fMessageTimestamp = aValue; }

  // Writes the nine lines; does nothing without a stream.
  void saveToStream(std::ostream* aStream) const;
  // Reads the lines back (Windows-1252, or UTF-8 / UTF-16 with their byte-order marks); names
  // compare without regard to case, a missing or unreadable value gives its default. Returns
  // false, leaving the record as it was, for a text cut short or one without the recipient
  // and message lines. Never throws.
  bool loadFromStream(std::istream* aStream);

  // The stream form as text, and reading it back from bytes.
  std::string toStreamText() const;
  bool fromStreamBytes(const std::string& aBytes);

private:
  std::string fRecipient;
  std::string fMessage;
  std::string fMessageDataPDU;
  int fMessageIndex = -1;
  int fMessageState = -1;
  int fMessageLength = -1;
  TVTSMSManagerMessageType fMessageType = VTSMSMMT_TEXT;
  TDateTime fMessageTimestamp;
};
