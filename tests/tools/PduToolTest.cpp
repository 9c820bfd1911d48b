// parlino-pdu run as a program: what it prints on stdout and stderr and its exit status.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::buildPath;

struct TRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

TRun runTool(const std::vector<std::string>& aArguments) {
  const testsupport::TTempDir dir;
  // The shell keeps stderr apart from stdout, which the child's output file receives.
  std::vector<std::string> arguments = {"-c", "exec \"$@\" 2>'" + dir.file("err") + "'", "sh",
                                        buildPath("tools/pdu/parlino-pdu")};
  arguments.insert(arguments.end(), aArguments.begin(), aArguments.end());
  TRun run;
  {
    testsupport::TChildProcess child("/bin/sh", arguments, {}, dir.file("out"));
    run.ExitCode = child.wait();
  }
  run.Out = testsupport::readFile(dir.file("out"));
  run.Err = testsupport::readFile(dir.file("err"));
  return run;
}

struct TToolCase {
  const char* Name;
  std::vector<std::string> Arguments;
  std::string Out;
};

std::string repeated(const std::string& aText, int aCount) {
  std::string out;
  for (int i = 0; i < aCount; ++i) {
    out += aText;
  }
  return out;
}

std::string deliverJson(const std::string& aMessage, const std::string& aAlphabet,
                        const std::string& aHeader = "", const std::string& aConcat = "null",
                        const std::string& aOriginator = "491711234567") {
  return "{\"type\":\"deliver\",\"originator\":\"" + aOriginator + "\",\"message\":\"" + aMessage +
         "\",\"alphabet\":\"" + aAlphabet +
         "\",\"timestamp\":\"2011.03.05 17:04:09\",\"header\":\"" + aHeader +
         "\",\"concat\":" + aConcat + "}\n";
}

TEST(PduToolTest, PrintsDecodedEntriesAsJsonAndEncodedPdus) {
  const std::vector<TToolCase> cases = {
      {"modem listing",
       {"decode", "00040C9194711132547600001130507140908005C8309BFD06"},
       deliverJson("Hallo", "0")},
      {"escaped characters, pasted with a line end",
       {"decode", "00040DD0D432BBBC7EB71B00001130507140908009"
                  "61d1e6d5506c8205\r\n"},
       deliverJson("a\\\"\\\\\\r\\n\\u0000\xC3\xA9", "0", "", "null", "Telekom")},
      {"UCS2 beyond Latin-1",
       {"decode", "00040C919471113254760008113050714090800804360416D83DDE00"},
       deliverJson("\xD0\xB6\xD0\x96\xF0\x9F\x98\x80", "2")},
      {"8-bit data",
       {"decode", "00040C91947111325476000411305071409080020102"},
       deliverJson("0102", "1")},
      {"a part with a 16-bit reference",
       {"decode", "07919471060040F3440C919471113254760000113050714090801206080412340302C8309BFD06"
                  "5DCB6C3A"},
       deliverJson("Hallo Welt", "0", "06080412340302",
                   "{\"reference\":4660,\"referenceBits\":16,\"total\":3,\"number\":2}")},
      {"a submit unit",
       {"decode", "0041000C9194711132547600081C050003B70202D83DDE9A00200421043F0430044104380431043E"
                  "0021"},
       "{\"type\":\"submit\",\"destination\":\"491711234567\",\"message\":\"\xF0\x9F\x9A\x9A "
       "Спасибо!\",\"alphabet\":\"2\",\"header\":\"050003B70202\",\"concat\":{\"reference\":183,"
       "\"referenceBits\":8,\"total\":2,\"number\":2}}\n"},
      {"text",
       {"encode", "text", "491711234567", "Hallo"},
       "0001000C91947111325476000005C8309BFD06\n"},
      {"euro sign", {"encode", "text", "12345", "\xE2\x82\xAC"}, "00010005912143F50000029B32\n"},
      {"cyrillic",
       {"encode", "text", "12345", "Привет €"},
       "00010005912143F5000810041F04400438043204350442002020AC\n"},
      {"a long text, one PDU per line",
       {"encode", "text", "--reference", "7", "--max-parts", "2", "12345", std::string(161, 'a')},
       // 153 septets "a" after the header and one fill bit: "a" << 1, then seven octets
       // that repeat every eight septets
       "00410005912143F50000A0"
       "050003070201"
       "C2" +
           repeated("E170381C0E87C3", 19) + "\n" +
           "00410005912143F500000F050003070202C2E170381C0E8701\n"},
      {"binary",
       {"encode", "binary", "491711234567", "0102"},
       "0001000C919471113254760004020102\n"},
      {"push", {"encode", "push", "491711234567", "0102"}, "0081000C9194711132547600F5020102\n"},
      {"parts joined out of order, and what is left of a message without its first part",
       {"join", "00440C919471113254760008113050714090800A0500030C020200690021",
        "00440C919471113254760008113050714090800A0500030D020200780079",
        // a second copy of part 2, which the first one wins over
        "00440C919471113254760008113050714090800C0500030C0202004800690021",
        "00440C919471113254760008113050714090800A0500030C02010048FF01"},
       "{\"originator\":\"491711234567\",\"message\":\"H\xEF\xBC\x81i!\",\"alphabet\":\"2\","
       "\"complete\":true,\"total\":2,\"parts\":[1,2]}\n"
       "{\"originator\":\"491711234567\",\"message\":\"xy\",\"alphabet\":\"2\","
       "\"complete\":false,\"total\":2,\"parts\":[2]}\n"},
  };
  for (const auto& testCase : cases) {
    const TRun run = runTool(testCase.Arguments);
    EXPECT_EQ(run.ExitCode, 0) << testCase.Name;
    EXPECT_EQ(run.Out, testCase.Out) << testCase.Name;
    EXPECT_EQ(run.Err, "") << testCase.Name;
  }
}

TEST(PduToolTest, CodecErrorsGoToStderrWithStatusTwo) {
  const std::vector<TToolCase> cases = {
      {"second 90",
       {"decode", "00040C9194711132547600001130507104098005C8309BFD06"},
       "is not a date and time"},
      {"cut", {"decode", "00040C91947111"}, "ends before"},
      {"not hex", {"decode", "zz"}, "not a hex number"},
      {"too many parts",
       {"encode", "text", "4917", std::string(6 * 153 + 1, 'a')},
       "the text needs 7 SMS parts, more than the limit of 6"},
      {"push too long", {"encode", "push", "4917", std::string(282, 'A')}, "141 octets"},
  };
  for (const auto& testCase : cases) {
    const TRun run = runTool(testCase.Arguments);
    EXPECT_EQ(run.ExitCode, 2) << testCase.Name;
    EXPECT_EQ(run.Out, "") << testCase.Name;
    EXPECT_NE(run.Err.find(testCase.Out), std::string::npos) << testCase.Name << ": " << run.Err;
  }
}

TEST(PduToolTest, AWrongCallShowsTheUsage) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{},
                                             {"decode"},
                                             {"join"},
                                             {"encode", "fax", "1", "2"},
                                             {"encode", "text", "--reference", "256", "1", "2"},
                                             {"encode", "text", "--max-parts", "0", "1", "2"},
                                             {"encode", "binary", "--reference", "1", "1", "2"}}) {
    const TRun run = runTool(arguments);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("usage: parlino-pdu"), std::string::npos);
  }
}

} // namespace
