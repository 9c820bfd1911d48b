#include "server/SMSPatterns.h"

bool matchPattern(const std::string& aRecipient, const std::string& aPattern) {
  if (aPattern.empty()) {
    return true;
  }
  const std::size_t skip = (aPattern[0] == '+' || aPattern[0] == ' ') ? 1 : 0;
  const std::size_t length = aPattern.size() - skip;
  if (length == 0) {
    return false;
  }
  return aRecipient.compare(0, length, aPattern, skip, length) == 0;
}

bool matchPattern(const TVTSMSManagerMessage* aSMS, const std::string& aPattern) {
  if (aPattern.empty()) {
    return true;
  }
  return aSMS != nullptr && matchPattern(aSMS->getRecipient(), aPattern);
}
