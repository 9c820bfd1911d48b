#include "tools/modemsim/ModemSimGsm.h"

#include "common/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>

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

std::vector<std::uint8_t> packSeptets(const std::vector<std::uint8_t>& aSeptets,
                                      std::size_t aFirstBit) {
  std::vector<std::uint8_t> octets((aFirstBit + aSeptets.size() * 7 + 7) / 8, 0);
  std::size_t bit = aFirstBit;
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

namespace {

// An SMS-DELIVER up to its user data length: centre, first octet, originator, protocol
// identifier, data coding and time stamp.
bool deliverHead(std::string_view aSmsc, std::string_view aSender, bool aGsm, bool aHeader,
                 const TSmsTimestamp& aTime, std::vector<std::uint8_t>& aPdu, std::string& aError) {
  aPdu.clear();
  if (aSmsc.empty()) {
    aPdu.push_back(0x00);
  } else {
    std::vector<std::uint8_t> smsc;
    if (!isPhoneNumber(aSmsc) || !encodeAddress(aSmsc, smsc)) {
      aError = "service centre address is not a number";
      return false;
    }
    // The service-centre field counts octets (type included), not digits.
    aPdu.push_back(static_cast<std::uint8_t>(smsc.size() - 1));
    aPdu.insert(aPdu.end(), smsc.begin() + 1, smsc.end());
  }
  std::vector<std::uint8_t> originator;
  if (!encodeAddress(aSender, originator)) {
    aError = "sender cannot be coded as an address";
    return false;
  }
  // SMS-DELIVER, no more messages waiting; with a user data header when asked
  aPdu.push_back(aHeader ? 0x44 : 0x04);
  aPdu.insert(aPdu.end(), originator.begin(), originator.end());
  aPdu.push_back(0x00);               // protocol identifier
  aPdu.push_back(aGsm ? 0x00 : 0x08); // data coding: default alphabet or UCS2
  aPdu.push_back(semiOctetPair(aTime.Year % 100));
  aPdu.push_back(semiOctetPair(aTime.Month));
  aPdu.push_back(semiOctetPair(aTime.Day));
  aPdu.push_back(semiOctetPair(aTime.Hour));
  aPdu.push_back(semiOctetPair(aTime.Minute));
  aPdu.push_back(semiOctetPair(aTime.Second));
  const int zone = aTime.ZoneQuarters < 0 ? -aTime.ZoneQuarters : aTime.ZoneQuarters;
  std::uint8_t zoneOctet = semiOctetPair(zone);
  if (aTime.ZoneQuarters < 0) {
    zoneOctet |= 0x08; // sign bit of the zone
  }
  aPdu.push_back(zoneOctet);
  return true;
}

std::vector<std::uint8_t> ucs2Bytes(const std::u16string& aUnits) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : aUnits) {
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  }
  return bytes;
}

constexpr std::size_t IC_PARTSEPTETS = 153; // 160 less the header and its fill bit
constexpr std::size_t IC_PARTUNITS = 67;    // 70 less the header
constexpr std::size_t IC_HEADEROCTETS = 6;  // 05 00 03 reference total number
constexpr std::size_t IC_HEADERSEPTETS = 7; // the header's 48 bits and one fill bit
constexpr std::size_t IC_MAXPARTS = 255;

// Where the parts of aCount items end, at most aSize items each; a part never ends between
// the two items that aSplits says belong together.
template <typename TSplits>
std::vector<std::size_t> partEnds(std::size_t aCount, std::size_t aSize, TSplits aSplits) {
  std::vector<std::size_t> ends;
  for (std::size_t start = 0; start < aCount;) {
    std::size_t end = std::min(aCount, start + aSize);
    if (end < aCount && aSplits(end)) {
      --end;
    }
    ends.push_back(end);
    start = end;
  }
  return ends;
}

} // namespace

bool buildSmsDeliver(std::string_view aSmsc, std::string_view aSender, std::string_view aUtf8Text,
                     const TSmsTimestamp& aTime, std::string& aPdu, std::string& aError) {
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
    userData = ucs2Bytes(utf8ToUtf16(aUtf8Text));
    if (userData.size() > IC_MAXUCS2OCTETS) {
      aError = "text too long for one SMS";
      return false;
    }
    userDataLength = static_cast<std::uint8_t>(userData.size());
  }
  std::vector<std::uint8_t> pdu;
  if (!deliverHead(aSmsc, aSender, gsm, false, aTime, pdu, aError)) {
    return false;
  }
  pdu.push_back(userDataLength);
  pdu.insert(pdu.end(), userData.begin(), userData.end());
  aPdu = toHex(pdu);
  return true;
}

bool buildSmsDeliverParts(std::string_view aSmsc, std::string_view aSender,
                          std::string_view aUtf8Text, const TSmsTimestamp& aTime,
                          std::uint8_t aReference, std::vector<std::string>& aPdus,
                          std::string& aError) {
  aPdus.clear();
  std::string single;
  std::string error;
  if (buildSmsDeliver(aSmsc, aSender, aUtf8Text, aTime, single, error)) {
    aPdus.push_back(single);
    return true;
  }
  std::vector<std::uint8_t> septets;
  const bool gsm = textToSeptets(aUtf8Text, septets);
  const std::u16string units = utf8ToUtf16(aUtf8Text);
  // An escape septet opens a pair; a high surrogate opens a pair of code units.
  const auto ends = gsm ? partEnds(septets.size(), IC_PARTSEPTETS,
                                   [&](std::size_t aEnd) { return septets[aEnd - 1] == 0x1B; })
                        : partEnds(units.size(), IC_PARTUNITS, [&](std::size_t aEnd) {
                            return units[aEnd - 1] >= 0xD800 && units[aEnd - 1] <= 0xDBFF;
                          });
  if (ends.size() > IC_MAXPARTS) {
    aError = "text too long for 255 SMS";
    return false;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < ends.size(); ++i) {
    std::vector<std::uint8_t> pdu;
    if (!deliverHead(aSmsc, aSender, gsm, true, aTime, pdu, aError)) {
      aPdus.clear();
      return false;
    }
    const std::vector<std::uint8_t> header{0x05,
                                           0x00,
                                           0x03,
                                           aReference,
                                           static_cast<std::uint8_t>(ends.size()),
                                           static_cast<std::uint8_t>(i + 1)};
    std::vector<std::uint8_t> userData;
    std::size_t length = 0;
    if (gsm) {
      const std::vector<std::uint8_t> chunk(septets.begin() + static_cast<std::ptrdiff_t>(start),
                                            septets.begin() + static_cast<std::ptrdiff_t>(ends[i]));
      userData = packSeptets(chunk, IC_HEADERSEPTETS * 7);
      length = IC_HEADERSEPTETS + chunk.size();
    } else {
      userData = ucs2Bytes(units.substr(start, ends[i] - start));
      userData.insert(userData.begin(), IC_HEADEROCTETS, 0);
      length = userData.size();
    }
    std::copy(header.begin(), header.end(), userData.begin());
    pdu.push_back(static_cast<std::uint8_t>(length));
    pdu.insert(pdu.end(), userData.begin(), userData.end());
    aPdus.push_back(toHex(pdu));
    start = ends[i];
  }
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
