#include "common/UniCodeTools.h"

#include <gtest/gtest.h>

namespace {

TEST(UniCodeToolsTest, EncodesSingleByteTextAsBase64) {
  const std::pair<std::string, std::string> cases[] = {
      {"abc", "YWJj"},
      {"ab", "YWI="},
      {"a", "YQ=="},
      {"", ""},
      {"\xC3\xA4\xC3\xB6\xC3\xBC", "5Pb8"}, // "äöü" as the bytes E4 F6 FC
  };
  for (const auto& [text, encoded] : cases) {
    EXPECT_EQ(encodeBase64(text), encoded) << text;
    EXPECT_EQ(decodeBase64(encoded), text) << encoded;
  }
}

TEST(UniCodeToolsTest, DecodingStopsAtTheFirstCharacterOutsideTheAlphabet) {
  EXPECT_EQ(decodeBase64("YW=Jj"), "a");
  EXPECT_EQ(decodeBase64("YWJj\nYWJj"), "abc");
  EXPECT_EQ(decodeBase64(" YWJj"), "");
}

TEST(UniCodeToolsTest, CharactersAboveLatin1NeitherFailNorLeaveTheAlphabet) {
  const std::string encoded = encodeBase64("\xE2\x82\xAC"); // the euro sign
  EXPECT_EQ(encoded, "Pw==");                               // taken as "?"
}

TEST(UniCodeToolsTest, DecodeIntoBufferStopsWhenTheBufferIsFull) {
  const std::string encoded = encodeBase64Bytes(std::string(600, 'x'));
  std::uint8_t buffer[500];
  EXPECT_EQ(decodeBase64Buf(encoded, buffer, 500), 500);
  EXPECT_EQ(buffer[499], 'x');

  std::uint8_t small[8];
  std::fill(std::begin(small), std::end(small), 0xFF);
  EXPECT_EQ(decodeBase64Buf("YWI=", small, 8), 2);
  EXPECT_EQ(small[2], 0) << "the rest of the buffer is zeroed";
}

TEST(UniCodeToolsTest, DecodesHexAndReportsBadInputWithItsPosition) {
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(DecodeHexStringToBA("0a1B", bytes), 2);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x0A, 0x1B}));

  const std::pair<std::string, std::string> failures[] = {
      {"abc", "abc is not a coded-pure-string (Byte)"},
      {"0G", "0G is not a coded-pure-string (Byte), invalid on <0> pos"},
      {"00zz", "00zz is not a coded-pure-string (Byte), invalid on <2> pos"},
  };
  for (const auto& [text, message] : failures) {
    try {
      DecodeHexStringToBA(text, bytes);
      ADD_FAILURE() << text << " did not fail";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
  EXPECT_EQ(bytes.size(), 2u) << "resized before the bad pair was met";
}

} // namespace
