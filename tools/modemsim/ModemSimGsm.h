#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The simulator's own GSM 03.40 / 03.38 helpers: it builds the SMS-DELIVER units a network
// would hand to the modem and checks the SMS-SUBMIT units it is given. Kept apart from the
// gateway's codec on purpose, so that the two check each other in the tests. Pure functions,
// no state; nothing throws.
namespace modemsim {

// A time stamp as the service centre writes it (the zone is given in quarter hours).
struct TSmsTimestamp {
  int Year = 2000; // 2000..2099
  int Month = 1;
  int Day = 1;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int ZoneQuarters = 0;
};

// The septets of a text in the GSM default alphabet, extension characters as escape pairs;
// false when a character has no GSM code.
bool textToSeptets(std::string_view aUtf8, std::vector<std::uint8_t>& aSeptets);
// Packs septets least significant bit first: n septets give ceil(7n/8) octets. With aFirstBit
// the first septet starts at that bit (the bits before it stay 0), as after a user data header.
std::vector<std::uint8_t> packSeptets(const std::vector<std::uint8_t>& aSeptets,
                                      std::size_t aFirstBit = 0);

std::string toHex(const std::vector<std::uint8_t>& aBytes); // upper case
// False for an odd count or a non-hex digit.
bool fromHex(std::string_view aHex, std::vector<std::uint8_t>& aBytes);

// The address field (length, type, semi-octets) of a phone number: "+4917..." is
// international (91), digits alone are of unknown type (81), anything else is sent as an
// alphanumeric address (D0, at most 11 characters). False when it cannot be coded.
bool encodeAddress(std::string_view aAddress, std::vector<std::uint8_t>& aField);

// A complete SMS-DELIVER as the modem lists it, service-centre address first. The text goes
// in the GSM default alphabet when it can, else in UCS2; false with aError when it does not
// fit into one SMS or an address cannot be coded.
bool buildSmsDeliver(std::string_view aSmsc, std::string_view aSender, std::string_view aUtf8Text,
                     const TSmsTimestamp& aTime, std::string& aPdu, std::string& aError);

// A text of any length as a network delivers it: one SMS-DELIVER as buildSmsDeliver makes it
// when the text fits, else the parts of a concatenated SMS in order, each with a user data
// header holding the concatenation element (8-bit reference aReference, the part count, its
// number): 153 septets or 67 UCS2 code units a part, an escape pair or a surrogate pair never
// split. False with aError when it needs more than 255 parts or an address cannot be coded.
bool buildSmsDeliverParts(std::string_view aSmsc, std::string_view aSender,
                          std::string_view aUtf8Text, const TSmsTimestamp& aTime,
                          std::uint8_t aReference, std::vector<std::string>& aPdus,
                          std::string& aError);

// What the modem checks of a PDU given after AT+CMGS=<length>: hex, a service-centre field
// that fits, <length> octets after it, and an SMS-SUBMIT first octet.
enum TSubmitCheck { scOk, scNotHex, scBadLength, scNotSubmit };
TSubmitCheck checkSubmitPdu(std::string_view aHex, int aLength);

// The octets of a stored PDU after its service-centre field (the length +CMGL reports); -1
// when the PDU is malformed.
int tpduLength(std::string_view aHex);

} // namespace modemsim
