#include "tools/modemsim/ModemSimEngine.h"

#include "modem/SMSConcatCollector.h"
#include "tools/modemsim/ModemSimControl.h"

#include <gtest/gtest.h>

namespace {

using modemsim::TModemSimEngine;
using modemsim::TModemSimOptions;

// All bytes the modem answers to aInput, delays ignored.
std::string answer(TModemSimEngine& aEngine, const std::string& aInput) {
  std::string text;
  for (const auto& output : aEngine.feed(aInput)) {
    text += output.Bytes;
  }
  return text;
}

TModemSimEngine quietEngine(TModemSimOptions aOptions = {}) {
  TModemSimEngine engine(std::move(aOptions));
  (void)engine.feed("ATE0\r");
  return engine;
}

const char* const SC_HALLOSUBMIT = "0001000C91947111325476000005C8309BFD06";
// "Hallo" from +491711234567, stamped 2011-03-05 17:04:09 +02:00.
const char* const SC_HALLODELIVER = "00040C9194711132547600001130507140908005C8309BFD06";

TEST(ModemSimGsmTest, BuildsDeliverUnitsAsTheNetworkDoes) {
  const modemsim::TSmsTimestamp time{2011, 3, 5, 17, 4, 9, 8};
  std::string pdu;
  std::string error;
  ASSERT_TRUE(modemsim::buildSmsDeliver("", "+491711234567", "Hallo", time, pdu, error));
  EXPECT_EQ(pdu, SC_HALLODELIVER);

  ASSERT_TRUE(modemsim::buildSmsDeliver("+491710760000", "Info", "a[b", time, pdu, error));
  // Service centre 07 91 ..., alphanumeric sender 07 D0 49B7F90D, 4 septets "E10D4F0C".
  EXPECT_EQ(pdu.substr(0, 16), "0791947101670000");
  EXPECT_NE(pdu.find("0407D049B7F90D0000"), std::string::npos);
  EXPECT_EQ(pdu.substr(pdu.size() - 10), "04E10D4F0C");

  ASSERT_TRUE(modemsim::buildSmsDeliver("", "12345", "\xd0\x96", time, pdu, error)); // Cyrillic
  EXPECT_EQ(pdu.substr(pdu.size() - 6), "020416"); // UCS2, 2 octets
  EXPECT_NE(pdu.find("05812143F5"), std::string::npos);

  EXPECT_FALSE(modemsim::buildSmsDeliver("", "+4917", std::string(161, 'a'), time, pdu, error));
  EXPECT_EQ(error, "text too long for one SMS");
  EXPECT_EQ(
      modemsim::toHex(modemsim::packSeptets({0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68})),
      "61F1985C369FD1");
}

// The simulator's parts, read by the gateway's own codec as a phone would join them.
TEST(ModemSimGsmTest, DeliversLongTextsAsTheNetworkDoesInParts) {
  const modemsim::TSmsTimestamp time{2026, 5, 6, 7, 8, 9, 0};
  std::string cyrillic;
  for (int i = 0; i < 66; ++i) {
    cyrillic += "\xD0\x96";
  }
  struct TCase {
    std::string Text;
    std::size_t Parts;
  };
  const TCase cases[] = {
      {std::string(160, 'a'), 1},                              // one SMS, no header
      {std::string(152, 'a') + "[" + std::string(10, 'b'), 2}, // the escape pair goes whole
      {std::string(400, 'x'), 3},
      {cyrillic + "\xF0\x9F\x98\x80" + cyrillic, 3}, // the surrogate pair goes whole
  };
  const TSMSCODEC codec;
  for (const TCase& c : cases) {
    std::vector<std::string> pdus;
    std::string error;
    ASSERT_TRUE(
        modemsim::buildSmsDeliverParts("+491710760000", "+4917", c.Text, time, 9, pdus, error))
        << error;
    ASSERT_EQ(pdus.size(), c.Parts) << c.Text;
    std::vector<TSMSConcatPart> parts;
    for (const auto& pdu : pdus) {
      parts.push_back({codec.DecodeSMSFull(pdu), pdu, TDateTime()});
      EXPECT_GT(modemsim::tpduLength(pdu), 0);
    }
    const TSMSConcatMessage joined = joinSMSParts(parts);
    EXPECT_TRUE(joined.Complete) << c.Text;
    EXPECT_EQ(joined.Text, c.Text);
    EXPECT_EQ(parts[0].Decoded.Address, "4917");
    EXPECT_EQ(parts[0].Decoded.Concat.Reference, c.Parts > 1 ? 9 : 0);
  }
  std::vector<std::string> pdus;
  std::string error;
  EXPECT_FALSE(modemsim::buildSmsDeliverParts("", "+4917", std::string(153 * 255 + 1, 'z'), time, 1,
                                              pdus, error));
  EXPECT_EQ(error, "text too long for 255 SMS");
}

TEST(ModemSimEngineTest, ActivationDialogueWithPin) {
  TModemSimOptions options;
  options.Pin = "1234";
  options.StorageSize = 30;
  TModemSimEngine engine(options);
  EXPECT_EQ(answer(engine, "ATE0\r\n"), "ATE0\r\r\nOK\r\n"); // echo on until ATE0
  EXPECT_EQ(answer(engine, "AT+CPIN?\r\n"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CPMS?\r\n"), "\r\n+CMS ERROR: 311\r\n");
  EXPECT_EQ(answer(engine, "AT+CPIN=9999\r\n"), "\r\n+CME ERROR: 16\r\n");
  EXPECT_EQ(answer(engine, "AT+CPIN=1234\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CGMI\r\n"), "\r\nParlino Simulated Modems\r\n\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "at+cgmm\r\n"), "\r\nPSM-900\r\n\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CGSN\r\n"), "\r\n356938035643809\r\n\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CPMS?\r\n"),
            "\r\n+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30\r\n\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CPMS=\"MT\",\"MT\",\"MT\"\r\n"),
            "\r\n+CPMS: 0,30,0,30,0,30\r\n\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CPMS=\"XX\"\r\n"), "\r\n+CMS ERROR: 302\r\n");
  EXPECT_EQ(answer(engine, "AT+NOSUCH\r\n"), "\r\nERROR\r\n");
  EXPECT_EQ(answer(engine, "garbage\r\n"), ""); // nothing without "AT"
  EXPECT_EQ(answer(engine, "AT\r"), "\r\nOK\r\n");
  engine.powerCycle();
  EXPECT_TRUE(engine.echo());
  EXPECT_EQ(answer(engine, "AT+CPIN?\r"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
}

TEST(ModemSimEngineTest, SendChecksTheOctetCountAndInjectsFailures) {
  TModemSimOptions options;
  options.SendDelayMs = 700;
  options.FailEvery = 3;
  options.FailAnswer = "ERROR 500";
  TModemSimEngine engine = quietEngine(options);
  EXPECT_EQ(answer(engine, "AT+CMGS=18\r\n"), "\r\n> ");
  const auto outputs = engine.feed(std::string(SC_HALLOSUBMIT) + "\x1a");
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0].Bytes, "\r\n+CMGS: 0\r\n\r\nOK\r\n");
  EXPECT_EQ(outputs[0].DelayMs, 700);
  EXPECT_EQ(engine.lastSubmittedPdu(), SC_HALLOSUBMIT);

  (void)answer(engine, "AT+CMGS=17\r\n"); // one octet short
  EXPECT_EQ(answer(engine, std::string(SC_HALLOSUBMIT) + "\x1a"), "\r\n+CMS ERROR: 304\r\n");
  (void)answer(engine, "AT+CMGS=18\r\n"); // third send: injected failure
  EXPECT_EQ(answer(engine, std::string(SC_HALLOSUBMIT) + "\x1a"), "\r\nERROR 500\r\n");
  (void)answer(engine, "AT+CMGS=18\r\n");
  EXPECT_EQ(answer(engine, "0001\x1b"), "\r\nOK\r\n"); // ESC abandons the PDU
  EXPECT_EQ(engine.submittedCount(), 1);

  engine.options().NoPrompt = true;
  EXPECT_EQ(answer(engine, "AT+CMGS=18\r\n"), "");
  engine.options().NoPrompt = false;
  engine.options().NoSendAnswer = true;
  EXPECT_EQ(answer(engine, "AT+CMGS=18\r\n"), "\r\n> ");
  EXPECT_EQ(answer(engine, std::string(SC_HALLOSUBMIT) + "\x1a"), "");
}

TEST(ModemSimEngineTest, ListingReadingAndDeletingTheStorage) {
  TModemSimOptions options;
  options.StorageSize = 2;
  options.Smsc = "";
  options.FailDeleteSlot = 2;
  TModemSimEngine engine = quietEngine(options);
  std::string error;
  std::vector<modemsim::TSimOutput> outputs;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(engine.deliverPdu(SC_HALLODELIVER, error, outputs));
  }
  EXPECT_FALSE(engine.deliverPdu("0G", error, outputs));
  EXPECT_EQ(engine.pendingCount(), 1u); // storage full: the third waits
  const std::string entry = std::string("\r\n") + SC_HALLODELIVER + "\r\n";
  EXPECT_EQ(answer(engine, "AT+CMGL=0\r\n"),
            std::string("\r\n+CMGL: 1,0,,24") + entry + "+CMGL: 2,0,,24" + entry + "\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CMGL=0\r\n"), "\r\nOK\r\n"); // listed ones are read now
  EXPECT_EQ(answer(engine, "AT+CMGR=2\r\n"), "\r\n+CMGR: 1,,24" + entry + "\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CMGD=2\r\n"), "\r\nERROR\r\n");
  EXPECT_EQ(answer(engine, "AT+CMGD=3\r\n"), "\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(answer(engine, "AT+CMGD=1\r\n"), "\r\nOK\r\n");
  EXPECT_EQ(engine.pendingCount(), 0u); // the waiting one took the freed slot
  EXPECT_EQ(answer(engine, "AT+CMGL=4\r\n"),
            std::string("\r\n+CMGL: 1,0,,24") + entry + "+CMGL: 2,1,,24" + entry + "\r\nOK\r\n");
}

TEST(ModemSimEngineTest, AnnouncesOrForwardsNewMessagesAsAtCnmiAsks) {
  TModemSimOptions options;
  options.Smsc = "";
  options.CnmiOffer = "(0-2),(0-2),(0),(0),(0)";
  TModemSimEngine engine = quietEngine(options);
  std::string error;
  std::vector<modemsim::TSimOutput> outputs;
  auto delivered = [&] {
    outputs.clear();
    EXPECT_TRUE(engine.deliverPdu(SC_HALLODELIVER, error, outputs));
    std::string text;
    for (const auto& output : outputs) {
      text += output.Bytes;
    }
    return text;
  };
  EXPECT_EQ(answer(engine, "AT+CNMI=?\r"), "\r\n+CNMI: (0-2),(0-2),(0),(0),(0)\r\n\r\nOK\r\n");
  EXPECT_EQ(delivered(), "") << "no indication asked for";
  EXPECT_EQ(answer(engine, "AT+CNMI=2,1,0,0,0\r"), "\r\nOK\r\n");
  EXPECT_EQ(delivered(), "\r\n+CMTI: \"SM\",2\r\n");
  EXPECT_EQ(answer(engine, "AT+CNMI=2,3,0,0,0\r"), "\r\n+CMS ERROR: 303\r\n") << "not offered";
  EXPECT_EQ(answer(engine, "AT+CNMI=1,2\r"), "\r\nOK\r\n");
  EXPECT_EQ(answer(engine, "AT+CNMI?\r"), "\r\n+CNMI: 1,2,0,0,0\r\n\r\nOK\r\n");
  EXPECT_EQ(delivered(), std::string("\r\n+CMT: ,24\r\n") + SC_HALLODELIVER + "\r\n");
  EXPECT_EQ(engine.storage()[2], std::nullopt) << "forwarded, not stored";
  engine.powerCycle();
  EXPECT_EQ(engine.newMessageIndication(), 0);
}

TEST(ModemSimEngineTest, PutsInjectedCodesBetweenPromptAndPduAndInsideAnAnswer) {
  TModemSimOptions options;
  options.Smsc = "";
  options.PromptDelayMs = 1500;
  TModemSimEngine engine = quietEngine(options);
  engine.injectUnsolicited(modemsim::upAfterPrompt, "+CMTI: \"SM\",4");
  const auto prompt = engine.feed("AT+CMGS=18\r");
  ASSERT_EQ(prompt.size(), 2u);
  EXPECT_EQ(prompt[0].DelayMs, 1500);
  EXPECT_EQ(prompt[0].Bytes, "\r\n> ");
  EXPECT_EQ(prompt[1].Bytes, "\r\n+CMTI: \"SM\",4\r\n");
  (void)engine.feed("\x1b");
  std::string error;
  std::vector<modemsim::TSimOutput> outputs;
  ASSERT_TRUE(engine.deliverPdu(SC_HALLODELIVER, error, outputs));
  engine.injectUnsolicited(modemsim::upInAnswer, "^RSSI:9");
  EXPECT_EQ(answer(engine, "AT+CMGL=4\r"),
            std::string("\r\n+CMGL: 1,0,,24\r\n^RSSI:9\r\n") + SC_HALLODELIVER + "\r\n\r\nOK\r\n");
}

TEST(ModemSimControlTest, ParsesCommandsAndRejectsBadOnes) {
  modemsim::TControlCommand command;
  std::string error;
  ASSERT_TRUE(modemsim::parseControlCommand("deliver +4917 Hallo  du\\nda\n", command, error));
  EXPECT_EQ(command.Verb, modemsim::cvDeliver);
  EXPECT_EQ(command.Address, "+4917");
  EXPECT_EQ(command.Text, "Hallo  du\nda");
  ASSERT_TRUE(modemsim::parseControlCommand("fail-every 2 +CMS ERROR: 38", command, error));
  EXPECT_EQ(command.Number, 2);
  EXPECT_EQ(command.Text, "+CMS ERROR: 38");
  ASSERT_TRUE(modemsim::parseControlCommand("replug reset", command, error));
  EXPECT_TRUE(command.Flag);
  ASSERT_TRUE(modemsim::parseControlCommand("urc-at prompt +CMTI: \"SM\",3", command, error));
  EXPECT_TRUE(command.Flag);
  EXPECT_EQ(command.Text, "+CMTI: \"SM\",3");
  ASSERT_TRUE(modemsim::parseControlCommand("urc-every 400 ^RSSI:18", command, error));
  EXPECT_EQ(command.Number, 400);
  EXPECT_EQ(command.Text, "^RSSI:18");
  ASSERT_TRUE(modemsim::parseControlCommand("cnmi-offer (0,1),(0,2)", command, error));
  EXPECT_EQ(command.Text, "(0,1),(0,2)");

  for (const char* bad : {"", "fly", "deliver", "mute maybe", "send-delay -5", "unplug now",
                          "deliver x a\\q", "replug soon", "urc", "urc-at later RING",
                          "urc-at prompt", "prompt-delay x", "power-cycle now"}) {
    EXPECT_FALSE(modemsim::parseControlCommand(bad, command, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

} // namespace
