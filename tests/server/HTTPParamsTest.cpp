#include "server/HTTPParams.h"

#include <gtest/gtest.h>

namespace {

TEST(HTTPParamsTest, QueryFieldsWinAndNamesIgnoreCase) {
  const TWebFields query = parseWebFormFields("SMSUsr=Anna&receiver=%2B4917&message=Hi+there");
  EXPECT_EQ(getHTTPParam(query, "smsusr=ignored", "smsusr"), "Anna");
  EXPECT_EQ(getHTTPParam(query, "", "RECEIVER"), "+4917");
  EXPECT_EQ(getHTTPParam(query, "", "message"), "Hi there");
  EXPECT_EQ(getHTTPParam(query, "coding=base64", "coding"), "")
      << "a request with query fields is never read from its body";
}

TEST(HTTPParamsTest, BodyFieldsArriveInLowerCase) {
  EXPECT_EQ(getHTTPParam({}, "SMSUSR=Anna&Message=Hello%20World", "message"), "hello world");
  EXPECT_EQ(getHTTPParam({}, "smsusr=Anna", "SmsUsr"), "anna");
  EXPECT_EQ(getHTTPParam({}, "", "smsusr"), "");
}

TEST(HTTPParamsTest, NormalisesReceivers) {
  const std::pair<const char*, const char*> cases[] = {
      {"+4917", "4917"}, {" 4917", "4917"}, {"004917", "4917"}, {"0", "0"},
      {"00", ""},        {"0171", "0171"},  {"", ""},
  };
  for (const auto& [given, normalised] : cases) {
    EXPECT_EQ(normaliseReceiver(given), normalised) << given;
  }
}

TEST(HTTPParamsTest, ReadsBooleans) {
  EXPECT_TRUE(readBooleanParam("TRUE", false));
  EXPECT_FALSE(readBooleanParam("False", true));
  EXPECT_FALSE(readBooleanParam("0", true));
  EXPECT_TRUE(readBooleanParam("-1", false));
  EXPECT_TRUE(readBooleanParam("", true));
  EXPECT_TRUE(readBooleanParam("yes", true));
}

} // namespace
