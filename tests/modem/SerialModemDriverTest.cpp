#include "modem/VTSMSManagerSerialModem.h"
#include "tests/modem/ModemTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace {

using modemtest::fastTimings;
using modemtest::TModemSim;

// "Hallo" to 491711234567: 18 octets after the service-centre length.
const char* const SC_HALLOSUBMIT = "0001000C91947111325476000005C8309BFD06";

// The modem entries of the simulator's log that are commands or PDUs, in order.
std::vector<std::string> commandsIn(const TModemSim& aSim) {
  std::vector<std::string> commands;
  for (const auto& entry : aSim.logEntries()) {
    if (entry.rfind("CMD ", 0) == 0 || entry.rfind("PDU ", 0) == 0) {
      commands.push_back(entry);
    }
  }
  return commands;
}

class SerialModemDriverTest : public ::testing::Test {
protected:
  void startSim(const std::vector<std::string>& aOptions = {}) {
    fSim = std::make_unique<TModemSim>(fDir.path(), 5, aOptions);
  }

  void activate(const TVTSerialModemTimings& aTimings = fastTimings()) {
    fModem.setSerialDeviceDir(fDir.path());
    fModem.setCommPort(5);
    fModem.setTimings(aTimings);
    fModem.setActive(true);
  }

  // The polling thread reads the storage once at activation; tests that read it themselves
  // wait for that first listing to be over.
  void waitForFirstPoll() {
    ASSERT_TRUE(testsupport::waitFor([&] {
      const auto entries = fSim->logEntries();
      return std::count(entries.begin(), entries.end(), "CMD AT+CMGL=4") >= 1;
    }));
    TVTSMSManagerMessageList none;
    (void)fModem.deleteSMSs(&none); // no traffic; returns once the poll's exchanges are over
  }

  ~SerialModemDriverTest() override { fModem.setActive(false); }

  testsupport::TTempDir fDir;
  std::unique_ptr<TModemSim> fSim;
  TVTSMSManagerSerialModem fModem;
};

TEST_F(SerialModemDriverTest, ActivationWithPinReadsIdentityAndStorageSizes) {
  startSim({"--pin", "4711", "--storage-size", "25", "--vendor", "ACME", "--model", "M1",
            "--serial", "12345"});
  fModem.setPIN("4711");
  activate();
  EXPECT_TRUE(fModem.getActive());
  EXPECT_EQ(fModem.getModemVendorInfo(), "ACME");
  EXPECT_EQ(fModem.getModemModelInfo(), "M1");
  EXPECT_EQ(fModem.getModemSerialNumberInfo(), "12345");
  EXPECT_EQ(fModem.getSMSMemorySizeDefaultStorage(), 25);
  EXPECT_EQ(fModem.getSMSMemorySizeSendStorage(), 25);
  EXPECT_EQ(fModem.getSMSMemorySizeReceiveStorage(), 25);
  const std::vector<std::string> expected{
      "CMD AT",      "CMD ATE0",    "CMD AT+CPIN?", "CMD AT+CPIN=4711", "CMD AT+CGMI",
      "CMD AT+CGMM", "CMD AT+CGSN", "CMD AT+CPMS?", "CMD AT+CMGF=0",    "CMD AT+CNMI=2,1,0,0,0"};
  auto commands = commandsIn(*fSim);
  commands.resize(std::min(commands.size(), expected.size())); // the first poll follows
  EXPECT_EQ(commands, expected);
}

TEST_F(SerialModemDriverTest, ActivationWithoutPinAndWithoutModem) {
  startSim({"--mute"});
  TVTSerialModemTimings timings = fastTimings();
  timings.InfoWaitMS = 300; // every query runs into its time-out
  timings.SelectStorageWaitMS = 300;
  fModem.setSMSCheckIntervall(3'600'000);
  activate(timings);
  EXPECT_TRUE(fModem.getActive()); // a silent modem does not stop activation
  EXPECT_EQ(fModem.getModemVendorInfo(), "[?] ");
  EXPECT_EQ(fModem.getSMSMemorySizeDefaultStorage(), 10);
  // "AT" until "OK", as long as the port may settle (two tries here), then nothing else.
  auto ignored = [&] {
    std::vector<std::string> commands;
    for (const auto& entry : fSim->logEntries()) {
      if (entry.rfind("CMD", 0) == 0) {
        commands.push_back(entry);
      }
    }
    return commands;
  };
  EXPECT_TRUE(testsupport::waitFor([&] { return ignored().size() >= 4; }))
      << "the first poll tries the start-up once more";
  fModem.setActive(false);
  const auto commands = ignored();
  EXPECT_EQ(commands, std::vector<std::string>(commands.size(), "CMD-IGNORED AT"));
  fModem.setActive(true);
  EXPECT_EQ(fModem.readSMSs(nullptr), ICSMSRESULT_WRONGANSWER);

  // No device at all: the waits are not sat out, the identity stays unknown.
  fModem.setActive(false);
  fModem.setCommPort(9);
  fModem.setActive(true);
  EXPECT_TRUE(fModem.getActive());
  EXPECT_EQ(fModem.getModemModelInfo(), "[?] ");
  TVTSMSManagerMessageList list;
  EXPECT_EQ(fModem.readSMSs(&list), ICSMSRESULT_WRONGANSWER);
}

TEST_F(SerialModemDriverTest, SendResultsFollowTheModemsAnswer) {
  startSim();
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_NOTACTIVE);
  activate();
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  EXPECT_EQ(fSim->command("last-pdu"), std::string("OK ") + SC_HALLOSUBMIT);

  struct TCase {
    const char* Setup;
    int Expected;
  };
  const TCase cases[] = {
      {"fail-every 1 +CMS ERROR: 500", ICSMSRESULT_UNKNOWNMODEMERROR},
      {"fail-every 1 ERROR 500", 500},
      {"fail-every 1 ERROR 0", ICSMSRESULT_UNKNOWNMODEMERROR}, // never read as success
      {"no-send-answer on", ICSMSRESULT_UNKNOWNERROR},
      {"no-prompt on", ICSMSRESULT_UNKNOWNMODEMERROR},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(fSim->command(c.Setup), "OK");
    EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), c.Expected) << c.Setup;
    for (const char* reset : {"fail-every 0", "no-send-answer off", "no-prompt off"}) {
      ASSERT_EQ(fSim->command(reset), "OK");
    }
  }
  // Each send wrote "AT+CMGS=18"; all but the unprompted one sent the PDU.
  const auto commands = commandsIn(*fSim);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "CMD AT+CMGS=18"), 6);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), std::string("PDU 18 ") + SC_HALLOSUBMIT),
            5);
}

// A client may send while the gateway is still bringing the modem up; the send waits for the
// start-up dialogue instead of talking to a modem that still echoes.
TEST_F(SerialModemDriverTest, SendDuringActivationWaitsForTheStartUpDialogue) {
  startSim();
  TVTSerialModemTimings timings = fastTimings();
  timings.PortSettleMS = 500;
  std::thread activation([&] { activate(timings); });
  ASSERT_TRUE(testsupport::waitFor([&] { return fModem.getActive(); }));
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  activation.join();
  const auto commands = commandsIn(*fSim);
  const auto echoOff = std::find(commands.begin(), commands.end(), "CMD ATE0");
  const auto send = std::find(commands.begin(), commands.end(), "CMD AT+CMGS=18");
  ASSERT_NE(send, commands.end());
  EXPECT_LT(echoOff, send);
}

TEST_F(SerialModemDriverTest, ListingYieldsMessagesAlsoForUndecodablePdus) {
  startSim({"--smsc", "", "--cnmi-offer", "(0),(0)"}); // no notices: only the test reads
  fModem.setSMSCheckIntervall(3'600'000);
  activate();
  waitForFirstPoll();
  ASSERT_EQ(fSim->command("deliver +491711234567 Hallo").substr(0, 2), "OK");
  ASSERT_EQ(fSim->command("deliver-pdu 0004AB"), "OK"); // too short to decode
  ASSERT_EQ(fSim->command("deliver Info Gr\xc3\xbc\xc3\x9f Gott").substr(0, 2), "OK");
  std::vector<std::pair<std::string, std::string>> decodeErrors;
  fModem.OnDecodeError = [&](TVTSMSManager*, const std::string& aPdu, const std::string& aError) {
    decodeErrors.emplace_back(aPdu, aError);
  };
  TVTSMSManagerMessageList list;
  ASSERT_EQ(fModem.readSMSs(&list), ICSMSRESULT_OK);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1]->getMessageIndex(), 2);
  EXPECT_EQ(list[1]->getMessageState(), 0);
  EXPECT_EQ(list[1]->getMessageLength(), 2);
  EXPECT_EQ(list[1]->getMessageType(), VTSMSMMT_DATA);
  EXPECT_EQ(list[1]->getTheMessage(), "");
  EXPECT_EQ(list[1]->getMessageDataPDU(), "0004AB");
  ASSERT_EQ(decodeErrors.size(), 1u);
  EXPECT_EQ(decodeErrors[0].first, "0004AB");
  EXPECT_EQ(list[0]->getRecipient(), "491711234567");
  EXPECT_EQ(list[0]->getTheMessage(), "Hallo");
  EXPECT_EQ(list[0]->getMessageIndex(), 1);
  EXPECT_EQ(list[2]->getRecipient(), "Info");
  EXPECT_EQ(list[2]->getMessageIndex(), 3);
  EXPECT_EQ(fModem.getNewMessageNotices(), "");
  // Listed messages are read now and still listed: one read before a crash is not lost.
  TVTSMSManagerMessageList again;
  ASSERT_EQ(fModem.readSMSs(&again), ICSMSRESULT_OK);
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0]->getMessageState(), 1);
}

// The polling cycle's full read asks for signal and registration at most once an interval,
// and takes the storage's use from the storage selection it makes anyway.
TEST_F(SerialModemDriverTest, ThePollReadsSignalRegistrationAndStorageAtMostOnceAnInterval) {
  startSim({"--signal", "17", "--registration", "5", "--cnmi-offer", "(0),(0)"});
  fModem.setSMSCheckIntervall(3'600'000);
  TVTSerialModemTimings timings = fastTimings();
  timings.NetworkStatusIntervalMS = 3'600'000;
  EXPECT_EQ(fModem.getNetworkStatus().SignalQuality, -1) << "nothing known before";
  activate(timings);
  waitForFirstPoll();
  TVTModemNetworkStatus status = fModem.getNetworkStatus();
  EXPECT_EQ(status.SignalQuality, 17);
  EXPECT_EQ(status.BitErrorRate, 99);
  EXPECT_EQ(status.Registration, 5);
  EXPECT_EQ(status.StorageUsed, 0);
  EXPECT_EQ(status.StorageTotal, 10);

  ASSERT_EQ(fSim->command("deliver +491711234567 Hallo").substr(0, 2), "OK");
  TVTSMSManagerMessageList list;
  ASSERT_EQ(fModem.readSMSs(&list), ICSMSRESULT_OK);
  EXPECT_EQ(fModem.getNetworkStatus().StorageUsed, 1);
  const auto asked = [&](const std::string& aCommand) {
    const auto commands = commandsIn(*fSim);
    return std::count(commands.begin(), commands.end(), "CMD " + aCommand);
  };
  EXPECT_EQ(asked("AT+CSQ"), 1);
  EXPECT_EQ(asked("AT+CREG?"), 1);
  timings.NetworkStatusIntervalMS = 0;
  fModem.setTimings(timings);
  ASSERT_EQ(fModem.readSMSs(&list), ICSMSRESULT_OK);
  EXPECT_EQ(asked("AT+CSQ"), 2);
  EXPECT_EQ(asked("AT+CREG?"), 2);
}

TEST_F(SerialModemDriverTest, DeletionGoesOnPastAFailingSlot) {
  startSim({"--fail-delete", "4"});
  activate();
  ASSERT_EQ(fModem.getSMSMemorySizeDefaultStorage(), 10);
  EXPECT_EQ(fModem.deleteSMSs(nullptr), ICSMSRESULT_WRONGANSWER);
  std::vector<std::string> deletes;
  for (const auto& command : commandsIn(*fSim)) {
    if (command.rfind("CMD AT+CMGD=", 0) == 0) {
      deletes.push_back(command.substr(12));
    }
  }
  EXPECT_EQ(deletes, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));

  TVTSMSManagerMessageList list;
  for (int slot : {2, 5}) {
    list.push_back(std::make_unique<TVTSMSManagerMessage>());
    list.back()->setMessageIndex(slot);
  }
  EXPECT_EQ(fModem.deleteSMSs(&list), ICSMSRESULT_OK);
}

TEST_F(SerialModemDriverTest, PollingReportsAnInjectedSmsOnceAndDeletesItsSlot) {
  startSim();
  std::mutex cs;
  std::vector<TVTSMSManagerMessage> received;
  std::vector<int> deleted;
  fModem.OnSMSReceived = [&](TVTSMSManager*, const std::string&, const std::string&,
                             const std::string&, const TVTSMSManagerMessage& aSMSInfo) {
    std::lock_guard lock(cs);
    received.push_back(aSMSInfo);
    return true;
  };
  fModem.OnSMSDeleted = [&](TVTSMSManager*, const TVTSMSManagerMessageList& aMessageList) {
    std::lock_guard lock(cs);
    for (const auto& message : aMessageList) {
      deleted.push_back(message->getMessageIndex());
    }
  };
  fModem.setSMSCheckIntervall(200);
  fModem.setAutoDeleteSMS(true);
  activate();
  ASSERT_EQ(fSim->command("deliver +491711234567 Hallo Welt").substr(0, 2), "OK");
  auto receivedCount = [&] {
    std::lock_guard lock(cs);
    return received.size();
  };
  ASSERT_TRUE(testsupport::waitFor([&] { return receivedCount() == 1; }));
  EXPECT_TRUE(testsupport::waitFor([&] { return fSim->command("storage") == "OK"; }));
  auto listings = [&] {
    const auto commands = commandsIn(*fSim);
    return std::count(commands.begin(), commands.end(), "CMD AT+CMGL=4");
  };
  const auto before = listings();
  EXPECT_TRUE(testsupport::waitFor([&] { return listings() >= before + 2; }));
  std::lock_guard lock(cs);
  ASSERT_EQ(received.size(), 1u); // later cycles do not report it again
  EXPECT_EQ(received[0].getRecipient(), "491711234567");
  EXPECT_EQ(received[0].getTheMessage(), "Hallo Welt");
  EXPECT_EQ(received[0].getMessageIndex(), 1);
  EXPECT_EQ(deleted, std::vector<int>{1}); // deleted by its slot
}

TEST_F(SerialModemDriverTest, PortComesBackAfterUnplugWhileActive) {
  startSim();
  fModem.serialPort().setDelayAutoConnect(100);
  activate();
  waitForFirstPoll();
  ASSERT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  ASSERT_EQ(fSim->command("unplug"), "OK");
  EXPECT_TRUE(testsupport::waitFor([&] { return !fModem.serialPort().PortIsOpen(); }));
  EXPECT_NE(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  ASSERT_EQ(fSim->command("replug"), "OK");
  EXPECT_TRUE(testsupport::waitFor([&] { return fModem.serialPort().PortIsOpen(); }));
  EXPECT_TRUE(fModem.getActive());
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
}

// What the driver reported as received, safe to read from the test thread; the handler
// stores or refuses as told.
class TReceived {
public:
  void attach(TVTSMSManagerSerialModem& aModem) {
    aModem.OnSMSReceived = [this](TVTSMSManager*, const std::string& aSender,
                                  const std::string& aText, const std::string&,
                                  const TVTSMSManagerMessage& aInfo) {
      std::lock_guard lock(fCS);
      fTexts.push_back(aSender + " " + aText + " @" + std::to_string(aInfo.getMessageIndex()));
      return fStore.load();
    };
  }
  std::vector<std::string> texts() {
    std::lock_guard lock(fCS);
    return fTexts;
  }
  std::size_t count() { return texts().size(); }
  std::atomic<bool> fStore{true};

private:
  std::mutex fCS;
  std::vector<std::string> fTexts;
};

// With notices on, an SMS is read the moment the modem announces it: the interval here is
// an hour.
TEST_F(SerialModemDriverTest, AnAnnouncedSmsIsReadAtOnceAndLeavesTheModemOnceStored) {
  startSim({"--smsc", ""});
  TReceived received;
  received.attach(fModem);
  received.fStore = false;
  fModem.setSMSCheckIntervall(3'600'000);
  fModem.setAutoDeleteSMS(true);
  activate();
  waitForFirstPoll();
  EXPECT_EQ(fModem.getNewMessageNotices(), "2,1,0,0,0");
  ASSERT_EQ(fSim->command("deliver +491711234567 Hallo").substr(0, 2), "OK");
  ASSERT_TRUE(testsupport::waitFor([&] { return received.count() == 1; }));
  EXPECT_EQ(received.texts()[0], "491711234567 Hallo @1");
  // Not stored: it stays in the modem, and the next read offers it again.
  EXPECT_EQ(fSim->command("storage").substr(0, 5), "OK 1:");
  received.fStore = true;
  fModem.requestFullRead();
  ASSERT_TRUE(testsupport::waitFor([&] { return received.count() == 2; }));
  EXPECT_TRUE(testsupport::waitFor([&] { return fSim->command("storage") == "OK"; }));
  const auto commands = commandsIn(*fSim);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "CMD AT+CMGR=1"), commands.end());
}

// A modem that only forwards new messages ("+CMT") is driven with the values it offers.
TEST_F(SerialModemDriverTest, AModemThatRefusesTheUsualNoticesForwardsWithTheValuesItOffers) {
  startSim({"--cnmi-offer", "(0,1),(0,2),(0),(0),(0)"});
  TReceived received;
  received.attach(fModem);
  fModem.setSMSCheckIntervall(3'600'000);
  fModem.setAutoDeleteSMS(true);
  activate();
  EXPECT_EQ(fModem.getNewMessageNotices(), "1,2,0,0,0");
  waitForFirstPoll();
  ASSERT_EQ(fSim->command("deliver +491711234567 Hallo Welt").substr(0, 2), "OK");
  ASSERT_TRUE(testsupport::waitFor([&] { return received.count() == 1; }));
  EXPECT_EQ(received.texts()[0], "491711234567 Hallo Welt @-1");
  EXPECT_EQ(fSim->command("storage"), "OK") << "forwarded, never stored";
}

// A signal report every 20 ms, codes between prompt and PDU and inside every listing: no
// send fails and every SMS is received once.
TEST_F(SerialModemDriverTest, UnsolicitedCodesAtAnyMomentDisturbNothing) {
  startSim({"--urc-every", "20", "--baud", "115200"});
  TReceived received;
  received.attach(fModem);
  fModem.setSMSCheckIntervall(3'600'000);
  fModem.setAutoDeleteSMS(true);
  activate();
  waitForFirstPoll();
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(fSim->command("urc-at prompt +CMTI: \"SM\",9"), "OK");
    ASSERT_EQ(fSim->command("urc-at answer ^RSSI:17"), "OK");
    EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK) << i;
    ASSERT_EQ(fSim->command("deliver +491711234567 Nummer " + std::to_string(i)).substr(0, 2),
              "OK");
    ASSERT_TRUE(testsupport::waitFor([&] { return received.count() == std::size_t(i) + 1; }));
  }
  ASSERT_EQ(fSim->command("urc-at answer +CMTI: \"SM\",1"), "OK");
  fModem.requestFullRead(); // a listing with a code inside, and a notice for an empty slot
  EXPECT_TRUE(testsupport::waitFor([&] {
    const auto entries = fSim->logEntries();
    return std::count(entries.begin(), entries.end(), "CMD AT+CMGL=4") >= 2;
  }));
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  const auto texts = received.texts();
  ASSERT_EQ(texts.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(texts[static_cast<std::size_t>(i)].substr(0, 21),
              "491711234567 Nummer " + std::to_string(i));
  }
  EXPECT_EQ(fSim->command("storage"), "OK");
}

TEST_F(SerialModemDriverTest, ALatePromptFailsOneSendAndNotTheNext) {
  startSim();
  activate();
  waitForFirstPoll();
  ASSERT_EQ(fSim->command("prompt-delay 1300"), "OK"); // the driver waits 1000 ms for it
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_UNKNOWNMODEMERROR);
  ASSERT_EQ(fSim->command("prompt-delay 0"), "OK");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK) << i;
  }
  const auto entries = fSim->logEntries();
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const std::string& e) { return e.rfind("PDU-CANCELLED", 0) == 0; }),
            1);
  EXPECT_NE(fSim->command("status").find("submitted=3"), std::string::npos);
}

// A modem with a PIN restarts in the middle of a run of sends: in place (echo and PIN back,
// notices off), and by being unplugged and plugged in again. Every send goes through except
// those made while it is away.
TEST_F(SerialModemDriverTest, APowerCycleInARunOfSendsLosesNoSendWhileTheModemIsThere) {
  startSim({"--pin", "4711"});
  fModem.setPIN("4711");
  fModem.serialPort().setDelayAutoConnect(100);
  TReceived received;
  received.attach(fModem);
  fModem.setSMSCheckIntervall(3'600'000);
  fModem.setAutoDeleteSMS(true);
  activate();
  waitForFirstPoll();
  int failed = 0;
  for (int i = 0; i < 12; ++i) {
    if (i == 4) {
      ASSERT_EQ(fSim->command("power-cycle"), "OK");
    }
    failed += fModem.sendSMSText("+491711234567", "Hallo") == ICSMSRESULT_OK ? 0 : 1;
  }
  EXPECT_EQ(failed, 0);
  ASSERT_EQ(fSim->command("deliver +491711234567 wieder da").substr(0, 2), "OK");
  ASSERT_TRUE(testsupport::waitFor([&] { return received.count() == 1; }))
      << "notices are on again after the restart";

  ASSERT_EQ(fSim->command("unplug"), "OK");
  EXPECT_NE(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  ASSERT_EQ(fSim->command("replug reset"), "OK");
  ASSERT_TRUE(testsupport::waitFor([&] {
    return fSim->command("status").find("echo=0") != std::string::npos;
  })) << "the start-up dialogue runs when the port is back";
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK) << i;
  }
  ASSERT_EQ(fSim->command("deliver +491711234567 noch einmal").substr(0, 2), "OK");
  EXPECT_TRUE(testsupport::waitFor([&] { return received.count() == 2; }));
  const auto commands = commandsIn(*fSim);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "CMD AT+CPIN=4711"), 3);
}

TEST_F(SerialModemDriverTest, AModemPluggedInAfterActivationIsSetUpWhenItAppears) {
  startSim();
  ASSERT_EQ(fSim->command("unplug"), "OK");
  fModem.serialPort().setDelayAutoConnect(100);
  activate();
  EXPECT_TRUE(fModem.getActive());
  EXPECT_EQ(fModem.getModemVendorInfo(), "[?] ");
  EXPECT_NE(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  ASSERT_EQ(fSim->command("replug"), "OK");
  ASSERT_TRUE(testsupport::waitFor(
      [&] { return fModem.getModemVendorInfo() == "Parlino Simulated Modems"; }));
  EXPECT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
}

// The trace file holds UTF-16LE entries "<time>|<prefix><data>" with CR and LF escaped.
std::vector<std::string> traceEntries(const std::string& aPath) {
  const std::string bytes = testsupport::readFile(aPath);
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  std::vector<std::string> entries;
  std::size_t start = 0;
  std::size_t end = 0;
  while ((end = units.find(u"\r\n", start)) != std::u16string::npos) {
    std::string entry;
    for (char16_t unit : units.substr(start, end - start)) {
      entry += static_cast<char>(unit); // the dialogue is ASCII
    }
    entries.push_back(entry.substr(entry.find('|') + 1));
    start = end + 2;
  }
  return entries;
}

TEST_F(SerialModemDriverTest, TraceFileRecordsTheSendExchange) {
  startSim();
  activate();
  waitForFirstPoll();
  const std::string trace = fDir.file("modem.trace");
  fModem.setCommLogFilename(trace);
  ASSERT_EQ(fModem.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  fModem.setCommLogFilename("");
  const auto entries = traceEntries(trace);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0], ""); // the separator: empty prefix and data
  auto position = [&](const std::string& aEntry) {
    return std::find(entries.begin(), entries.end(), aEntry) - entries.begin();
  };
  const auto command = position("[OUT]AT+CMGS=18#13#10");
  const auto prompt = position("[ALLDATA]#13#10> #13#10");
  const auto pdu = position(std::string("[OUT]") + SC_HALLOSUBMIT);
  const auto ctrlZ = position("[OUT]\x1a");
  const auto answer = position("[ALLRAW]#13#10+CMGS: 0#13#10#13#10OK#13#10");
  const auto size = static_cast<long>(entries.size());
  EXPECT_LT(command, prompt);
  EXPECT_LT(prompt, pdu);
  EXPECT_LT(pdu, ctrlZ);
  EXPECT_LT(ctrlZ, answer);
  EXPECT_LT(answer, size);
  EXPECT_LT(position("[COMPLETE-OK]#13#10+CMGS: 0#13#10#13#10OK#13#10"), size);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "[INFO]waitForSerialData..."), 2);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "[INFO]waitForSerialData...Done"), 2);
  EXPECT_NE(std::find_if(entries.begin(), entries.end(),
                         [](const std::string& e) { return e.rfind("[IN]", 0) == 0; }),
            entries.end());
}

} // namespace
