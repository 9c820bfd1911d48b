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

TEST(PduToolTest, PrintsDecodedEntriesAsJsonAndEncodedPdus) {
  const std::vector<TToolCase> cases = {
      {"modem listing",
       {"decode", "00040C9194711132547600001130507140908005C8309BFD06"},
       "{\"originator\": \"491711234567\", \"message\": \"Hallo\", \"alphabet\": \"0\", "
       "\"timestamp\": \"2011.03.05 17:04:09\"}\n"},
      {"escaped characters, pasted with a line end",
       {"decode", "00040DD0D432BBBC7EB71B00001130507140908009"
                  "61d1e6d5506c8205\r\n"},
       "{\"originator\": \"Telekom\", \"message\": \"a\\\"\\\\\\r\\n\\u0000\xC3\xA9\", "
       "\"alphabet\": \"0\", \"timestamp\": \"2011.03.05 17:04:09\"}\n"},
      {"UCS2 beyond Latin-1",
       {"decode", "00040C919471113254760008113050714090800804360416D83DDE00"},
       "{\"originator\": \"491711234567\", \"message\": \"\xD0\xB6\xD0\x96\xF0\x9F\x98\x80\", "
       "\"alphabet\": \"2\", \"timestamp\": \"2011.03.05 17:04:09\"}\n"},
      {"8-bit data",
       {"decode", "00040C91947111325476000411305071409080020102"},
       "{\"originator\": \"491711234567\", \"message\": \"0102\", \"alphabet\": \"1\", "
       "\"timestamp\": \"2011.03.05 17:04:09\"}\n"},
      {"text",
       {"encode", "text", "491711234567", "Hallo"},
       "0001000C91947111325476000005C8309BFD06\n"},
      {"euro sign", {"encode", "text", "12345", "\xE2\x82\xAC"}, "00010005912143F50000029B32\n"},
      {"binary",
       {"encode", "binary", "491711234567", "0102"},
       "0001000C919471113254760004020102\n"},
      {"push", {"encode", "push", "491711234567", "0102"}, "0081000C9194711132547600F5020102\n"},
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
      {"too long", {"encode", "text", "4917", std::string(161, 'a')}, "161 septets"},
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
       std::vector<std::vector<std::string>>{{}, {"decode"}, {"encode", "fax", "1", "2"}}) {
    const TRun run = runTool(arguments);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("usage: parlino-pdu"), std::string::npos);
  }
}

} // namespace
