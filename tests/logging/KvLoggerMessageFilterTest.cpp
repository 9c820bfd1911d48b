#include "logging/KvLoggerMessageFilter.h"

#include "logging/KvLoggerClasses.h"
#include "logging/KvValueStream.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TKvLoggerMessage message(const std::string& aModule, const std::string& aText,
                         TKvLoggerLevel aLevel = KVLL_INFO, const std::string& aApp = "Parlino") {
  return TKvLoggerMessage(aApp, "1", "u", aLevel, aModule, aText, "none", "", nullptr);
}

std::string bytesOf(const TKvLoggerMessageFilter& aFilter) {
  std::ostringstream stream;
  aFilter.saveToStream(stream);
  return stream.str();
}

std::string hex(const std::string& aBytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (unsigned char c : aBytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
    text += ' ';
  }
  return text;
}

TKvLoggerLevelSet levels(std::initializer_list<TKvLoggerLevel> aLevels) {
  TKvLoggerLevelSet set;
  for (TKvLoggerLevel level : aLevels) {
    set.include(level);
  }
  return set;
}

TEST(KvLoggerMessageFilterTest, LevelSetStartsFullAndSetLevelAndAboveReplacesTheSet) {
  TKvLoggerMessageFilterLevelSet filter;
  EXPECT_EQ(filter.getLevelSet(), TKvLoggerMessageFilterLevelSet::kAllLevels);
  filter.setLevelSet(levels({KVLL_TRACE, KVLL_INFO}));
  filter.setLevelAndAbove(KVLL_ERROR);
  EXPECT_EQ(filter.getLevelSet(), levels({KVLL_ERROR, KVLL_FATAL}));
  EXPECT_FALSE(filter.match(message("m", "t", KVLL_WARN)));
  EXPECT_TRUE(filter.match(message("m", "t", KVLL_FATAL)));
  filter.setLevelAndAbove(KVLL_TRACE);
  EXPECT_EQ(filter.getLevelSet(), TKvLoggerMessageFilterLevelSet::kAllLevels);
  filter.unsetLevel(KVLL_DEBUG);
  EXPECT_FALSE(filter.isLevelInSet(KVLL_DEBUG));
  filter.setLevel(KVLL_DEBUG);
  EXPECT_TRUE(filter.isLevelInSet(KVLL_DEBUG));
  filter.setLevelSet(TKvLoggerLevelSet());
  filter.reset();
  EXPECT_EQ(filter.getLevelSet(), TKvLoggerMessageFilterLevelSet::kAllLevels);
  EXPECT_FALSE(filter.matches(nullptr));
}

TEST(KvLoggerMessageFilterTest, LevelSetIsStoredAsSeventyEightBytes) {
  TKvLoggerMessageFilterLevelSet filter;
  filter.setLevelSet(levels({KVLL_WARN}));
  std::string expected = "\x01";
  for (const std::string name :
       {"KVLL_TRACE", "KVLL_DEBUG", "KVLL_INFO", "KVLL_WARN", "KVLL_ERROR", "KVLL_FATAL"}) {
    expected += '\x07';
    expected += static_cast<char>(name.size());
    expected += name;
    expected += name == "KVLL_WARN" ? '\x09' : '\x08';
  }
  expected += '\x00';
  const std::string bytes = bytesOf(filter);
  EXPECT_EQ(bytes.size(), 78u);
  EXPECT_EQ(hex(bytes), hex(expected));

  TKvLoggerMessageFilterLevelSet loaded;
  std::istringstream stream(bytes);
  loaded.loadFromStream(stream);
  EXPECT_EQ(loaded.getLevelSet(), levels({KVLL_WARN}));
}

TEST(KvLoggerMessageFilterTest, LevelSetReadErrorsKeepWhatWasRead) {
  TKvLoggerMessageFilterLevelSet all;
  const std::string bytes = bytesOf(all);
  struct TCase {
    std::string Bytes;
    TKvLoggerLevelSet Left;
  };
  std::string identAsString = bytes;
  identAsString[1] = '\x06'; // a string where the first identifier belongs
  std::string noListEnd = bytes;
  noListEnd.back() = '\x01';
  std::string boolAsIdent = bytes;
  boolAsIdent[13] = '\x07'; // the boolean after "KVLL_TRACE"
  const std::vector<TCase> cases = {
      {"", {}},
      {bytes.substr(1), {}},
      {identAsString, {}},
      {boolAsIdent, {}},
      {bytes.substr(0, 40), levels({KVLL_TRACE, KVLL_DEBUG, KVLL_INFO})},
      {noListEnd, TKvLoggerMessageFilterLevelSet::kAllLevels},
  };
  for (const TCase& c : cases) {
    TKvLoggerMessageFilterLevelSet filter;
    std::istringstream stream(c.Bytes);
    EXPECT_THROW(filter.loadFromStream(stream), EKvStreamReadError) << hex(c.Bytes);
    EXPECT_EQ(filter.getLevelSet(), c.Left) << hex(c.Bytes);
  }
}

TEST(KvLoggerMessageFilterTest, TextFilterIsStoredAsTwoStrings) {
  TKvLoggerMessageFilterMessageContains filter;
  filter.setText("check");
  EXPECT_EQ(bytesOf(filter), std::string("\x06\x0A"
                                         "FilterText\x06\x05"
                                         "check"));
  TKvLoggerMessageFilterModuleEquals loaded;
  std::istringstream stream(bytesOf(filter));
  loaded.loadFromStream(stream);
  EXPECT_EQ(loaded.getText(), "check");
}

TEST(KvLoggerMessageFilterTest, StringItemsTakeTheShortestForm) {
  auto stored = [](const std::string& aText) {
    std::ostringstream stream;
    TKvValueWriter(stream).writeString(aText);
    return stream.str();
  };
  const std::string ascii300(300, 'a');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", std::string("\x12\0\0\0\0", 5)},
      {"ab", "\x06\x02"
             "ab"},
      {ascii300, std::string("\x0C\x2C\x01\0\0", 5) + ascii300},
      // "Grüße": 7 UTF-8 bytes for 5 characters
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       std::string("\x14\x07\0\0\0", 5) + "Gr\xC3\xBC\xC3\x9F" + "e"},
      // "ü" alone: 2 bytes are not fewer than 2 × 1 character
      {"\xC3\xBC", std::string("\x12\x01\0\0\0\xFC\0", 7)},
      // one character outside the BMP: two UTF-16 code units
      {"\xF0\x9F\x98\x80", std::string("\x12\x02\0\0\0\x3D\xD8\x00\xDE", 9)},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(hex(stored(text)), hex(bytes)) << text;
    std::istringstream stream(bytes);
    EXPECT_EQ(TKvValueReader(stream).readString(), text);
  }
  // Single-byte forms are read in the ANSI code page.
  std::istringstream ansi(std::string("\x06\x02\xE4\x80", 4));
  EXPECT_EQ(TKvValueReader(ansi).readString(), "\xC3\xA4\xE2\x82\xAC");
  std::istringstream ansiLong(std::string("\x0C\x01\0\0\0\xFC", 6));
  EXPECT_EQ(TKvValueReader(ansiLong).readString(), "\xC3\xBC");
  // A UTF-8 form cut inside a character: its stray bytes are read as Latin-1.
  std::istringstream cut(std::string("\x14\x03\0\0\0a\xE9\x91", 8));
  EXPECT_EQ(TKvValueReader(cut).readString(), "a\xC3\xA9\xC2\x91");
}

TEST(KvLoggerMessageFilterTest, TextFilterLoadFailures) {
  TKvLoggerMessageFilterModuleEquals filter;
  filter.setText("before");
  std::istringstream wrongName(std::string("\x06\x04"
                                           "Text\x06\x01x"));
  try {
    filter.loadFromStream(wrongName);
    FAIL() << "a wrong first string was accepted";
  } catch (const EKvLoggerFilterParseError& e) {
    EXPECT_STREQ(e.what(), "parse error: \"FilterText\" expected!");
  }
  std::istringstream anyCase(std::string("\x06\x0A"
                                         "FILTERtext\x06\x01x"));
  filter.loadFromStream(anyCase);
  EXPECT_EQ(filter.getText(), "x");
  const std::vector<std::string> damaged = {"",
                                            std::string("\x06\x0A") + "FilterText",
                                            std::string("\x06\x0A") + "Filter",
                                            std::string("\x14\xFF\xFF\xFF\x7F", 5) + "FilterText",
                                            std::string("\x07\x01x"),
                                            std::string("\x12\xFF\xFF\xFF\xFF", 5)};
  for (const std::string& bytes : damaged) {
    std::istringstream stream(bytes);
    EXPECT_THROW(filter.loadFromStream(stream), EKvStreamReadError) << hex(bytes);
  }
}

TEST(KvLoggerMessageFilterTest, TextFiltersCompareInLowerCase) {
  struct TCase {
    std::unique_ptr<TKvLoggerMessageFilterByText> Filter;
    std::string Text;
    std::string Module;
    std::string Message;
    bool Match;
  };
  auto make = [](auto aFilter, std::string aText) {
    auto filter = std::make_unique<decltype(aFilter)>();
    filter->setText(std::move(aText));
    return std::unique_ptr<TKvLoggerMessageFilterByText>(std::move(filter));
  };
  std::vector<TCase> cases;
  auto add = [&](auto aFilter, std::string aText, std::string aModule, std::string aMessage,
                 bool aMatch) {
    cases.push_back({make(aFilter, aText), aText, aModule, aMessage, aMatch});
  };
  add(TKvLoggerMessageFilterModuleEquals(), "DB.CheckAccount", "db.checkaccount", "", true);
  add(TKvLoggerMessageFilterModuleEquals(), "db", "db.checkaccount", "", false);
  add(TKvLoggerMessageFilterModuleEquals(), "", "", "text", true);
  add(TKvLoggerMessageFilterModuleEquals(), "", "db", "", false);
  add(TKvLoggerMessageFilterModuleStarting(), "DB.", "db.checkaccount", "", true);
  add(TKvLoggerMessageFilterModuleStarting(), "check", "db.checkaccount", "", false);
  add(TKvLoggerMessageFilterModuleStarting(), "", "db", "", false);
  add(TKvLoggerMessageFilterModuleContains(), "CHECK", "db.checkaccount", "", true);
  add(TKvLoggerMessageFilterModuleContains(), "", "db", "", false);
  // The message filters look at the message text, not at the module.
  add(TKvLoggerMessageFilterMessageContains(), "check", "db.checkaccount", "login", false);
  add(TKvLoggerMessageFilterMessageContains(), "check", "x", "account CHECK failed", true);
  add(TKvLoggerMessageFilterMessageStarting(), "Account", "account", "account check", true);
  add(TKvLoggerMessageFilterMessageStarting(), "check", "checks", "account check", false);
  add(TKvLoggerMessageFilterMessageEquals(), "Options Loaded", "x", "options loaded", true);
  add(TKvLoggerMessageFilterMessageEquals(), "options", "options", "options loaded", false);
  add(TKvLoggerMessageFilterMessageEquals(), "", "x", "", true);
  add(TKvLoggerMessageFilterMessageContains(), "\xC3\x84NDERUNG", "x", "\xC3\xa4nderung", true);
  for (const TCase& c : cases) {
    EXPECT_EQ(c.Filter->match(message(c.Module, c.Message)), c.Match)
        << c.Filter->getClassName() << " \"" << c.Text << "\" module \"" << c.Module
        << "\" message \"" << c.Message << "\"";
    EXPECT_FALSE(c.Filter->matches(nullptr));
  }
}

TEST(KvLoggerMessageFilterTest, ApplicationAndMachineFilters) {
  TKvLoggerMessageFilterApplicationEquals application;
  application.setText("PARLINO");
  EXPECT_TRUE(application.match(message("m", "t")));
  EXPECT_FALSE(application.match(message("m", "t", KVLL_INFO, "Tomvek")));

  TKvLoggerMessageFilterMachineEquals machine;
  machine.setText("Host1");
  EXPECT_FALSE(machine.match(message("m", "t"))) << "no handler, no match";
  const TKvLoggerMessage* seen = nullptr;
  machine.OnMachineIdentRequired = [&](const TKvLoggerMessageFilterMachineEquals&,
                                       const TKvLoggerMessage& aMessage, std::string& aIdent) {
    seen = &aMessage;
    aIdent = aMessage.getLogModule();
  };
  const TKvLoggerMessage fromHost = message("host1", "t");
  EXPECT_TRUE(machine.match(fromHost));
  EXPECT_EQ(seen, &fromHost);
  EXPECT_FALSE(machine.match(message("host2", "t")));

  // A copy keeps both the handler and the text.
  TKvLoggerMessageFilterMachineEquals copy;
  copy = machine;
  EXPECT_EQ(copy.getText(), "Host1");
  EXPECT_TRUE(copy.match(fromHost));
  auto clone = machine.clone();
  EXPECT_TRUE(clone->match(fromHost));
  machine.reset();
  EXPECT_EQ(machine.getText(), "");
}

TEST(KvLoggerMessageFilterTest, StoredFiltersAreRecreatedByClassName) {
  registerLoggingClasses();
  for (const std::string& name : registeredLoggingClassNames()) {
    auto filter = createMessageFilter(name);
    if (!filter) {
      continue;
    }
    EXPECT_EQ(filter->getClassName(), name);
    if (auto* byText = dynamic_cast<TKvLoggerMessageFilterByText*>(filter.get())) {
      byText->setText("Gr\xC3\xBC\xC3\x9F"
                      "e " +
                      name);
    } else {
      static_cast<TKvLoggerMessageFilterLevelSet&>(*filter).setLevelAndAbove(KVLL_INFO);
    }
    std::stringstream stream;
    saveMessageFilter(*filter, stream);
    auto loaded = loadMessageFilter(stream);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->getClassName(), name);
    EXPECT_EQ(bytesOf(*loaded), bytesOf(*filter));
  }
  EXPECT_EQ(registeredLoggingClassNames().size(), 13u);
  EXPECT_TRUE(createLogFormater("tkvlogformatertcp"));
  EXPECT_TRUE(createLogAppender("TKvLogAppenderFile"));
  EXPECT_FALSE(createMessageFilter("TKvLogFormaterTCP"));
  std::stringstream unknown(std::string("\x06\x07TNoSuch"));
  EXPECT_THROW(loadMessageFilter(unknown), EKvLoggerFilterParseError);
}

} // namespace
