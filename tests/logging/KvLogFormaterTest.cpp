#include "logging/KvLogFormater.h"

#include "platform/ProcessInfo.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace kvlogging;

const TDateTime kWhen = TDateTime::encode(2011, 3, 5, 16, 4, 9, 250);

TKvLoggerMessage sample(const std::string& aModule = "servercontroller",
                        const std::string& aText = "options loaded") {
  TKvLoggerMessage message("Parlino", "4711", "svcuser", KVLL_INFO, aModule, aText, "options", "",
                           "3120", nullptr);
  message.setLogTimestamp(kWhen);
  return message;
}

// A text literal with the NUL bytes inside it.
template <std::size_t N>
std::string withNul(const char (&aText)[N]) {
  return std::string(aText, N - 1);
}

void expectSameMessage(const TKvLoggerMessage& aActual, const TKvLoggerMessage& aExpected) {
  EXPECT_EQ(aActual.getApplicationId(), aExpected.getApplicationId());
  EXPECT_EQ(aActual.getLogTimestamp(), aExpected.getLogTimestamp());
  EXPECT_EQ(aActual.getLogLevel(), aExpected.getLogLevel());
  EXPECT_EQ(aActual.getLogModule(), aExpected.getLogModule());
  EXPECT_EQ(aActual.getLogMessage(), aExpected.getLogMessage());
  EXPECT_EQ(aActual.getInstanceId(), aExpected.getInstanceId());
  EXPECT_EQ(aActual.getLogUser(), aExpected.getLogUser());
  EXPECT_EQ(aActual.getLogCategory(), aExpected.getLogCategory());
  EXPECT_EQ(aActual.getLanguage(), aExpected.getLanguage());
  EXPECT_EQ(aActual.getThreadId(), aExpected.getThreadId());
}

TEST(KvLogFormaterTest, Base64WorksOnUtf8Bytes) {
  EXPECT_EQ(encodeBase64("Gr\xC3\xBC\xC3\x9F"
                         "e"),
            "R3LDvMOfZQ==");
  EXPECT_EQ(decodeBase64("R3LDvMOfZQ=="), "Gr\xC3\xBC\xC3\x9F"
                                          "e");
  EXPECT_EQ(encodeBase64(""), "");
  EXPECT_EQ(decodeBase64(""), "");
}

TEST(KvLogFormaterTest, ConvertsBytesToHexAndBack) {
  EXPECT_EQ(convertBytesToString({0x0A, 0xFF, 0x00}), "0AFF00");
  EXPECT_EQ(convertBytesToString({}), "");
  EXPECT_EQ(convertStringToBytes("0aFf"), (std::vector<std::uint8_t>{0x0A, 0xFF}));
  EXPECT_EQ(convertStringToBytes("0AZZ10"), (std::vector<std::uint8_t>{0x0A, 0x00, 0x00}));
  EXPECT_EQ(convertStringToBytes("+1"), (std::vector<std::uint8_t>{0x00}));
  try {
    convertStringToBytes("0a1");
    FAIL() << "odd length accepted";
  } catch (const EKvLoggingConvertError& e) {
    EXPECT_STREQ(e.what(), "the string to convert is of wrong length, should be even.");
  }
}

TEST(KvLogFormaterTest, DefaultFormatWritesTheNineFields) {
  TKvLogFormaterDefault formater;
  EXPECT_EQ(formater.formatMessage(sample()),
            "Parlino|2011.03.05 16:04:09.250|info.servercontroller|options loaded|4711|svcuser|"
            "options||3120");
  EXPECT_EQ(formater.formatMessage(sample("", "a|b|c")),
            "Parlino|2011.03.05 16:04:09.250|info|a-b-c|4711|svcuser|options||3120");
}

TEST(KvLogFormaterTest, DefaultFormatKeepsDottedAndEmptyModules) {
  TKvLogFormaterDefault formater;
  TKvLoggerMessage message = sample("db.checkaccount");
  message.setLogLevel(KVLL_WARN);
  const std::string line = formater.formatMessage(message);
  EXPECT_EQ(splitFields(line, '|')[2], "warn.db.checkaccount");
  auto parsed = formater.parseMessage(line);
  ASSERT_TRUE(parsed);
  expectSameMessage(*parsed, message);

  const TKvLoggerMessage noModule = sample("");
  auto parsedNoModule = formater.parseMessage(formater.formatMessage(noModule));
  ASSERT_TRUE(parsedNoModule);
  expectSameMessage(*parsedNoModule, noModule);
}

TEST(KvLogFormaterTest, ControlCharactersAreEscapedAndReadBackExactly) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Escaped;
  };
  const TCase cases[] = {
      {"plain",
       "anna Gr\xC3\xBC\xC3\x9F"
       "e ~ #",
       "anna Gr\xC3\xBC\xC3\x9F"
       "e ~ #"},
      {"CR LF", "a\r\nlog:b", "a~#13~~#10~log:b"},
      {"ESC and NUL", withNul("x\x1B[31my\0z"), "x~#27~[31my~#0~z"},
      {"tab and DEL", "a\tb\x7F", "a~#9~b~#127~"},
      {"C1 next line", "a\xC2\x85z\xC2\xA0", "a~#133~z\xC2\xA0"},
      {"line separators", "a\xE2\x80\xA8z\xE2\x80\xA9", "a~#8232~z~#8233~"},
      {"a marker in the text", "~#10~ and ~#x~ and ~~", "~#126~#10~ and ~#126~#x~ and ~~"},
      {"a cut marker before an escaped character", "~#13\x1C", "~#126~#13~#28~"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(escapeControlCharacters(c.Text), c.Escaped) << c.Name;
    EXPECT_EQ(unescapeControlCharacters(c.Escaped), c.Text) << c.Name;
  }
  // The stack-trace convention of older lines reads the same.
  EXPECT_EQ(unescapeControlCharacters("s1~#13~~#10~s2 ~#65~"), "s1\r\ns2 ~#65~");
}

TEST(KvLogFormaterTest, EveryPlainLineIsOneLineAndReadsBackTheTexts) {
  const std::string nasty = withNul("evil\r\nParlino|2011.03.05|fatal|forged\x1B[2J\0!");
  TKvLoggerMessage message(nasty, nasty, nasty, KVLL_WARN, "db.check\n", nasty, nasty, nasty, nasty,
                           nullptr);
  message.setLogTimestamp(kWhen);
  message.setLogExceptionClassName(nasty);
  message.setStackTrace(nasty);
  const auto expectOneLine = [](const std::string& aLine, std::size_t aFields) {
    EXPECT_EQ(aLine.find_first_of(withNul("\r\n\x1B\0")), std::string::npos) << aLine;
    EXPECT_EQ(splitFields(aLine, '|').size(), aFields) << aLine;
  };
  const std::string piped = withNul("evil\r\nParlino-2011.03.05-fatal-forged\x1B[2J\0!");

  TKvLogFormaterDefault file;
  const std::string line = file.formatMessage(message);
  expectOneLine(line, 9);
  EXPECT_EQ(splitFields(line, '|')[3],
            "evil~#13~~#10~Parlino-2011.03.05-fatal-forged~#27~[2J~#0~!");
  auto read = file.parseMessage(line);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->getLogMessage(), piped);
  EXPECT_EQ(read->getLogModule(), "db.check\n");
  EXPECT_EQ(read->getThreadId(), piped);
  expectOneLine(file.formatMessageBase64(message), 9);

  TKvLogFormaterTCP tcp;
  tcp.setMachineIdent(nasty);
  const std::string tcpLine = tcp.formatMessage(message);
  expectOneLine(tcpLine, 13);
  std::string machine;
  auto received = tcp.parseMessageMachine(tcpLine, machine);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->getLogMessage(), piped);
  EXPECT_EQ(received->getLanguage(), piped);
  EXPECT_EQ(received->getStackTrace(), piped);
  EXPECT_EQ(received->getLogExceptionClassName(), piped);
  EXPECT_EQ(machine, piped);
  expectOneLine(tcp.formatMessageBase64(message), 13);
}

TEST(KvLogFormaterTest, DefaultBase64RoundTripsEveryTextField) {
  TKvLogFormaterDefault formater;
  TKvLoggerMessage message("App|1", "in|st", "us\xC3\xA9r", KVLL_DEBUG, "db.check|x",
                           "line1\r\nline2 | \xE2\x82\xAC", "cat|egory", "de", "99", nullptr);
  message.setLogTimestamp(kWhen);
  const std::string line = formater.formatMessageBase64(message);
  EXPECT_EQ(splitFields(line, '|').size(), 9u);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  auto parsed = formater.parseMessageBase64(line);
  ASSERT_TRUE(parsed);
  expectSameMessage(*parsed, message);
  EXPECT_EQ(splitFields(line, '|')[2], "debug." + encodeBase64("db.check|x"));
}

TEST(KvLogFormaterTest, ErrorWithExceptionIsWrittenAsExceptionInEveryFormat) {
  const std::runtime_error problem("x");
  TKvLoggerMessage message("app", "1", "u", KVLL_ERROR, "m", "t", "none", "", "5", &problem);
  TKvLogFormaterDefault plain;
  TKvLogFormaterTCP tcp;
  EXPECT_EQ(splitFields(plain.formatMessage(message), '|')[2], "exception.m");
  EXPECT_EQ(splitFields(plain.formatMessageBase64(message), '|')[2],
            "exception." + encodeBase64("m"));
  EXPECT_EQ(splitFields(tcp.formatMessage(message), '|')[2], "exception");
  EXPECT_EQ(splitFields(tcp.formatMessageBase64(message), '|')[2], "exception");
  EXPECT_EQ(splitFields(tcp.formatMessage(message), '|')[7], "std::runtime_error");
  auto parsed = tcp.parseMessage(tcp.formatMessage(message));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->getLogLevel(), KVLL_ERROR);
  EXPECT_EQ(parsed->getLogExceptionClassName(), "std::runtime_error");
  EXPECT_EQ(parsed->getLogException(), nullptr);
}

TEST(KvLogFormaterTest, MidnightIsWrittenAsTheDateAloneAndReadBack) {
  TKvLogFormaterDefault formater;
  TKvLoggerMessage message = sample();
  message.setLogTimestamp(TDateTime::encodeDate(2011, 3, 5));
  const std::string line = formater.formatMessage(message);
  EXPECT_EQ(splitFields(line, '|')[1], "2011.03.05");
  auto parsed = formater.parseMessage(line);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->getLogTimestamp(), TDateTime::encodeDate(2011, 3, 5));
}

TEST(KvLogFormaterTest, ReadsTimestampTexts) {
  const TKvLogFormaterDefault formater;
  const std::vector<std::pair<std::string, TDateTime>> good = {
      {"2011.03.05 16:04:09.250", kWhen},
      {"2011.03.05 16:04:09.5", TDateTime::encode(2011, 3, 5, 16, 4, 9, 5)},
      {"2011.03.05 16:04:09.x", TDateTime::encode(2011, 3, 5, 16, 4, 9)},
      {"2011.03.05 16:04:09", TDateTime::encode(2011, 3, 5, 16, 4, 9)},
      {"2011.03.05 16:04", TDateTime::encode(2011, 3, 5, 16, 4, 0)},
      {"2011.03.05", TDateTime::encodeDate(2011, 3, 5)},
      {"2011.12.31 23:59:59.999", TDateTime::encode(2011, 12, 31, 23, 59, 59, 999)}};
  for (const auto& [text, value] : good) {
    auto parsed = formater.parseMessage("a|" + text + "|info|m");
    ASSERT_TRUE(parsed) << text;
    EXPECT_EQ(parsed->getLogTimestamp(), value) << text;
  }
  for (const std::string text :
       {"not a date", "", "2011.13.05", "2011.02.30 10:00", "2011-03-05", "2011.03.05 25:00"}) {
    EXPECT_FALSE(formater.parseMessage("a|" + text + "|info|m")) << text;
  }
}

TEST(KvLogFormaterTest, DefaultParseRefusesMalformedLines) {
  TKvLogFormaterDefault formater;
  EXPECT_FALSE(formater.parseMessage(""));
  EXPECT_FALSE(formater.parseMessage("a|b|c"));
  EXPECT_FALSE(formater.parseMessage("a|not a date|info|text"));
  EXPECT_FALSE(formater.parseMessage("a|2011.03.05||text"));
  EXPECT_FALSE(formater.parseMessageBase64("a|b|c"));
  // Four fields suffice; the rest stays empty and the thread is the parsing one.
  auto parsed = formater.parseMessage("a|2011.03.05|warn|text|");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->getLogLevel(), KVLL_WARN);
  EXPECT_EQ(parsed->getLogMessage(), "text");
  EXPECT_EQ(parsed->getInstanceId(), "");
  EXPECT_EQ(parsed->getThreadId(), std::to_string(platform::threadId()));
}

TEST(KvLogFormaterTest, SplitsFieldsWithoutATrailingEmptyField) {
  EXPECT_EQ(splitFields("", '|').size(), 0u);
  EXPECT_EQ(splitFields("a|", '|'), (std::vector<std::string>{"a"}));
  EXPECT_EQ(splitFields("a||b", '|'), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(splitFields("|a||", '|'), (std::vector<std::string>{"", "a", ""}));
}

// The category and the machine ident are piped like every other text field, so that a "|" in
// them cannot shift the fields after them.
TEST(KvLogFormaterTest, TcpFormatWritesThirteenFieldsWithTheMachineIdent) {
  TKvLogFormaterTCP formater;
  formater.setMachineIdent("host|1");
  TKvLoggerMessage message = sample("db|x", "t|u");
  message.setLanguage("de|");
  message.setLogCategory("c|d");
  message.setStackTrace("line1\r\nline2|");
  EXPECT_EQ(formater.formatMessage(message),
            "Parlino|2011.03.05 16:04:09.250|info|db-x|t-u|c-d|de-||line1~#13~~#10~line2-|4711|"
            "svcuser|3120|host-1");
}

TEST(KvLogFormaterTest, TcpFormatRoundTripsTheStackTraceAndMachine) {
  TKvLogFormaterTCP formater;
  formater.setMachineIdent("host1");
  TKvLoggerMessage message = sample();
  message.setLanguage("de");
  message.setLogExceptionClassName("EDatabaseError");
  message.setStackTrace("line1\r\nline2");
  const std::string line = formater.formatMessage(message);
  EXPECT_EQ(splitFields(line, '|')[8], "line1~#13~~#10~line2");
  std::string machine = "old";
  auto parsed = formater.parseMessageMachine(line, machine);
  ASSERT_TRUE(parsed);
  expectSameMessage(*parsed, message);
  EXPECT_EQ(parsed->getStackTrace(), "line1\r\nline2");
  EXPECT_EQ(parsed->getLogExceptionClassName(), "EDatabaseError");
  EXPECT_EQ(machine, "host1");
}

TEST(KvLogFormaterTest, TcpBase64RoundTripsAndKeepsTheStackMarkers) {
  TKvLogFormaterTCP formater;
  formater.setMachineIdent("h\xC3\xB6st|");
  TKvLoggerMessage message("A|p", "1", "\xC3\xBC", KVLL_FATAL, "m|n", "x\r\ny", "c|", "de", "9",
                           nullptr);
  message.setLogTimestamp(kWhen);
  message.setLogExceptionClassName("E|x");
  message.setStackTrace("s1\ns2");
  const std::string line = formater.formatMessageBase64(message);
  EXPECT_EQ(splitFields(line, '|').size(), 13u);
  std::string machine;
  auto parsed = formater.parseMessageMachineBase64(line, machine);
  ASSERT_TRUE(parsed);
  expectSameMessage(*parsed, message);
  EXPECT_EQ(parsed->getLogExceptionClassName(), "E|x");
  EXPECT_EQ(parsed->getStackTrace(), "s1~#10~s2");
  EXPECT_EQ(machine, "h\xC3\xB6st|");
}

TEST(KvLogFormaterTest, TcpParseOfNineFieldsLeavesTheRestEmpty) {
  TKvLogFormaterTCP formater;
  EXPECT_FALSE(formater.parseMessage(""));
  EXPECT_FALSE(formater.parseMessage("a|2011.03.05|info|m|t|c|l|e"));
  EXPECT_FALSE(formater.parseMessage("a|2011.99.05|info|m|t|c|l|e|s"));
  std::string machine = "old";
  auto parsed = formater.parseMessageMachine("a|2011.03.05|warning|m|t|c|l|e|s", machine);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->getLogLevel(), KVLL_WARN);
  EXPECT_EQ(parsed->getInstanceId(), "");
  EXPECT_EQ(parsed->getLogUser(), "");
  EXPECT_EQ(parsed->getThreadId(), std::to_string(platform::threadId()));
  EXPECT_EQ(parsed->getLanguage(), "l");
  EXPECT_EQ(parsed->getStackTrace(), "s");
  EXPECT_EQ(machine, "");
}

TEST(KvLogFormaterTest, ExtraDataFollowsTheTcpLine) {
  TKvLogFormaterTCP formater;
  formater.setMachineIdent("m");
  const TKvLoggerMessage message = sample();
  const std::string line = formater.formatMessageExtra(message, -42, {0x01, 0xAB});
  EXPECT_EQ(line, formater.formatMessage(message) + "|-42|01AB");
  EXPECT_EQ(formater.formatMessageExtraBase64(message, 7, {}),
            formater.formatMessageBase64(message) + "|7|");

  std::string machine;
  std::int32_t id = 0;
  std::vector<std::uint8_t> extra;
  ASSERT_TRUE(formater.parseMessageMachineExtra(line, machine, id, extra));
  EXPECT_EQ(machine, "m");
  EXPECT_EQ(id, -42);
  EXPECT_EQ(extra, (std::vector<std::uint8_t>{0x01, 0xAB}));

  const std::string base64 = formater.formatMessageExtraBase64(message, 99999999999, {0xFF});
  ASSERT_TRUE(formater.parseMessageMachineExtraBase64(base64, machine, id, extra));
  EXPECT_EQ(id, 0) << "a number beyond 32 bits reads as 0";
  EXPECT_EQ(extra, (std::vector<std::uint8_t>{0xFF}));

  // Missing extra fields leave the outputs as they were.
  id = 5;
  extra = {0x07};
  ASSERT_TRUE(
      formater.parseMessageMachineExtra(formater.formatMessage(message), machine, id, extra));
  EXPECT_EQ(id, 5);
  EXPECT_EQ(extra, (std::vector<std::uint8_t>{0x07}));

  EXPECT_THROW(formater.parseMessageMachineExtra(formater.formatMessage(message) + "|1|ABC",
                                                 machine, id, extra),
               EKvLoggingConvertError);
}

} // namespace
