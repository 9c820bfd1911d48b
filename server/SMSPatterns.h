#pragma once

#include "modem/VTSMSManagerMessage.h"

#include <string>

// Number patterns of the SMS routing: a pattern is a number prefix. An empty pattern matches
// every number; otherwise one leading "+" or blank (a "+" that arrived form-encoded) is
// dropped, and the number matches when it begins with the rest, character by character. A
// pattern that was only "+" or a blank matches nothing. The number is compared as it is.
bool matchPattern(const std::string& aRecipient, const std::string& aPattern);

// The same test on the message's other party (the sender of a received SMS); an absent
// message matches only the empty pattern.
bool matchPattern(const TVTSMSManagerMessage* aSMS, const std::string& aPattern);
