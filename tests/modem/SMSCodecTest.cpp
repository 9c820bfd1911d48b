#include "modem/SMSCodec.h"

#include "common/TextEncoding.h"
#include "modem/SMSConcatCollector.h"

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

// Each part as the decoder reads it, and the text the parts join to.
struct TEncodedParts {
  std::vector<TSMSDecoded> Parts;
  std::vector<int> DataLengths; // user-data length of each part
  TSMSConcatMessage Joined;
};

TEncodedParts encodeAndRead(const TSMSCODEC& aCodec, const std::string& aText,
                            std::uint8_t aReference, int aMaxParts = IC_DEFAULTMAXSMSPARTS) {
  TEncodedParts result;
  std::vector<TSMSConcatPart> parts;
  for (const std::string& pdu : aCodec.EncodeSMSParts(SC_DEST, aText, aReference, aMaxParts)) {
    // "00" "01"/"41" "00", the destination field, "00", the data coding, the length
    result.DataLengths.push_back(
        std::stoi(pdu.substr(6 + SC_DESTFIELD.size() + 4, 2), nullptr, 16));
    result.Parts.push_back(aCodec.DecodeSMSFull(pdu));
    parts.push_back({result.Parts.back(), pdu, TDateTime()});
  }
  result.Joined = joinSMSParts(parts);
  return result;
}

struct TPartsCase {
  const char* Name;
  std::string Text;
  int Alphabet;
  std::vector<int> DataLengths; // septets (7-bit) or octets (UCS2), header included
};

TEST(SMSCodecTest, SplitsTextsIntoPartsThatJoinToTheText) {
  const TSMSCODEC codec;
  const std::string a152(152, 'a');
  std::string zhe71;
  for (int i = 0; i < 71; ++i) {
    zhe71 += "ж";
  }
  std::string emoji36;
  for (int i = 0; i < 36; ++i) {
    emoji36 += "😀";
  }
  const std::vector<TPartsCase> cases = {
      {"empty", "", 0, {0}},
      {"160 septets in one SMS", std::string(160, 'a'), 0, {160}},
      {"161 septets in two", std::string(161, 'a'), 0, {7 + 153, 7 + 8}},
      {"80 extension characters in one SMS", std::string(80, '{'), 0, {160}},
      {"escape pair not split", a152 + "[" + std::string(10, 'b'), 0, {7 + 152, 7 + 12}},
      {"euro at the boundary", a152 + "€" + std::string(10, 'b'), 0, {7 + 152, 7 + 12}},
      {"six full parts", std::string(6 * 153, 'a'), 0, {160, 160, 160, 160, 160, 160}},
      {"greek letters stay 7-bit", "ΔΦΓΛΩΠΨΣΘΞ", 0, {10}},
      {"á has no GSM code", "Olá", 2, {6}},
      {"tab has no GSM code", "a\tb", 2, {6}},
      {"cyrillic and euro", "Привет €", 2, {16}},
      {"70 UCS2 units in one SMS", zhe71.substr(2), 2, {140}},
      {"71 UCS2 units in two", zhe71, 2, {6 + 134, 6 + 8}},
      {"surrogate pair not split", zhe71.substr(0, 66 * 2) + "😀xyz", 2, {6 + 132, 6 + 10}},
      {"35 emoji in one SMS", emoji36.substr(4), 2, {140}},
      {"36 emoji in two", emoji36, 2, {6 + 132, 6 + 12}},
  };
  for (const auto& testCase : cases) {
    try {
      const TEncodedParts encoded = encodeAndRead(codec, testCase.Text, 0x2A);
      EXPECT_EQ(encoded.DataLengths, testCase.DataLengths) << testCase.Name;
      EXPECT_EQ(encoded.Joined.Text, testCase.Text) << testCase.Name;
      EXPECT_TRUE(encoded.Joined.Complete) << testCase.Name;
      const int total = static_cast<int>(encoded.Parts.size());
      for (int i = 0; i < total; ++i) {
        const TSMSDecoded& part = encoded.Parts[static_cast<std::size_t>(i)];
        EXPECT_TRUE(part.Submit) << testCase.Name;
        EXPECT_EQ(part.Address, SC_DEST) << testCase.Name;
        EXPECT_EQ(part.Alphabet, testCase.Alphabet) << testCase.Name;
        const TSMSConcatInfo expected =
            total == 1 ? TSMSConcatInfo{} : TSMSConcatInfo{0x2A, false, total, i + 1};
        EXPECT_EQ(part.Concat, expected) << testCase.Name << " part " << i + 1;
      }
    } catch (const ESMSCodecError& error) {
      ADD_FAILURE() << testCase.Name << ": " << error.what();
    }
  }
  // A text of one 7-bit SMS comes out as the single-SMS encoder gives it.
  EXPECT_EQ(codec.EncodeSMSParts(SC_DEST, "Hallo a[b", 7),
            std::vector<std::string>{codec.EncodeSMS(SC_DEST, "Hallo a[b")});
}

TEST(SMSCodecTest, EncodesLongTextsAsAPhoneJoinsThem) {
  // Written field by field: SMS-SUBMIT with user data header ("41"), no message reference, the
  // destination, PID 00, the coding, the user-data length, the concatenation element
  // 05 00 03 <reference> <parts> <number>, then the text; in 7-bit the text starts after one
  // fill bit, at the eighth septet.
  const TSMSCODEC codec;
  const std::string text7 = "Lieber Kunde, Ihre Bestellung 4711 ist heute an unser Lager gegangen "
                            "und wird morgen zwischen 8 und 12 Uhr geliefert. Bitte halten Sie "
                            "bereit: 12345,67 € (bar oder Karte).";
  EXPECT_EQ(
      codec.EncodeSMSParts(SC_DEST, text7, 0x2A),
      (std::vector<std::string>{
          "0041000C9194711132547600009F0500032A020198E9B2B82C072DEB6E7299054AA2E56590B03CA797D9EC"
          "BAFB0CA2DD6231507A4E07A1CB757A19147683EAEE79590E6286CF6539E85C3E87DDE7B21B54779341F7"
          "B49C0C6ABFE5E7B21BA4BFA7E76374D90DC281EA6E3228260355D172D0B9CC4E97CD6539DD0512A6E9F4"
          "32081D66D3CB6ED0345D0689CBF2729AAE03C564335A8D65BB8100",
          // the euro sign (1B 65) did not fit after 152 septets: it opens the second part
          "0041000C9194711132547600001B0500032A02023665104A1C9683DEE4B21CB40CCBE9E5940B"}));

  const std::string text16 = "Привет! Ваш заказ 4711 отправлен сегодня и будет доставлен завтра 🚚 "
                             "Спасибо!";
  EXPECT_EQ(
      codec.EncodeSMSParts(SC_DEST, text16, 0xB7),
      (std::vector<std::string>{
          "0041000C9194711132547600088A050003B70201041F0440043804320435044200210020041204300448"
          "002004370430043A04300437002000340037003100310020043E0442043F044004300432043B0435043D"
          "0020044104350433043E0434043D044F0020043800200431044304340435044200200434043E04410442"
          "04300432043B0435043D00200437043004320442044004300020",
          // the truck D83D DE9A would end after the 67th unit: it opens the second part
          "0041000C9194711132547600081C050003B70202D83DDE9A00200421043F0430044104380431043E0021"}));

  EXPECT_EQ(codec.EncodeSMSParts("12345", "Привет €", 0),
            std::vector<std::string>{"00010005912143F500081004"
                                     "1F04400438043204350442002020AC"});
}

TEST(SMSCodecTest, RefusesTextsBeyondThePartLimit) {
  const TSMSCODEC codec;
  struct TLimitCase {
    const char* Name;
    std::string Text;
    int MaxParts;
    int Needed; // 0: the text is sent
    int Limit;
  };
  std::string zhe;
  for (int i = 0; i < 67 * 6 + 1; ++i) {
    zhe += "ж";
  }
  const std::vector<TLimitCase> cases = {
      {"six parts by default", std::string(6 * 153, 'a'), IC_DEFAULTMAXSMSPARTS, 0, 0},
      {"seven parts", std::string(6 * 153 + 1, 'a'), IC_DEFAULTMAXSMSPARTS, 7, 6},
      {"seven UCS2 parts", zhe, IC_DEFAULTMAXSMSPARTS, 7, 6},
      {"one SMS only", std::string(161, 'a'), 1, 2, 1},
      {"a limit below one is one", std::string(161, 'a'), 0, 2, 1},
      {"255 parts at most", std::string(255 * 153, 'a'), 1000, 0, 0},
      {"256 parts", std::string(255 * 153 + 1, 'a'), 1000, 256, 255},
  };
  for (const auto& testCase : cases) {
    try {
      const auto pdus = codec.EncodeSMSParts(SC_DEST, testCase.Text, 1, testCase.MaxParts);
      EXPECT_EQ(testCase.Needed, 0) << testCase.Name << ": " << pdus.size() << " parts";
    } catch (const ESMSTooManyParts& error) {
      EXPECT_EQ(error.partsNeeded(), testCase.Needed) << testCase.Name;
      EXPECT_EQ(error.maxParts(), testCase.Limit) << testCase.Name;
      EXPECT_EQ(std::string(error.what()), "the text needs " + std::to_string(testCase.Needed) +
                                               " SMS parts, more than the limit of " +
                                               std::to_string(testCase.Limit))
          << testCase.Name;
    }
  }
  EXPECT_THROW(codec.EncodeSMSParts("4917\r1", "x", 0), ESMSCodecError);
}

TEST(SMSCodecTest, DecodesHeadersAndConcatenationElements) {
  const TSMSCODEC codec;
  const std::string stamp = "2011.03.05 17:04:09";
  struct TFullCase {
    const char* Name;
    std::string PDU;
    TSMSDecoded Expected;
  };
  const std::vector<TFullCase> cases = {
      {"16-bit reference, no fill bits after seven header octets",
       "07919471060040F3440C919471113254760000113050714090801206080412340302C8309BFD065DCB6C3A",
       {false, SC_DEST, "Hallo Welt", 0, stamp, "06080412340302", {0x1234, true, 3, 2}}},
      {"port element before the 8-bit reference, two fill bits",
       "00440C91947111325476000011305071409080130B05040B8423F000032A020220C36CF61B",
       {false, SC_DEST, "Hallo", 0, stamp, "0B05040B8423F000032A0202", {0x2A, false, 2, 2}}},
      {"empty header",
       "00440C9194711132547600001130507140908007000032CC66BF01",
       {false, SC_DEST, "Hallo", 0, stamp, "00", {}}},
      {"UCS2 part",
       deliver("44", "08", "0A", "050003FF030300480069"),
       {false, SC_DEST, "Hi", 2, stamp, "050003FF0303", {0xFF, false, 3, 3}}},
      {"8-bit part without its header",
       deliver("44", "04", "08", "0500032A0201CAFE"),
       {false, SC_DEST, "CAFE", 1, stamp, "0500032A0201", {0x2A, false, 2, 1}}},
      {"UCS2 surrogate pair",
       deliver("04", "08", "04", "D83DDE00"),
       {false, SC_DEST, "😀", 2, stamp, "", {}}},
      {"part number 0 is no part",
       deliver("44", "08", "0A", "0500032A020000480069"),
       {false, SC_DEST, "Hi", 2, stamp, "0500032A0200", {}}},
      {"part number beyond the count",
       deliver("44", "08", "0A", "0500032A020300480069"),
       {false, SC_DEST, "Hi", 2, stamp, "0500032A0203", {}}},
      {"the last of two elements counts",
       deliver("44", "08", "0E", "0B0003010201080400070301") + "0048",
       {false, SC_DEST, "H", 2, stamp, "0B0003010201080400070301", {7, true, 3, 1}}},
      {"element longer than the header",
       deliver("44", "08", "08", "0300030100480069"),
       {false, SC_DEST, "Hi", 2, stamp, "03000301", {}}},
      {"header beyond the data",
       deliver("44", "04", "02", "0900"),
       {false, SC_DEST, "", 1, stamp, "0900", {}}},
      {"message waiting group, 7-bit",
       deliver("04", "C8", "05", "C8309BFD06"),
       {false, SC_DEST, "Hallo", 0, stamp, "", {}}},
      {"message waiting group, UCS2",
       deliver("04", "E0", "02", "0048"),
       {false, SC_DEST, "H", 2, stamp, "", {}}},
      {"data coding group, 8-bit",
       deliver("04", "F5", "02", "0102"),
       {false, SC_DEST, "0102", 1, stamp, "", {}}},
      {"submit with relative validity period",
       "0011000C919471113254760000AA05C8309BFD06",
       {true, SC_DEST, "Hallo", 0, "", "", {}}},
      {"submit with absolute validity period",
       "0019000C919471113254760000" + SC_STAMP + "05C8309BFD06",
       {true, SC_DEST, "Hallo", 0, "", "", {}}},
  };
  for (const auto& testCase : cases) {
    try {
      const TSMSDecoded decoded = codec.DecodeSMSFull(testCase.PDU);
      const TSMSDecoded& expected = testCase.Expected;
      EXPECT_EQ(decoded.Submit, expected.Submit) << testCase.Name;
      EXPECT_EQ(decoded.Address, expected.Address) << testCase.Name;
      EXPECT_EQ(decoded.Message, expected.Message) << testCase.Name;
      EXPECT_EQ(decoded.Alphabet, expected.Alphabet) << testCase.Name;
      EXPECT_EQ(decoded.TimeStamp, expected.TimeStamp) << testCase.Name;
      EXPECT_EQ(decoded.Header, expected.Header) << testCase.Name;
      EXPECT_EQ(decoded.Concat, expected.Concat) << testCase.Name;
    } catch (const ESMSCodecError& error) {
      ADD_FAILURE() << testCase.Name << ": " << error.what();
    }
  }
  // The four-entry decoder keeps the header digits of 8-bit data.
  EXPECT_EQ(codec.DecodeSMS(deliver("44", "04", "08", "0500032A0201CAFE"))[1], "0500032A0201CAFE");
  for (const std::string& pdu :
       {std::string("0011000C91947111325476"), std::string("0019000C919471113254760000113050"),
        deliver("44", "00", "00", "")}) {
    EXPECT_THROW(codec.DecodeSMSFull(pdu), ESMSCodecError) << pdu;
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
