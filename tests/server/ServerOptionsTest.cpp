#include "server/ServerOptions.h"

#include "common/TextEncoding.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testsupport::readFile;
using testsupport::TTempDir;
using testsupport::writeFile;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]\r\n";

TServerOptions readFrom(const std::string& aContent) {
  TTempDir dir;
  writeFile(dir.file("parlino.reg"), aContent);
  TServerOptions options;
  readServerOptions(dir.file("parlino.reg"), options);
  return options;
}

TEST(ServerOptionsTest, MissingFileGivesTheDefaultsAndCreatesTheKey) {
  TTempDir dir;
  const std::string path = dir.file("etc/parlino.reg");
  TServerOptions options;
  readServerOptions(path, options);
  EXPECT_EQ(options.DatabaseHost, "localhost");
  EXPECT_EQ(options.DatabasePort, 3050);
  EXPECT_EQ(options.DatabaseName, "");
  EXPECT_EQ(options.DatabaseUsername, "sysdba");
  EXPECT_EQ(options.DatabasePassword, "pondlight");
  EXPECT_EQ(options.DatabaseEncoding, "UTF8") << "the only one that carries every character";
  EXPECT_EQ(options.HTTPPort, 8989);
  EXPECT_EQ(options.LogLevel, KVLL_INFO);
  EXPECT_EQ(options.LogPath, "./log/");
  EXPECT_EQ(options.LogServerLevel, KVLL_ERROR);
  EXPECT_EQ(options.WebAppExecCmd, "EXEC");
  EXPECT_EQ(options.SerialDeviceDir, "/dev/parlino");
  EXPECT_EQ(options.MaxSMSParts, 6);
  EXPECT_EQ(options.ConcatTimeoutMinutes, 60);
  EXPECT_NE(readFile(path).find("[HKEY_LOCAL_MACHINE\\Software\\brevant\\Parlino\\Options]"),
            std::string::npos);
}

TEST(ServerOptionsTest, ReadsTextsNumbersAndLevels) {
  const TServerOptions options =
      readFrom(kHeader + "\"Database\"=\"/var/lib/parlino/sms.fdb\"\r\n"
                         "\"databasehost\"=\"\"\r\n" // names compare without regard to case
                         "\"HTTPPort\"=\" 9090 \"\r\n"
                         "\"LogLevel\"=\"Warning\"\r\n"
                         "\"LogToServer\"=\"-3\"\r\n"
                         "\"LogServerPort\"=\"many\"\r\n"
                         "\"LogPath\"=\"C:\\\\logs\\\\\"\r\n"
                         "\"DatabasePassword\"=\"say \\\"hi\\\"\"\r\n"
                         "\"SerialDeviceDir\"=\"/tmp/modems\"\r\n");
  EXPECT_EQ(options.DatabaseName, "/var/lib/parlino/sms.fdb");
  EXPECT_EQ(options.DatabaseHost, "");
  EXPECT_EQ(options.HTTPPort, 9090);
  EXPECT_EQ(options.LogLevel, KVLL_WARN);
  EXPECT_TRUE(options.LogToServer);
  EXPECT_EQ(options.LogServerPort, 0) << "a number that does not parse gives the default";
  EXPECT_EQ(options.LogPath, "C:\\logs\\");
  EXPECT_EQ(options.DatabasePassword, "say \"hi\"");
  EXPECT_EQ(options.SerialDeviceDir, "/tmp/modems");
}

TEST(ServerOptionsTest, LongSMSLimitsStayInTheirRange) {
  struct TCase {
    const char* Parts;
    const char* Timeout;
    int MaxSMSParts;
    int ConcatTimeoutMinutes;
  };
  const TCase cases[] = {{"3", "5", 3, 5},
                         {"0", "0", 6, 60},
                         {"255", "-1", IC_MAXSMSPARTSOPTION, 60},
                         {"1", "1440", 1, 1440}};
  for (const TCase& c : cases) {
    const TServerOptions options =
        readFrom(kHeader + "\"MaxSMSParts\"=\"" + c.Parts + "\"\r\n\"ConcatTimeoutMinutes\"=\"" +
                 c.Timeout + "\"\r\n");
    EXPECT_EQ(options.MaxSMSParts, c.MaxSMSParts) << c.Parts;
    EXPECT_EQ(options.ConcatTimeoutMinutes, c.ConcatTimeoutMinutes) << c.Timeout;
  }
}

TEST(ServerOptionsTest, AValueOfAnotherTypeEndsTheReading) {
  const TServerOptions options = readFrom(kHeader + "\"Database\"=\"sms.fdb\"\r\n"
                                                    "\"DatabasePort\"=dword:00000bea\r\n"
                                                    "\"HTTPPort\"=\"9090\"\r\n");
  EXPECT_EQ(options.DatabaseName, "sms.fdb");
  EXPECT_EQ(options.DatabaseHost, "localhost");
  EXPECT_EQ(options.DatabasePort, 0);
  EXPECT_EQ(options.DatabaseUsername, "");
  EXPECT_EQ(options.DatabasePassword, "");
  EXPECT_EQ(options.HTTPPort, 8080);
  EXPECT_EQ(options.LogLevel, KVLL_TRACE);

  for (const char* typed : {"hex:01,02,\\\r\n  03,04", "hex(2):41,00", "1234", "\"unclosed"}) {
    const TServerOptions other = readFrom(kHeader + "\"HTTPPort\"=" + typed + "\r\n");
    EXPECT_EQ(other.HTTPPort, 8080) << typed;
    EXPECT_EQ(other.LogLevel, KVLL_TRACE) << typed;
  }
}

TEST(ServerOptionsTest, TheLogServerLevelIsGuardedOnItsOwn) {
  const TServerOptions options =
      readFrom(kHeader + "\"LogServerLevel\"=hex:00\r\n\"WebAppExecCmd\"=\"RUN\"\r\n");
  EXPECT_EQ(options.LogServerLevel, KVLL_ERROR);
  EXPECT_EQ(options.WebAppExecCmd, "RUN") << "reading goes on after it";
  EXPECT_EQ(readFrom(kHeader + "\"LogServerLevel\"=\"chatty\"\r\n").LogServerLevel, KVLL_FATAL);
}

TEST(ServerOptionsTest, OtherKeysAndAMissingOptionsKeyGiveDefaults) {
  const TServerOptions options =
      readFrom("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\other]\r\n\"HTTPPort\"=\"1\"\r\n"
               "[hkey_local_machine\\software\\BREVANT\\parlino\\options]\r\n"
               "; a comment\r\n\"LogLevel\"=\"debug\"\r\n");
  EXPECT_EQ(options.HTTPPort, 8989);
  EXPECT_EQ(options.LogLevel, KVLL_DEBUG);
  EXPECT_EQ(readFrom("garbage\n\x01\x02[\n").HTTPPort, 8989);
}

TEST(ServerOptionsTest, ReadsTheUtf16FilesTheRegistryEditorWrites) {
  const std::u16string text = utf8ToUtf16(kHeader + "\"LogPath\"=\"/var/log/p\xC3\xA4rlino/\"\r\n");
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  EXPECT_EQ(readFrom(bytes).LogPath, "/var/log/p\xC3\xA4rlino/");
}

TEST(ServerOptionsTest, AFileThatCannotBeReadLeavesEveryValueAsItWas) {
  TTempDir dir; // a folder in place of the file cannot be read
  TServerOptions options;
  options.HTTPPort = 1234;
  readServerOptions(dir.path(), options);
  EXPECT_EQ(options.HTTPPort, 1234);
  EXPECT_EQ(options.DatabaseHost, "");
}

} // namespace
