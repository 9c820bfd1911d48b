#include "tools/modemsim/ModemSimGsm.h"

#include "common/TextEncoding.h"

#include <array>
#include <cctype>

namespace modemsim {
namespace {

// GSM 03.38 default alphabet, indexed by code, as Unicode code points.
constexpr std::array<char32_t, 128> IC_GSMDEFAULT{
    U'@',      U'\u00A3', U'$',      U'\u00A5', U'\u00E8', U'\u00E9', U'\u00F9', U'\u00EC',
    U'\u00F2', U'\u00C7', U'\n',     U'\u00D8', U'\u00F8', U'\r',     U'\u00C5', U'\u00E5',
    U'\u0394', U'_',      U'\u03A6', U'\u0393', U'\u039B', U'\u03A9', U'\u03A0', U'\u03A8',
    U'\u03A3', U'\u0398', U'\u039E', 0x1B,      U'\u00C6', U'\u00E6', U'\u00DF', U'\u00C9',
    U' ',      U'!',      U'"',      U'#',      U'\u00A4', U'%',      U'&',      U'\'',
    U'(',      U')',      U'*',      U'+',      U',',      U'-',      U'.',      U'/',
    U'0',      U'1',      U'2',      U'3',      U'4',      U'5',      U'6',      U'7',
    U'8',      U'9',      U':',      U';',      U'<',      U'=',      U'>',      U'?',
    U'\u00A1', U'A',      U'B',      U'C',      U'D',      U'E',      U'F',      U'G',
    U'H',      U'I',      U'J',      U'K',      U'L',      U'M',      U'N',      U'O',
    U'P',      U'Q',      U'R',      U'S',      U'T',      U'U',      U'V',      U'W',
    U'X',      U'Y',      U'Z',      U'\u00C4', U'\u00D6', U'\u00D1', U'\u00DC', U'\u00A7',
    U'\u00BF', U'a',      U'b',      U'c',      U'd',      U'e',      U'f',      U'g',
    U'h',      U'i',      U'j',      U'k',      U'l',      U'm',      U'n',      U'o',
    U'p',      U'q',      U'r',      U's',      U't',      U'u',      U'v',      U'w',
    U'x',      U'y',      U'z',      U'\u00E4', U'\u00F6', U'\u00F1', U'\u00FC', U'\u00E0',
};

struct TExtension {
  char32_t Char;
  std::uint8_t Code;
};
constexpr std::array<TExtension, 10> IC_GSMEXTENSION{{{U'\f', 0x0A},
                                                      {U'^', 0x14},
                                                      {U'{', 0x28},
                                                      {U'}', 0x29},
                                                      {U'\\', 0x2F},
                                                      {U'[', 0x3C},
                                                      {U'~', 0x3D},
                                                      {U']', 0x3E},
                                                      {U'|', 0x40},
                                                      {U'\u20AC', 0x65}}};

constexpr int IC_MAXSEPTETS = 160;
constexpr int IC_MAXUCS2OCTETS = 140;

int hexValue(char c) {
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

std::uint8_t semiOctetPair(int aValue) {
  return static_cast<std::uint8_t>(((aValue % 10) << 4) | ((aValue / 10) % 10));
}

bool appendSeptet(char32_t aChar, std::vector<std::uint8_t>& aSeptets) {
  for (std::size_t code = 0; code < IC_GSMDEFAULT.size(); ++code) {
    if (code != 0x1B && IC_GSMDEFAULT[code] == aChar) {
      aSeptets.push_back(static_cast<std::uint8_t>(code));
      return true;
    }
  }
  for (const auto& ext : IC_GSMEXTENSION) {
    if (ext.Char == aChar) {
      aSeptets.push_back(0x1B);
      aSeptets.push_back(ext.Code);
      return true;
    }
  }
  return false;
}

bool isPhoneNumber(std::string_view aAddress) {
  if (!aAddress.empty() && aAddress.front() == '+') {
    aAddress.remove_prefix(1);
  }
  if (aAddress.empty() || aAddress.size() > 20) {
    return false;
  }
  for (char c : aAddress) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

} // namespace

bool textToSeptets(std::string_view aUtf8, std::vector<std::uint8_t>& aSeptets) {
  aSeptets.clear();
  for (char32_t c : utf8ToCodePoints(aUtf8)) {
    if (!appendSeptet(c, aSeptets)) {
      return false;
    }
  }
  return true;
}

std::vector<std::uint8_t> packSeptets(const std::vector<std::uint8_t>& aSeptets) {
  std::vector<std::uint8_t> octets((aSeptets.size() * 7 + 7) / 8, 0);
  std::size_t bit = 0;
  for (std::uint8_t septet : aSeptets) {
    for (int i = 0; i < 7; ++i, ++bit) {
      if ((septet >> i) & 1) {
        octets[bit / 8] = static_cast<std::uint8_t>(octets[bit / 8] | (1 << (bit % 8)));
      }
    }
  }
  return octets;
}

std::string toHex(const std::vector<std::uint8_t>& aBytes) {
  static constexpr char IC_DIGITS[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(aBytes.size() * 2);
  for (std::uint8_t b : aBytes) {
    hex += IC_DIGITS[b >> 4];
    hex += IC_DIGITS[b & 0x0F];
  }
  return hex;
}

bool fromHex(std::string_view aHex, std::vector<std::uint8_t>& aBytes) {
  aBytes.clear();
  if (aHex.size() % 2 != 0) {
    return false;
  }
  for (std::size_t i = 0; i < aHex.size(); i += 2) {
    const int high = hexValue(aHex[i]);
    const int low = hexValue(aHex[i + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    aBytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

bool encodeAddress(std::string_view aAddress, std::vector<std::uint8_t>& aField) {
  aField.clear();
  if (isPhoneNumber(aAddress)) {
    const bool international = aAddress.front() == '+';
    const std::string_view digits = international ? aAddress.substr(1) : aAddress;
    aField.push_back(static_cast<std::uint8_t>(digits.size()));
    aField.push_back(international ? 0x91 : 0x81);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      const int low = digits[i] - '0';
      const int high = i + 1 < digits.size() ? digits[i + 1] - '0' : 0x0F;
      aField.push_back(static_cast<std::uint8_t>((high << 4) | low));
    }
    return true;
  }
  std::vector<std::uint8_t> septets;
  if (aAddress.empty() || !textToSeptets(aAddress, septets) || septets.size() > 11) {
    return false;
  }
  const auto packed = packSeptets(septets);
  // The length counts the useful semi-octets of the packed text.
  aField.push_back(static_cast<std::uint8_t>((septets.size() * 7 + 3) / 4));
  aField.push_back(0xD0);
  aField.insert(aField.end(), packed.begin(), packed.end());
  return true;
}

bool buildSmsDeliver(std::string_view aSmsc, std::string_view aSender, std::string_view aUtf8Text,
                     const TSmsTimestamp& aTime, std::string& aPdu, std::string& aError) {
  std::vector<std::uint8_t> pdu;
  if (aSmsc.empty()) {
    pdu.push_back(0x00);
  } else {
    std::vector<std::uint8_t> smsc;
    if (!isPhoneNumber(aSmsc) || !encodeAddress(aSmsc, smsc)) {
      aError = "service centre address is not a number";
      return false;
    }
    // The service-centre field counts octets (type included), not digits.
    pdu.push_back(static_cast<std::uint8_t>(smsc.size() - 1));
    pdu.insert(pdu.end(), smsc.begin() + 1, smsc.end());
  }
  std::vector<std::uint8_t> originator;
  if (!encodeAddress(aSender, originator)) {
    aError = "sender cannot be coded as an address";
    return false;
  }
  pdu.push_back(0x04); // SMS-DELIVER, no more messages waiting
  pdu.insert(pdu.end(), originator.begin(), originator.end());
  pdu.push_back(0x00); // protocol identifier
  std::vector<std::uint8_t> septets;
  std::vector<std::uint8_t> userData;
  std::uint8_t userDataLength = 0;
  const bool gsm = textToSeptets(aUtf8Text, septets);
  if (gsm) {
    if (septets.size() > IC_MAXSEPTETS) {
      aError = "text too long for one SMS";
      return false;
    }
    userData = packSeptets(septets);
    userDataLength = static_cast<std::uint8_t>(septets.size());
  } else {
    for (char16_t unit : utf8ToUtf16(aUtf8Text)) {
      userData.push_back(static_cast<std::uint8_t>(unit >> 8));
      userData.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    }
    if (userData.size() > IC_MAXUCS2OCTETS) {
      aError = "text too long for one SMS";
      return false;
    }
    userDataLength = static_cast<std::uint8_t>(userData.size());
  }
  pdu.push_back(gsm ? 0x00 : 0x08); // data coding: default alphabet or UCS2
  pdu.push_back(semiOctetPair(aTime.Year % 100));
  pdu.push_back(semiOctetPair(aTime.Month));
  pdu.push_back(semiOctetPair(aTime.Day));
  pdu.push_back(semiOctetPair(aTime.Hour));
  pdu.push_back(semiOctetPair(aTime.Minute));
  pdu.push_back(semiOctetPair(aTime.Second));
  const int zone = aTime.ZoneQuarters < 0 ? -aTime.ZoneQuarters : aTime.ZoneQuarters;
  std::uint8_t zoneOctet = semiOctetPair(zone);
  if (aTime.ZoneQuarters < 0) {
    zoneOctet |= 0x08; // sign bit of the zone
  }
  pdu.push_back(zoneOctet);
  pdu.push_back(userDataLength);
  pdu.insert(pdu.end(), userData.begin(), userData.end());
  aPdu = toHex(pdu);
  return true;
}

TSubmitCheck checkSubmitPdu(std::string_view aHex, int aLength) {
  std::vector<std::uint8_t> bytes;
  if (!fromHex(aHex, bytes) || bytes.empty()) {
    return scNotHex;
  }
  const std::size_t smscOctets = bytes[0];
  if (aLength < 1 || 1 + smscOctets + static_cast<std::size_t>(aLength) != bytes.size()) {
    return scBadLength;
  }
  const std::uint8_t firstOctet = bytes[1 + smscOctets];
  return (firstOctet & 0x03) == 0x01 ? scOk : scNotSubmit;
}

int tpduLength(std::string_view aHex) {
  std::vector<std::uint8_t> bytes;
  if (!fromHex(aHex, bytes) || bytes.empty() || 1u + bytes[0] > bytes.size()) {
    return -1;
  }
  return static_cast<int>(bytes.size() - 1 - bytes[0]);
}

} // namespace modemsim
