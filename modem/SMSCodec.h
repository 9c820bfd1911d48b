#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Raised by the encoders for a text that cannot be sent (a character without a GSM code, a
// text longer than one SMS) and by the decoder for a PDU that is not a readable SMS-DELIVER.
class ESMSCodecError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
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

  // Four entries: originator, message, alphabet ("0" 7-bit, "1" 8-bit data, "2" UCS2) and
  // the service-centre time stamp "yyyy.MM.dd hh:mm:ss". Never reads past StrSMS.
  std::vector<std::string> DecodeSMS(const std::string& StrSMS) const;

  std::string ASCII2PDU7BIT(const std::string& StrASCII) const;
  std::string PDU7BIT2ASCII(const std::string& StrPDU, int PanjangUDH, int PanjangData) const;
  std::string PDU16BIT2ASCII(const std::string& StrPDU, int PanjangUDH, int PanjangData) const;
  std::string PDU8BIT2Data(const std::string& StrPDU, int PanjangUDH, int PanjangData) const;

  static std::string Binerkan(int Angka);
  static long long Bin2Long(const std::string& StrBiner);
};
