#include "modem/SMSCodec.h"

#include "common/TextEncoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Golden vectors are written from GSM 03.40 (units and fields) and GSM 03.38 (the default
// alphabet and its packing).
namespace {

const std::string SC_DEST = "491711234567";
const std::string SC_DESTFIELD = "0C91947111325476";
const std::string SC_STAMP = "11305071409080"; // 2011-03-05 17:04:09, zone +08

std::string latin1(int aCode) {
  return latin1ToUtf8(std::string(1, static_cast<char>(aCode)));
}

// An SMS-DELIVER without service-centre address from a number of SC_DEST.
std::string deliver(const std::string& aFirstOctet, const std::string& aCoding,
                    const std::string& aLength, const std::string& aUserData) {
  return "00" + aFirstOctet + SC_DESTFIELD + "00" + aCoding + SC_STAMP + aLength + aUserData;
}

struct TEncodeCase {
  const char* Name;
  std::string Result;
  std::string Expected;
};

TEST(SMSCodecTest, EncodesTheThreeSubmitUnits) {
  const TSMSCODEC codec;
  const std::vector<TEncodeCase> cases = {
      {"text", codec.EncodeSMS(SC_DEST, "Hallo"), "0001000C91947111325476000005C8309BFD06"},
      {"empty text", codec.EncodeSMS(SC_DEST, ""), "0001000C91947111325476000000"},
      {"odd destination", codec.EncodeSMS("12345", ""), "00010005912143F5000000"},
      {"binary", codec.EncodeSMSBinary(SC_DEST, "0102"), "0001000C919471113254760004020102"},
      {"push", codec.EncodeSMSPush(SC_DEST, "0102"), "0081000C9194711132547600F5020102"},
      {"extension counts two", codec.EncodeSMS(SC_DEST, "a[b"),
       "0001000C91947111325476000004E10D4F0C"},
  };
  for (const auto& testCase : cases) {
    EXPECT_EQ(testCase.Result, testCase.Expected) << testCase.Name;
  }
}

TEST(SMSCodecTest, PacksSeptetsAsTheDefaultAlphabetPrescribes) {
  const TSMSCODEC codec;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abcdefgh", "61F1985C369FD1"}, // eight septets in seven octets
      {"a[b", "E10D4F0C"},
      {"\xC3\xA9", "05"},       // é
      {"\xC3\x96", "5C"},       // Ö
      {"\xC3\xA1", "00"},       // á has no GSM code and goes as "@"
      {"\xE2\x82\xAC", "9B32"}, // € is the escape pair 1B 65
      {"\xCE\x94\xCE\xA6\xCE\x93\xCE\x9B\xCE\xA9\xCE\xA0\xCE\xA8\xCE\xA3\xCE\x98\xCE\x9E",
       "10C98452B15C30190D"}, // ΔΦΓΛΩΠΨΣΘΞ: 10, 12 .. 1A
      {"\f^{}\\~]|", "1BC586B2416D529BD7A6B7F16D80"},
      {"", ""},
  };
  for (const auto& [text, hex] : cases) {
    EXPECT_EQ(codec.ASCII2PDU7BIT(text), hex) << text;
  }
}

TEST(SMSCodecTest, EveryLatin1CharacterIsSentAsItselfOrAsAt) {
  // The encoding table is the inverse of the decoding table: a character with a GSM code comes
  // back unchanged, every other one comes back as "@".
  const TSMSCODEC codec;
  int kept = 0;
  for (int code = 0; code < 256; ++code) {
    const std::string text = latin1(code);
    const std::string hex = codec.ASCII2PDU7BIT(text);
    const int septets =
        code == 0x0C || std::string("^{}\\[~]|").find(static_cast<char>(code)) != std::string::npos
            ? 2
            : 1;
    const std::string back = codec.PDU7BIT2ASCII(hex, 0, septets);
    if (back == text) {
      ++kept;
    } else {
      EXPECT_EQ(back, "@") << "Latin-1 code " << code;
    }
  }
  EXPECT_EQ(kept, 117 + 9); // the basic table without Δ..Ξ and escape, and the extensions
}

TEST(SMSCodecTest, RejectsWhatCannotBeSentInOneSMS) {
  const TSMSCODEC codec;
  EXPECT_NO_THROW(codec.EncodeSMS(SC_DEST, std::string(160, 'a')));
  EXPECT_NO_THROW(codec.EncodeSMS(SC_DEST, std::string(80, '[')));
  EXPECT_NO_THROW(codec.EncodeSMSBinary(SC_DEST, std::string(280, 'A')));
  EXPECT_NO_THROW(codec.EncodeSMSPush(SC_DEST, std::string(280, 'A')));
  EXPECT_EQ(codec.EncodeSMS(SC_DEST, std::string(160, 'a')).substr(26, 2), "A0");

  struct TRejected {
    const char* Name;
    std::function<std::string()> Encode;
    std::vector<std::string> MessageParts;
  };
  const std::vector<TRejected> cases = {
      {"161 septets",
       [&] { return codec.EncodeSMS(SC_DEST, std::string(161, 'a')); },
       {"161", "160"}},
      {"extensions count two",
       [&] { return codec.EncodeSMS(SC_DEST, std::string(80, '[') + "a"); },
       {"161", "160"}},
      {"141 binary octets",
       [&] { return codec.EncodeSMSBinary(SC_DEST, std::string(282, 'A')); },
       {"141", "140"}},
      {"141 push octets",
       [&] { return codec.EncodeSMSPush(SC_DEST, std::string(282, 'A')); },
       {"141", "140"}},
      {"no GSM code", [&] { return codec.EncodeSMS(SC_DEST, "\xD0\xB6"); }, {"U+0436"}},
      {"odd data", [&] { return codec.EncodeSMSBinary(SC_DEST, "010"); }, {"odd"}},
      {"data not hex",
       [&] {
         return codec.EncodeSMSPush(SC_DEST, "01\x1A"
                                             "0");
       },
       {"hex"}},
      {"destination not a number", [&] { return codec.EncodeSMS("4917\r1", "x"); }, {"number"}},
      {"destination too long",
       [&] { return codec.EncodeSMS(std::string(21, '1'), "x"); },
       {"21", "20"}},
  };
  for (const auto& testCase : cases) {
    try {
      testCase.Encode();
      ADD_FAILURE() << testCase.Name << ": no error";
    } catch (const ESMSCodecError& error) {
      for (const auto& part : testCase.MessageParts) {
        EXPECT_NE(std::string(error.what()).find(part), std::string::npos)
            << testCase.Name << ": " << error.what();
      }
    }
  }
}

struct TDecodeCase {
  const char* Name;
  std::string PDU;
  std::vector<std::string> Expected;
};

TEST(SMSCodecTest, DecodesDeliverUnits) {
  const TSMSCODEC codec;
  const std::string stamp = "2011.03.05 17:04:09";
  const std::vector<TDecodeCase> cases = {
      {"modem listing",
       "00040C9194711132547600001130507140908005C8309BFD06",
       {SC_DEST, "Hallo", "0", stamp}},
      {"lower-case digits",
       "00040c9194711132547600001130507140908005c8309bfd06",
       {SC_DEST, "Hallo", "0", stamp}},
      {"with service centre",
       "0791947106004034"
       "04" +
           SC_DESTFIELD + "0000" + SC_STAMP + "05C8309BFD06",
       {SC_DEST, "Hallo", "0", stamp}},
      {"odd originator", "000405912143F500001130507140908000", {"12345", "", "0", stamp}},
      {"alphanumeric",
       "000407D049B7F90D000011305071409080"
       "00",
       {"Info", "", "0", stamp}},
      {"seven letters with CR fill",
       "00040DD0D432BBBC7EB71B00001130507140908000",
       {"Telekom", "", "0", stamp}},
      {"escape pair", deliver("04", "00", "04", "E10D4F0C"), {SC_DEST, "a[b", "0", stamp}},
      {"escape at the end", deliver("04", "00", "03", "F80D0F"), {SC_DEST, "x[", "0", stamp}},
      {"unknown escape",
       deliver("04", "00", "04", "E14D500C"),
       {SC_DEST, std::string("a\0b", 3), "0", stamp}},
      {"cut escape",
       deliver("04", "00", "02", "E10D"),
       {SC_DEST, std::string("a\0", 2), "0", stamp}},
      {"euro and greek",
       deliver("04", "00", "0C", "9B324432A1542C174C4603"),
       {SC_DEST,
        "\xE2\x82\xAC\xCE\x94\xCE\xA6\xCE\x93\xCE\x9B\xCE\xA9\xCE\xA0\xCE\xA8\xCE\xA3\xCE\x98"
        "\xCE\x9E",
        "0", stamp}},
      {"length shorter than data",
       deliver("04", "00", "02", "C8309BFD06"),
       {SC_DEST, "Ha", "0", stamp}},
      {"length beyond data",
       deliver("04", "00", "A0", "C8309BFD06"),
       {SC_DEST, "Hallo", "0", stamp}},
      {"7-bit with header",
       deliver("44", "00", "0C", "0500032A0201906136FB0D"),
       {SC_DEST, "Hallo", "0", stamp}},
      {"7-bit with a long header",
       deliver("44", "00", "13", "0B00032A020105040B8423F020C36CF61B"),
       {SC_DEST, "Hallo", "0", stamp}},
      {"UCS2", deliver("04", "08", "04", "00480069"), {SC_DEST, "Hi", "2", stamp}},
      {"UCS2 beyond Latin-1",
       deliver("04", "08", "08", "04360416D83DDE00"),
       {SC_DEST, "\xD0\xB6\xD0\x96\xF0\x9F\x98\x80", "2", stamp}},
      {"UCS2 with header",
       deliver("44", "08", "0A", "0500032A020100480069"),
       {SC_DEST, "Hi", "2", stamp}},
      {"8-bit with header",
       deliver("44", "04", "08", "0500032A0201CAFE"),
       {SC_DEST, "0500032A0201CAFE", "1", stamp}},
      {"coding bits 11 are 7-bit",
       deliver("04", "0C", "05", "C8309BFD06"),
       {SC_DEST, "Hallo", "0", stamp}},
      {"class bits ignored", deliver("04", "F4", "02", "0102"), {SC_DEST, "0102", "1", stamp}},
  };
  for (const auto& testCase : cases) {
    try {
      EXPECT_EQ(codec.DecodeSMS(testCase.PDU), testCase.Expected) << testCase.Name;
    } catch (const ESMSCodecError& error) {
      ADD_FAILURE() << testCase.Name << ": " << error.what();
    }
  }
}

TEST(SMSCodecTest, MalformedUnitsAreDecodeErrors) {
  const TSMSCODEC codec;
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"one digit", "0"},
      {"centre longer than the unit", "0791947106"},
      {"no originator", "0004"},
      {"originator cut", "00040C91947111"},
      {"no time stamp", "00040C919471113254760000113050"},
      {"no user-data length", "00040C9194711132547600001130507140908"},
      {"not hex", "0G040C9194711132547600001130507140908005C8309BFD06"},
      {"originator not hex", "00040C91947111325Z7600001130507140908005C8309BFD06"},
      {"alphanumeric not hex", "000407D049B7FZ0D00001130507140908000"},
      {"month 13", deliver("04", "00", "00", "").replace(26, 2, "31")},
      {"second 90", "00040C9194711132547600001130507104098005C8309BFD06"},
      {"time stamp not digits", deliver("04", "00", "00", "").replace(28, 2, "5A")},
      {"header without user data", deliver("44", "00", "00", "")},
      {"7-bit user data not hex", deliver("04", "00", "05", "C8309BXD06")},
      {"UCS2 user data not hex", deliver("04", "08", "02", "00G8")},
      {"8-bit user data not hex", deliver("04", "04", "02", "01\r\n")},
  };
  for (const auto& [name, pdu] : cases) {
    EXPECT_THROW(codec.DecodeSMS(pdu), ESMSCodecError) << name;
  }
}

TEST(SMSCodecTest, EveryCutOfAUnitIsDecodedOrRefused) {
  const TSMSCODEC codec;
  for (const std::string& pdu : {"0791947106004034"
                                 "44" +
                                     SC_DESTFIELD + "0000" + SC_STAMP + "0C0500032A0201906136FB0D",
                                 deliver("44", "08", "0A", "0500032A020100480069"),
                                 std::string("00040DD0D432BBBC7EB71B00001130507140908000")}) {
    for (std::size_t length = 0; length <= pdu.size(); ++length) {
      try {
        EXPECT_EQ(codec.DecodeSMS(pdu.substr(0, length)).size(), 4u);
      } catch (const ESMSCodecError&) {
      }
    }
  }
}

TEST(SMSCodecTest, BitStrings) {
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "00000000"}, {5, "00000101"}, {255, "11111111"}, {256, "100000000"}};
  for (const auto& [value, digits] : cases) {
    EXPECT_EQ(TSMSCODEC::Binerkan(value), digits);
    EXPECT_EQ(TSMSCODEC::Bin2Long(digits), value);
  }
  EXPECT_EQ(TSMSCODEC::Bin2Long(""), 0);
  EXPECT_EQ(TSMSCODEC::Bin2Long("101"), 5);
  EXPECT_EQ(TSMSCODEC::Bin2Long(std::string(63, '1')), INT64_MAX);
  EXPECT_THROW(TSMSCODEC::Bin2Long("102"), ESMSCodecError);
  EXPECT_THROW(TSMSCODEC::Bin2Long(std::string(64, '1')), ESMSCodecError);
}

} // namespace
