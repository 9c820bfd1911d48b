#include "server/HTTPParamRules.h"

#include "common/TextEncoding.h"

EParamFault checkParamValue(std::string_view aValue, std::size_t aMaxLength, bool aLineEnds) {
  const std::u32string characters = utf8ToCodePoints(aValue);
  if (characters.size() > aMaxLength) {
    return EParamFault::TooLong;
  }
  for (const char32_t c : characters) {
    const bool lineEnd = c == U'\t' || c == U'\n' || c == U'\r';
    if ((c < 0x20 && !(aLineEnds && lineEnd)) || (c >= 0x7F && c <= 0x9F)) {
      return EParamFault::ControlCharacters;
    }
  }
  return EParamFault::None;
}

namespace {

struct TRule {
  const char* Name;
  const std::string TSMSCommandParams::*Value;
  std::size_t MaxLength;
  bool LineEnds;
};

template <std::size_t N>
TParamFault firstFault(const TSMSCommandParams& aParams, const TRule (&aRules)[N]) {
  for (const TRule& rule : aRules) {
    const EParamFault fault = checkParamValue(aParams.*rule.Value, rule.MaxLength, rule.LineEnds);
    if (fault != EParamFault::None) {
      return {rule.Name, fault};
    }
  }
  return {};
}

} // namespace

TParamFault checkCredentialParams(const TSMSCommandParams& aParams) {
  static const TRule rules[] = {
      {"smsusr", &TSMSCommandParams::User, IC_MAXACCOUNTNAMELENGTH, false},
      {"smspwd", &TSMSCommandParams::Password, IC_MAXPASSWORDLENGTH, false},
  };
  return firstFault(aParams, rules);
}

TParamFault checkSendSMSParams(const TSMSCommandParams& aParams) {
  static const TRule rules[] = {
      {"smspwdcoded", &TSMSCommandParams::PasswordCoded, IC_MAXOPTIONLENGTH, false},
      {"receiver", &TSMSCommandParams::Receiver, IC_MAXRECEIVERLENGTH, false},
      {"message", &TSMSCommandParams::Message, IC_MAXMESSAGELENGTH, true},
      {"coding", &TSMSCommandParams::Coding, IC_MAXOPTIONLENGTH, false},
      {"type", &TSMSCommandParams::Type, IC_MAXOPTIONLENGTH, false},
  };
  return firstFault(aParams, rules);
}

TParamFault checkGetNewSMSParams(const TSMSCommandParams& aParams) {
  static const TRule rules[] = {
      {"smspwdcoded", &TSMSCommandParams::PasswordCoded, IC_MAXOPTIONLENGTH, false},
  };
  return firstFault(aParams, rules);
}

std::string paramFaultText(const TParamFault& aFault) {
  return "HTTP-Parameter <" + aFault.Name + ">" +
         (aFault.Fault == EParamFault::TooLong ? " is too long." : " holds control characters.");
}
