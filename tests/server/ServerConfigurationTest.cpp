#include "server/ServerConfiguration.h"

#include <gtest/gtest.h>

namespace {

std::string document(const std::string& aEntries) {
  return "<KvSmsSenderConfiguration><SMSConfigurations>" + aEntries +
         "</SMSConfigurations></KvSmsSenderConfiguration>";
}

TEST(ServerConfigurationTest, ReadsASerialModemEntry) {
  const auto configuration = parseServerConfiguration(document(
      R"(<channel type="SerialModem" active="TRUE"><Modemconfig comport="5" baudrate="BR115200" pin="1234"/></channel>)"));
  ASSERT_TRUE(configuration.Error.empty()) << configuration.Error;
  ASSERT_EQ(configuration.SerialModems.size(), 1u);
  const TSerialModemEntry& modem = configuration.SerialModems[0];
  EXPECT_TRUE(modem.Active);
  EXPECT_EQ(modem.CommPort, 5);
  EXPECT_EQ(modem.BaudRateName, "BR115200");
  EXPECT_EQ(modem.Pin, "1234");
}

TEST(ServerConfigurationTest, MissingOrBadAttributesGiveTheDefaults) {
  struct Case {
    const char* entry;
    bool active;
    int port;
  };
  const Case cases[] = {
      {R"(<m type="serialmodem"/>)", false, 1},
      {R"(<m type="serialmodem" active="1"><Modemconfig comport="x"/></m>)", true, 1},
      {R"(<m type="serialmodem" active="0"><Modemconfig comport="0"/></m>)", false, 1},
      {R"(<m type="serialmodem" active="yes"><modemconfig comport="7"/></m>)", false, 1},
      {R"(<m type="serialmodem" active="false"><Modemconfig comport="12"/></m>)", false, 12},
  };
  for (const Case& c : cases) {
    const auto configuration = parseServerConfiguration(document(c.entry));
    ASSERT_EQ(configuration.SerialModems.size(), 1u) << c.entry;
    EXPECT_EQ(configuration.SerialModems[0].Active, c.active) << c.entry;
    EXPECT_EQ(configuration.SerialModems[0].CommPort, c.port) << c.entry;
  }
}

TEST(ServerConfigurationTest, APortNumberOutsideOneTo255IsAnErrorAndLeavesTheModemInactive) {
  for (const char* port : {"0", "256", "-3", "99999999999"}) {
    const auto configuration = parseServerConfiguration(
        document(std::string(R"(<m type="serialmodem" active="true"><Modemconfig comport=")") +
                 port + R"("/></m>)"));
    ASSERT_EQ(configuration.SerialModems.size(), 1u) << port;
    const TSerialModemEntry& entry = configuration.SerialModems[0];
    EXPECT_FALSE(entry.Active) << port;
    EXPECT_EQ(entry.CommPort, 1) << port;
    EXPECT_EQ(entry.Error,
              std::string("comport \"") + port + "\" is not a port number from 1 to 255");
  }
  const auto fine = parseServerConfiguration(
      document(R"(<m type="serialmodem" active="true"><Modemconfig comport="255"/></m>)"));
  EXPECT_EQ(fine.SerialModems[0].Error, "");
  EXPECT_TRUE(fine.SerialModems[0].Active);
}

TEST(ServerConfigurationTest, SkipsOtherChannelsAndKeepsDocumentOrder) {
  const auto configuration = parseServerConfiguration(document(
      R"(<a type="serialmodem"><Modemconfig comport="2"/></a><b type="isdn"/>)"
      R"(<!-- note --><c type="SERIALMODEM" active="true"><Modemconfig comport="3"/></c>)"));
  ASSERT_EQ(configuration.SerialModems.size(), 2u);
  EXPECT_EQ(configuration.SerialModems[1].CommPort, 3);
  EXPECT_TRUE(parseServerConfiguration("<kvsmssenderconfiguration/>").SerialModems.empty());
}

TEST(ServerConfigurationTest, TheFirstNodeMustBeTheConfigurationElement) {
  const std::pair<std::string, std::string> cases[] = {
      {"<?xml version=\"1.0\"?>" + document(""),
       "wrong type, should be \"kvsmssenderconfiguration\", but is \"xml\"."},
      {"<!-- c -->" + document(""),
       "wrong type, should be \"kvsmssenderconfiguration\", but is \"\"."},
      {"<config/>", "wrong type, should be \"kvsmssenderconfiguration\", but is \"config\"."},
  };
  for (const auto& [text, error] : cases) {
    const auto configuration = parseServerConfiguration(text);
    EXPECT_EQ(configuration.Error, error);
    EXPECT_TRUE(configuration.SerialModems.empty());
  }
}

TEST(ServerConfigurationTest, ABrokenDocumentIsAnErrorWithNothingApplied) {
  for (const char* text : {"", "<kvsmssenderconfiguration>", "\x01\x02\x03", "<a><b></a>"}) {
    const auto configuration = parseServerConfiguration(text);
    EXPECT_FALSE(configuration.Error.empty()) << text;
    EXPECT_TRUE(configuration.SerialModems.empty());
  }
}

} // namespace
