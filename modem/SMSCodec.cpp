#include "modem/SMSCodec.h"

#include "common/DateTime.h"
#include "common/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

namespace {

constexpr int IC_MAXSEPTETS = 160;      // user data of one SMS in the 7-bit alphabet
constexpr int IC_MAXDATAOCTETS = 140;   // user data of one SMS in octets
constexpr int IC_MAXADDRESSDIGITS = 20; // the longest address an SMS-SUBMIT can carry
constexpr int IC_MAXUCS2UNITS = 70;     // UTF-16 code units of one SMS in UCS2
constexpr int IC_PARTSEPTETS = 153;     // septets of a part after the concatenation header
constexpr int IC_PARTUCS2UNITS = 67;    // UTF-16 code units of a part after that header
constexpr int IC_HEADERSEPTETS = 7;     // the 6 header octets and one fill bit, in septets
constexpr int IC_ESCAPE = 0x1B;
constexpr char32_t IC_NOCHARACTER = 0xFFFF;

// The GSM 03.38 default alphabet: Latin-1 code of each GSM code, or Nono.
constexpr std::array<int, 128> EQ7BIT2ASCII = {
    0x40, 0xA3, 0x24, 0xA5, 0xE8, 0xE9, 0xF9, 0xEC, 0xF2, 0xC7, 0x0A, 0xD8, 0xF8, 0x0D, 0xC5, 0xE5,
    -1,   0x5F, -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   -1,   0xC6, 0xE6, 0xDF, 0xC9,
    0x20, 0x21, 0x22, 0x23, 0xA4, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0xA1, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xC4, 0xD6, 0xD1, 0xDC, 0xA7,
    0xBF, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xE4, 0xF6, 0xF1, 0xFC, 0xE0,
};

// The GSM letters outside Latin-1, by their GSM code. They are texts of a Unicode system like
// any other, so they decode to their characters and encode to their codes.
struct TGreekLetter {
  int Code;
  char32_t Character;
};
constexpr std::array<TGreekLetter, 10> SC_GREEKLETTERS = {{{0x10, U'\u0394'},
                                                           {0x12, U'\u03A6'},
                                                           {0x13, U'\u0393'},
                                                           {0x14, U'\u039B'},
                                                           {0x15, U'\u03A9'},
                                                           {0x16, U'\u03A0'},
                                                           {0x17, U'\u03A8'},
                                                           {0x18, U'\u03A3'},
                                                           {0x19, U'\u0398'},
                                                           {0x1A, U'\u039E'}}};

// Characters reached through the escape code, with their second code.
struct TExtension {
  char32_t Character;
  int Code;
};
constexpr std::array<TExtension, 10> SC_EXTENSIONS = {{{U'\f', 10},
                                                       {U'^', 20},
                                                       {U'{', 40},
                                                       {U'}', 41},
                                                       {U'\\', 47},
                                                       {U'[', 60},
                                                       {U'~', 61},
                                                       {U']', 62},
                                                       {U'|', 64},
                                                       {U'\u20AC', 101}}};

// The inverse of EQ7BIT2ASCII; every Latin-1 character without a GSM code is sent as "@".
const std::array<int, 256>& EQASCII27BIT() {
  static const std::array<int, 256> table = [] {
    std::array<int, 256> inverse{};
    for (int code = 0; code < 128; ++code) {
      if (EQ7BIT2ASCII[code] != TSMSCODEC::Nono) {
        inverse[EQ7BIT2ASCII[code]] = code;
      }
    }
    return inverse;
  }();
  return table;
}

int extensionCode(char32_t aCharacter) {
  for (const auto& extension : SC_EXTENSIONS) {
    if (extension.Character == aCharacter) {
      return extension.Code;
    }
  }
  return -1;
}

char32_t extensionCharacter(int aCode) {
  for (const auto& extension : SC_EXTENSIONS) {
    if (extension.Code == aCode) {
      return extension.Character;
    }
  }
  return 0;
}

int greekCode(char32_t aCharacter) {
  for (const auto& letter : SC_GREEKLETTERS) {
    if (letter.Character == aCharacter) {
      return letter.Code;
    }
  }
  return -1;
}

char32_t basicCharacter(int aCode) {
  if (EQ7BIT2ASCII[aCode] != TSMSCODEC::Nono) {
    return static_cast<char32_t>(EQ7BIT2ASCII[aCode]);
  }
  for (const auto& letter : SC_GREEKLETTERS) {
    if (letter.Code == aCode) {
      return letter.Character;
    }
  }
  return IC_NOCHARACTER;
}

int hexValue(char aDigit) {
  if (aDigit >= '0' && aDigit <= '9') {
    return aDigit - '0';
  }
  if (aDigit >= 'A' && aDigit <= 'F') {
    return aDigit - 'A' + 10;
  }
  if (aDigit >= 'a' && aDigit <= 'f') {
    return aDigit - 'a' + 10;
  }
  return -1;
}

std::string hexByte(int aValue) {
  static constexpr char digits[] = "0123456789ABCDEF";
  return {digits[(aValue >> 4) & 0xF], digits[aValue & 0xF]};
}

// Octets of hex text, pairwise; a last unpaired digit is ignored.
std::vector<std::uint8_t> hexOctets(const std::string& aHex, const char* aWhat) {
  std::vector<std::uint8_t> octets;
  octets.reserve(aHex.size() / 2);
  for (std::size_t i = 0; i + 1 < aHex.size(); i += 2) {
    const int high = hexValue(aHex[i]);
    const int low = hexValue(aHex[i + 1]);
    if (high < 0 || low < 0) {
      throw ESMSCodecError(std::string(aWhat) + " holds \"" + aHex.substr(i, 2) +
                           "\", which is not a hex number");
    }
    octets.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return octets;
}

// Septets of a bit stream, least significant bit first: m octets give floor(8m/7) septets.
std::vector<int> unpackSeptets(const std::vector<std::uint8_t>& aOctets, std::size_t aMaxCount) {
  const std::size_t available = aOctets.size() * 8 / 7;
  const std::size_t count = std::min(available, aMaxCount);
  std::vector<int> septets;
  septets.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t bit = i * 7;
    const std::size_t octet = bit / 8;
    const unsigned shift = bit % 8;
    unsigned value = aOctets[octet] >> shift;
    if (shift > 1 && octet + 1 < aOctets.size()) {
      value |= static_cast<unsigned>(aOctets[octet + 1]) << (8 - shift);
    }
    septets.push_back(static_cast<int>(value & 0x7F));
  }
  return septets;
}

std::string septetsToText(const std::vector<int>& aSeptets, std::size_t aFirst) {
  std::string text;
  text.reserve(aSeptets.size());
  for (std::size_t i = aFirst; i < aSeptets.size(); ++i) {
    if (aSeptets[i] == IC_ESCAPE) {
      // an escape without its second code (the last septet of the text) gives U+0000
      appendUtf8(text, i + 1 < aSeptets.size() ? extensionCharacter(aSeptets[i + 1]) : 0);
      ++i;
    } else {
      appendUtf8(text, basicCharacter(aSeptets[i]));
    }
  }
  return text;
}

std::vector<int> textToSeptets(const std::string& aText) {
  std::vector<int> septets;
  septets.reserve(aText.size());
  for (const char32_t character : utf8ToCodePoints(aText)) {
    if (const int extension = extensionCode(character); extension >= 0) {
      septets.push_back(IC_ESCAPE);
      septets.push_back(extension);
    } else if (character <= 0xFF) {
      septets.push_back(EQASCII27BIT()[character]);
    } else if (const int greek = greekCode(character); greek >= 0) {
      septets.push_back(greek);
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
      throw ESMSCodecError(std::string("the character ") + code +
                           " has no code in the GSM 7-bit alphabet");
    }
  }
  return septets;
}

// The septets of a text that the default alphabet and its extension table carry exactly;
// false for a text with any other character (which 7-bit would change into "@" or refuse).
bool exactSeptets(const std::u32string& aCharacters, std::vector<int>& aSeptets) {
  aSeptets.clear();
  aSeptets.reserve(aCharacters.size());
  for (const char32_t character : aCharacters) {
    if (const int extension = extensionCode(character); extension >= 0) {
      aSeptets.push_back(IC_ESCAPE);
      aSeptets.push_back(extension);
    } else if (character <= 0xFF &&
               EQ7BIT2ASCII[EQASCII27BIT()[character]] == static_cast<int>(character)) {
      aSeptets.push_back(EQASCII27BIT()[character]);
    } else if (const int greek = greekCode(character); greek >= 0) {
      aSeptets.push_back(greek);
    } else {
      return false;
    }
  }
  return true;
}

std::string packSeptets(const std::vector<int>& aSeptets) {
  std::string hex;
  hex.reserve((aSeptets.size() * 7 + 7) / 8 * 2);
  unsigned accumulator = 0;
  int pending = 0;
  for (const int septet : aSeptets) {
    accumulator |= static_cast<unsigned>(septet & 0x7F) << pending;
    pending += 7;
    if (pending >= 8) {
      hex += hexByte(static_cast<int>(accumulator & 0xFF));
      accumulator >>= 8;
      pending -= 8;
    }
  }
  if (pending > 0) {
    hex += hexByte(static_cast<int>(accumulator & 0xFF));
  }
  return hex;
}

std::string ucs2Hex(std::u16string_view aUnits) {
  std::string hex;
  hex.reserve(aUnits.size() * 4);
  for (const char16_t unit : aUnits) {
    hex += hexByte(unit >> 8);
    hex += hexByte(unit & 0xFF);
  }
  return hex;
}

std::string lengthField(std::size_t aLength) {
  char text[24];
  std::snprintf(text, sizeof text, "%02zX", aLength);
  return text;
}

std::string addressField(const std::string& aNumber) {
  if (aNumber.size() > IC_MAXADDRESSDIGITS) {
    throw ESMSCodecError("the destination \"" + aNumber + "\" has " +
                         std::to_string(aNumber.size()) + " digits, more than the " +
                         std::to_string(IC_MAXADDRESSDIGITS) + " an address can hold");
  }
  for (const char digit : aNumber) {
    // Anything else would break the hex form of the PDU on the serial line.
    if (hexValue(digit) < 0) {
      throw ESMSCodecError("the destination \"" + aNumber + "\" is not a number");
    }
  }
  std::string digits = aNumber;
  if (digits.size() % 2 != 0) {
    digits += 'F';
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    std::swap(digits[i], digits[i + 1]);
  }
  return lengthField(aNumber.size()) + "91" + digits;
}

std::string encodeData(const std::string& aFirstOctet, const std::string& aDataCoding,
                       const std::string& aDestination, const std::string& aData) {
  if (aData.size() % 2 != 0) {
    throw ESMSCodecError("the data have an odd number of hex digits (" +
                         std::to_string(aData.size()) + ")");
  }
  for (const char digit : aData) {
    if (hexValue(digit) < 0) {
      throw ESMSCodecError("the data are not hex digits");
    }
  }
  const std::size_t octets = aData.size() / 2;
  if (octets > IC_MAXDATAOCTETS) {
    throw ESMSCodecError("the data hold " + std::to_string(octets) + " octets, more than the " +
                         std::to_string(IC_MAXDATAOCTETS) + " of one SMS");
  }
  return "00" + aFirstOctet + "00" + addressField(aDestination) + "00" + aDataCoding +
         lengthField(octets) + aData;
}

// Where a long text is cut into parts: the start of each part, and the end. aWidth gives how
// many units the item at a position takes together (an escape pair, a surrogate pair).
template <typename TWidth>
std::vector<std::size_t> partStarts(std::size_t aCount, std::size_t aSingleLimit,
                                    std::size_t aPartLimit, TWidth aWidth) {
  std::vector<std::size_t> starts = {0};
  if (aCount <= aSingleLimit) {
    starts.push_back(aCount);
    return starts;
  }
  std::size_t position = 0;
  while (position < aCount) {
    const std::size_t start = position;
    while (position < aCount && position - start + aWidth(position) <= aPartLimit) {
      position += aWidth(position);
    }
    starts.push_back(position);
  }
  return starts;
}

// The user data header of one part: the 8-bit concatenation element only.
std::string concatHeader(std::uint8_t aReference, std::size_t aTotal, std::size_t aNumber) {
  return "050003" + hexByte(aReference) + hexByte(static_cast<int>(aTotal)) +
         hexByte(static_cast<int>(aNumber));
}

// The last well-formed concatenation element of a header (its length octet first), as a
// receiver that meets it twice must take it; an element whose number lies outside 1..total
// is ignored.
TSMSConcatInfo concatInfo(const std::vector<std::uint8_t>& aHeader) {
  TSMSConcatInfo info;
  for (std::size_t i = 1; i + 1 < aHeader.size();) {
    const int element = aHeader[i];
    const std::size_t length = aHeader[i + 1];
    const std::size_t data = i + 2;
    if (data + length > aHeader.size()) {
      break;
    }
    TSMSConcatInfo found;
    if (element == 0x00 && length == 3) {
      found = {aHeader[data], false, aHeader[data + 1], aHeader[data + 2]};
    } else if (element == 0x08 && length == 4) {
      found = {aHeader[data] * 256 + aHeader[data + 1], true, aHeader[data + 2], aHeader[data + 3]};
    }
    if (found.Total > 0 && found.Number >= 1 && found.Number <= found.Total) {
      info = found;
    }
    i = data + length;
  }
  return info;
}

// Reads the fields of a received PDU one after another; every read checks that the field is
// inside the text and is a hex number.
class TPDUReader {
public:
  explicit TPDUReader(const std::string& aPDU) : fPDU(aPDU) {}

  int octet(const char* aField) {
    const std::string digits = take(2, aField);
    const int high = hexValue(digits[0]);
    const int low = hexValue(digits[1]);
    if (high < 0 || low < 0) {
      throw ESMSCodecError(std::string("the ") + aField + " \"" + digits +
                           "\" is not a hex number");
    }
    return high * 16 + low;
  }

  std::string take(std::size_t aDigits, const char* aField) {
    if (fPDU.size() - fPos < aDigits) {
      throw ESMSCodecError(std::string("the PDU ends before its ") + aField + " (" +
                           std::to_string(fPDU.size()) + " digits)");
    }
    std::string digits = fPDU.substr(fPos, aDigits);
    fPos += aDigits;
    return digits;
  }

  std::string rest() {
    std::string digits = fPDU.substr(fPos);
    fPos = fPDU.size();
    return digits;
  }

private:
  const std::string& fPDU;
  std::size_t fPos = 0;
};

int timeStampPair(const std::string& aDigits, std::size_t aPair) {
  const char low = aDigits[aPair * 2 + 1];
  const char high = aDigits[aPair * 2];
  if (low < '0' || low > '9' || high < '0' || high > '9') {
    throw ESMSCodecError("the time stamp \"" + aDigits + "\" is not a date and time");
  }
  return (low - '0') * 10 + (high - '0');
}

std::string timeStampText(const std::string& aDigits) {
  int parts[6];
  for (std::size_t i = 0; i < 6; ++i) {
    parts[i] = timeStampPair(aDigits, i);
  }
  TDateTime checked;
  if (!TDateTime::tryEncode(2000 + parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], 0,
                            checked)) {
    throw ESMSCodecError("the time stamp \"" + aDigits + "\" is not a date and time");
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", 2000 + parts[0], parts[1],
                parts[2], parts[3], parts[4], parts[5]);
  return text;
}

// An originator or destination address field.
std::string addressOf(TPDUReader& aReader, const std::string& aName) {
  const int digits = aReader.octet((aName + " address length").c_str());
  const int type = aReader.octet((aName + " address type").c_str());
  const std::string field =
      aReader.take(static_cast<std::size_t>(digits + 1) / 2 * 2, (aName + " address").c_str());
  if (((type >> 4) & 0x7) == 0x5) {
    // Alphanumeric: only the septets its length covers; a sender with seven spare bits
    // fills them with CR, which is no part of the name.
    const auto septets = unpackSeptets(hexOctets(field, ("the " + aName + " address").c_str()),
                                       static_cast<std::size_t>(digits) * 4 / 7);
    std::string name = septetsToText(septets, 0);
    std::erase(name, '@');
    return name;
  }
  for (const char digit : field) {
    if (hexValue(digit) < 0) {
      throw ESMSCodecError("the " + aName + " address \"" + field + "\" is not a hex number");
    }
  }
  std::string number = field;
  for (std::size_t i = 0; i + 1 < number.size(); i += 2) {
    std::swap(number[i], number[i + 1]);
  }
  number.resize(static_cast<std::size_t>(digits));
  return number;
}

// The fields of a unit up to its user data, which stays hex text.
struct TUnitFields {
  bool Submit = false;
  int FirstOctet = 0;
  std::string Address;
  int DataCoding = 0;
  std::string TimeStamp;
  int DataLength = 0;
  std::string UserData;
};

// Digits of the validity period of an SMS-SUBMIT, by its format bits.
std::size_t validityPeriodDigits(int aFirstOctet) {
  switch ((aFirstOctet >> 3) & 0x3) {
  case 0:
    return 0;
  case 2:
    return 2; // relative
  default:
    return 14; // enhanced or absolute
  }
}

// With aByMessageType a unit of message type SMS-SUBMIT is read in its own layout; every
// other unit is read as an SMS-DELIVER.
TUnitFields readUnit(const std::string& aPDU, bool aByMessageType) {
  TPDUReader reader(aPDU);
  const int centreLength = reader.octet("service-centre address length");
  reader.take(static_cast<std::size_t>(centreLength) * 2, "service-centre address");
  TUnitFields unit;
  unit.FirstOctet = reader.octet("first octet");
  unit.Submit = aByMessageType && (unit.FirstOctet & 0x3) == 0x1;
  if (unit.Submit) {
    reader.octet("message reference");
  }
  unit.Address = addressOf(reader, unit.Submit ? "destination" : "originator");
  reader.octet("protocol identifier");
  unit.DataCoding = reader.octet("data coding scheme");
  if (unit.Submit) {
    reader.take(validityPeriodDigits(unit.FirstOctet), "validity period");
  } else {
    unit.TimeStamp = timeStampText(reader.take(14, "time stamp"));
  }
  unit.DataLength = reader.octet("user-data length");
  unit.UserData = reader.rest();
  return unit;
}

// The alphabet by the coding groups of the data coding scheme: the general groups by their
// alphabet bits (the reserved value as 7-bit), message waiting groups as 7-bit or UCS2,
// the data coding group as 7-bit or 8-bit, and reserved groups as 7-bit.
int alphabetOfCodingGroups(int aDataCoding) {
  const int alphabetBits = (aDataCoding >> 2) & 0x3;
  switch (aDataCoding >> 4) {
  case 0xC:
  case 0xD:
    return 0;
  case 0xE:
    return 2;
  case 0xF:
    return (aDataCoding & 0x4) != 0 ? 1 : 0;
  default:
    if (aDataCoding >= 0x80) {
      return 0;
    }
    return alphabetBits == 3 ? 0 : alphabetBits;
  }
}

// 7-bit user data of aDataLength septets; the first aHeaderOctets octets (header and its length
// octet) and the fill bits up to the next septet boundary are skipped.
std::string sevenBitText(const std::string& aUserData, std::size_t aHeaderOctets, int aDataLength) {
  const auto septets = unpackSeptets(hexOctets(aUserData, "the user data"),
                                     static_cast<std::size_t>(std::max(0, aDataLength)));
  const std::size_t skipped = (aHeaderOctets * 8 + 6) / 7;
  return skipped >= septets.size() ? std::string() : septetsToText(septets, skipped);
}

// UCS2 user data after its first aSkippedDigits hex digits.
std::string ucs2Text(const std::string& aUserData, std::size_t aSkippedDigits) {
  std::u16string units;
  for (std::size_t i = aSkippedDigits; i + 4 <= aUserData.size(); i += 4) {
    unsigned value = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int digit = hexValue(aUserData[i + k]);
      if (digit < 0) {
        throw ESMSCodecError("the user data hold \"" + aUserData.substr(i, 4) +
                             "\", which is not a hex number");
      }
      value = value * 16 + static_cast<unsigned>(digit);
    }
    units.push_back(static_cast<char16_t>(value));
  }
  return utf16ToUtf8(units);
}

void checkHexDigits(const std::string& aUserData) {
  for (const char digit : aUserData) {
    if (hexValue(digit) < 0) {
      throw ESMSCodecError("the user data are not hex digits");
    }
  }
}

} // namespace

ESMSTooManyParts::ESMSTooManyParts(int aPartsNeeded, int aMaxParts)
    : ESMSCodecError("the text needs " + std::to_string(aPartsNeeded) +
                     " SMS parts, more than the limit of " + std::to_string(aMaxParts)),
      fPartsNeeded(aPartsNeeded), fMaxParts(aMaxParts) {}

TSMSCODEC::TSMSCODEC() {
  EQASCII27BIT(); // built once per process; afterwards only read
}

std::string TSMSCODEC::ASCII2PDU7BIT(const std::string& StrASCII) const {
  return packSeptets(textToSeptets(StrASCII));
}

std::string TSMSCODEC::EncodeSMS(const std::string& StrTujuan, const std::string& StrPesan) const {
  const auto septets = textToSeptets(StrPesan);
  if (septets.size() > IC_MAXSEPTETS) {
    throw ESMSCodecError("the text needs " + std::to_string(septets.size()) +
                         " septets, more than the " + std::to_string(IC_MAXSEPTETS) +
                         " of one SMS");
  }
  return "000100" + addressField(StrTujuan) + "0000" + lengthField(septets.size()) +
         packSeptets(septets);
}

std::vector<std::string> TSMSCODEC::EncodeSMSParts(const std::string& StrTujuan,
                                                   const std::string& StrPesan,
                                                   std::uint8_t aReference, int aMaxParts) const {
  const int maxParts = std::clamp(aMaxParts, 1, IC_MAXSMSPARTS);
  const std::string address = addressField(StrTujuan);
  const std::u32string characters = utf8ToCodePoints(StrPesan);
  std::vector<std::string> pdus;

  std::vector<int> septets;
  if (exactSeptets(characters, septets)) {
    const auto starts = partStarts(septets.size(), IC_MAXSEPTETS, IC_PARTSEPTETS,
                                   [&](std::size_t i) { return septets[i] == IC_ESCAPE ? 2 : 1; });
    const std::size_t total = starts.size() - 1;
    if (total > static_cast<std::size_t>(maxParts)) {
      throw ESMSTooManyParts(static_cast<int>(total), maxParts);
    }
    if (total == 1) {
      return {"000100" + address + "0000" + lengthField(septets.size()) + packSeptets(septets)};
    }
    for (std::size_t part = 0; part < total; ++part) {
      // Seven placeholder septets where the header and its fill bit go.
      std::vector<int> data(IC_HEADERSEPTETS, 0);
      data.insert(data.end(), septets.begin() + static_cast<std::ptrdiff_t>(starts[part]),
                  septets.begin() + static_cast<std::ptrdiff_t>(starts[part + 1]));
      std::string userData = packSeptets(data);
      userData.replace(0, 12, concatHeader(aReference, total, part + 1));
      pdus.push_back("004100" + address + "0000" + lengthField(data.size()) + userData);
    }
    return pdus;
  }

  const std::u16string units = utf8ToUtf16(StrPesan);
  const auto starts =
      partStarts(units.size(), IC_MAXUCS2UNITS, IC_PARTUCS2UNITS, [&](std::size_t i) {
        return units[i] >= 0xD800 && units[i] < 0xDC00 && i + 1 < units.size() ? 2 : 1;
      });
  const std::size_t total = starts.size() - 1;
  if (total > static_cast<std::size_t>(maxParts)) {
    throw ESMSTooManyParts(static_cast<int>(total), maxParts);
  }
  if (total == 1) {
    return {"000100" + address + "0008" + lengthField(units.size() * 2) + ucs2Hex(units)};
  }
  for (std::size_t part = 0; part < total; ++part) {
    const std::u16string_view slice =
        std::u16string_view(units).substr(starts[part], starts[part + 1] - starts[part]);
    pdus.push_back("004100" + address + "0008" + lengthField(6 + slice.size() * 2) +
                   concatHeader(aReference, total, part + 1) + ucs2Hex(slice));
  }
  return pdus;
}

std::string TSMSCODEC::EncodeSMSBinary(const std::string& StrTujuan,
                                       const std::string& StrPesan) const {
  return encodeData("01", "04", StrTujuan, StrPesan);
}

std::string TSMSCODEC::EncodeSMSPush(const std::string& StrTujuan,
                                     const std::string& StrPesan) const {
  return encodeData("81", "F5", StrTujuan, StrPesan);
}

std::vector<std::string> TSMSCODEC::DecodeSMS(const std::string& StrSMS) const {
  TUnitFields unit = readUnit(StrSMS, false);
  const int coding = (unit.DataCoding >> 2) & 0x3;
  const int alphabet = coding == 1 ? 1 : coding == 2 ? 2 : 0;
  int headerLength = 0;
  if ((unit.FirstOctet & 0x40) != 0) {
    TPDUReader header(unit.UserData);
    headerLength = header.octet("user-data header length");
  }

  std::string message;
  switch (alphabet) {
  case 1:
    checkHexDigits(unit.UserData);
    message = PDU8BIT2Data(unit.UserData, headerLength, unit.DataLength);
    break;
  case 2:
    message = PDU16BIT2ASCII(unit.UserData, headerLength, unit.DataLength);
    break;
  default:
    message = PDU7BIT2ASCII(unit.UserData, headerLength, unit.DataLength);
    break;
  }
  return {std::move(unit.Address), std::move(message), std::to_string(alphabet),
          std::move(unit.TimeStamp)};
}

TSMSDecoded TSMSCODEC::DecodeSMSFull(const std::string& StrSMS) const {
  TUnitFields unit = readUnit(StrSMS, true);
  TSMSDecoded decoded;
  decoded.Submit = unit.Submit;
  decoded.Address = std::move(unit.Address);
  decoded.Alphabet = alphabetOfCodingGroups(unit.DataCoding);
  decoded.TimeStamp = std::move(unit.TimeStamp);
  std::size_t headerOctets = 0;
  if ((unit.FirstOctet & 0x40) != 0) {
    TPDUReader header(unit.UserData);
    headerOctets = static_cast<std::size_t>(header.octet("user-data header length")) + 1;
    decoded.Header = unit.UserData.substr(0, std::min(headerOctets * 2, unit.UserData.size()));
    decoded.Concat = concatInfo(hexOctets(decoded.Header, "the user-data header"));
  }
  switch (decoded.Alphabet) {
  case 1:
    checkHexDigits(unit.UserData);
    decoded.Message = unit.UserData.substr(decoded.Header.size());
    break;
  case 2:
    decoded.Message = ucs2Text(unit.UserData, decoded.Header.size());
    break;
  default:
    decoded.Message = sevenBitText(unit.UserData, headerOctets, unit.DataLength);
    break;
  }
  return decoded;
}

std::string TSMSCODEC::PDU7BIT2ASCII(const std::string& StrPDU, int PanjangUDH,
                                     int PanjangData) const {
  return sevenBitText(StrPDU, PanjangUDH > 0 ? static_cast<std::size_t>(PanjangUDH) + 1 : 0,
                      PanjangData);
}

std::string TSMSCODEC::PDU16BIT2ASCII(const std::string& StrPDU, int PanjangUDH,
                                      int /*PanjangData*/) const {
  return ucs2Text(StrPDU, PanjangUDH > 0 ? static_cast<std::size_t>(PanjangUDH) * 2 + 2 : 0);
}

std::string TSMSCODEC::PDU8BIT2Data(const std::string& StrPDU, int /*PanjangUDH*/,
                                    int /*PanjangData*/) const {
  return StrPDU;
}

std::string TSMSCODEC::Binerkan(int Angka) {
  auto value = static_cast<std::uint32_t>(Angka);
  std::string digits;
  while (value > 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + (value & 1)));
    value >>= 1;
  }
  if (digits.size() < 8) {
    digits.insert(0, 8 - digits.size(), '0');
  }
  return digits;
}

long long TSMSCODEC::Bin2Long(const std::string& StrBiner) {
  unsigned long long value = 0;
  for (const char digit : StrBiner) {
    if (digit != '0' && digit != '1') {
      throw ESMSCodecError("\"" + StrBiner + "\" is not a binary number");
    }
    if (value > (static_cast<unsigned long long>(INT64_MAX) >> 1)) {
      throw ESMSCodecError("\"" + StrBiner + "\" is too large a binary number");
    }
    value = value * 2 + static_cast<unsigned>(digit - '0');
  }
  return static_cast<long long>(value);
}
