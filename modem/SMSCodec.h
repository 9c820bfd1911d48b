#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Raised by the encoders for a text that cannot be sent (a character without a GSM code, a
// text longer than one SMS) and by the decoder for a PDU that is not a readable SMS-DELIVER.
class ESMSCodecError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Raised by EncodeSMSParts for a text that needs more parts than the caller allows.
class ESMSTooManyParts : public ESMSCodecError {
public:
  ESMSTooManyParts(int aPartsNeeded, int aMaxParts);
  int partsNeeded() const { return fPartsNeeded; }
  int maxParts() const { return fMaxParts; }

private:
  int fPartsNeeded;
  int fMaxParts;
};

// Parts of one text sent as a concatenated SMS, unless the caller says otherwise.
inline constexpr int IC_DEFAULTMAXSMSPARTS = 6;
// The most parts a concatenated SMS can have: its part count is one octet.
inline constexpr int IC_MAXSMSPARTS = 255;

// The concatenation element of a user data header: which message a part belongs to and
// where it goes. Total is 0 for an SMS that is not a part of a longer one.
struct TSMSConcatInfo {
  int Reference = 0;          // 0..255, or 0..65535 with WideReference
  bool WideReference = false; // the 16-bit reference element (08) rather than the 8-bit one (00)
  int Total = 0;              // parts of the whole message, 1..255
  int Number = 0;             // this part, 1..Total

  bool isPart() const { return Total > 0; }
  bool operator==(const TSMSConcatInfo&) const = default;
};

// Everything DecodeSMSFull reads from one unit.
struct TSMSDecoded {
  bool Submit = false; // an SMS-SUBMIT (as the gateway sends them); else an SMS-DELIVER
  // DELIVER: the originator; SUBMIT: the destination. Digits without "+", or the text of an
  // alphanumeric address.
  std::string Address;
  // 7-bit and UCS2: the text as UTF-8; 8-bit: the user data as hex digits. Without the user
  // data header in every alphabet.
  std::string Message;
  int Alphabet = 0;      // 0 7-bit, 1 8-bit data, 2 UCS2
  std::string TimeStamp; // DELIVER: the service-centre time stamp "yyyy.MM.dd hh:mm:ss"
  std::string Header;    // the user data header as hex digits, its length octet first; or empty
  TSMSConcatInfo Concat;
};

// The SMS PDU codec: SMS-SUBMIT units for text, binary and WAP-push data, and the reading of
// received SMS-DELIVER units. No state of its own: the lookup tables are process-wide and only
// read after construction, so one codec serves several threads at once.
class TSMSCODEC {
public:
  static constexpr int Nono = -1;

  TSMSCODEC();

  // Destinations are numbers without a leading "+". Data are hex digits.
  std::string EncodeSMS(const std::string& StrTujuan, const std::string& StrPesan) const;
  std::string EncodeSMSBinary(const std::string& StrTujuan, const std::string& StrPesan) const;
  std::string EncodeSMSPush(const std::string& StrTujuan, const std::string& StrPesan) const;

  // A text of any length and any characters as one or more SMS-SUBMIT PDUs, in part order.
  // A text that the GSM 7-bit alphabet (with its extension table) carries exactly goes in
  // 7-bit, any other in UCS2 (UTF-16, characters beyond U+FFFF as surrogate pairs). Up to 160
  // septets or 70 UCS2 code units it is one SMS without a header, the same PDU as EncodeSMS
  // gives for a 7-bit text. A longer text becomes a concatenated SMS: each part carries the
  // concatenation element with the 8-bit aReference, the part count and its number (1..n),
  // and holds up to 153 septets or 67 code units; an escape pair or a surrogate pair is never
  // split between two parts. aMaxParts (taken as 1..IC_MAXSMSPARTS) limits the parts; a text
  // that needs more raises ESMSTooManyParts. The caller chooses a new aReference per message.
  std::vector<std::string> EncodeSMSParts(const std::string& StrTujuan, const std::string& StrPesan,
                                          std::uint8_t aReference,
                                          int aMaxParts = IC_DEFAULTMAXSMSPARTS) const;

  // Four entries: originator, message, alphabet ("0" 7-bit, "1" 8-bit data, "2" UCS2) and
  // the service-centre time stamp "yyyy.MM.dd hh:mm:ss". Never reads past StrSMS.
  std::vector<std::string> DecodeSMS(const std::string& StrSMS) const;

  // The fields of an SMS-DELIVER, or of an SMS-SUBMIT (message type 01 in the first octet),
  // with the user data header taken apart: the message leaves out the header (and the fill
  // bits after it in 7-bit) and Concat tells whether the unit is one part of a longer SMS
  // (8-bit and 16-bit references). The data coding scheme is read by its coding groups.
  // Raises ESMSCodecError as DecodeSMS does.
  TSMSDecoded DecodeSMSFull(const std::string& StrSMS) const;

  std::string ASCII2PDU7BIT(const std::string& StrASCII) const;
  std::string PDU7BIT2ASCII(const std::string& StrPDU, int PanjangUDH, int PanjangData) const;
  std::string PDU16BIT2ASCII(const std::string& StrPDU, int PanjangUDH, int PanjangData) const;
  std::string PDU8BIT2Data(const std::string& StrPDU, int PanjangUDH, int PanjangData) const;

  static std::string Binerkan(int Angka);
  static long long Bin2Long(const std::string& StrBiner);
};
