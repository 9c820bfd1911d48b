#include "server/HTTPParamRules.h"

#include <gtest/gtest.h>

namespace {

TEST(HTTPParamRulesTest, LengthsCountCharactersAndControlCharactersAreRefused) {
  struct TCase {
    const char* Name;
    std::string Value;
    std::size_t MaxLength;
    bool LineEnds;
    EParamFault Fault;
  };
  const TCase cases[] = {
      {"empty", "", 0, false, EParamFault::None},
      {"at the limit", "abc", 3, false, EParamFault::None},
      {"over the limit", "abcd", 3, false, EParamFault::TooLong},
      {"umlauts count once", "\xC3\xA4\xC3\xB6\xC3\xBC", 3, false, EParamFault::None},
      {"NUL", std::string("a\0b", 3), 10, true, EParamFault::ControlCharacters},
      {"ESC", "a\x1B[0m", 10, true, EParamFault::ControlCharacters},
      {"DEL", "a\x7F", 10, false, EParamFault::ControlCharacters},
      {"C1 next line", "a\xC2\x85", 10, false, EParamFault::ControlCharacters},
      {"no-break space is no control", "a\xC2\xA0", 10, false, EParamFault::None},
      {"line ends in a name", "a\r\nb", 10, false, EParamFault::ControlCharacters},
      {"line ends in a text", "a\r\n\tb", 10, true, EParamFault::None},
      {"a lone byte read as Latin-1 C1", "a\x85", 10, true, EParamFault::ControlCharacters},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(checkParamValue(c.Value, c.MaxLength, c.LineEnds), c.Fault) << c.Name;
  }
}

TEST(HTTPParamRulesTest, NamesTheFirstParameterThatBreaksItsRule) {
  TSMSCommandParams params;
  params.User = "anna";
  params.Receiver = std::string(65, '4');
  params.Type = "t\x01";
  EXPECT_FALSE(checkCredentialParams(params));
  const TParamFault fault = checkSendSMSParams(params);
  EXPECT_EQ(fault.Name, "receiver");
  EXPECT_EQ(paramFaultText(fault), "HTTP-Parameter <receiver> is too long.");
  params.Receiver = "4917";
  EXPECT_EQ(paramFaultText(checkSendSMSParams(params)),
            "HTTP-Parameter <type> holds control characters.");
  EXPECT_FALSE(checkGetNewSMSParams(params));
  params.User = std::string(101, 'a');
  EXPECT_EQ(checkCredentialParams(params).Name, "smsusr");
}

} // namespace
