#include "modem/VTSMSManager.h"

#include "logging/KvLogger.h"
#include "modem/SMSConcatCollector.h"
#include "tests/logging/MemoryAppender.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace {

using testsupport::waitFor;

// A driver whose "modem storage" is a list in memory. Any thread may look at what it saw.
class TFakeDriver : public TVTSMSManager {
public:
  ~TFakeDriver() override { setActive(false); }

  int sendSMSPDU(const std::string& aMessageAsPDU) override {
    std::lock_guard lock(fLock);
    fSentPDUs.push_back(aMessageAsPDU);
    if (static_cast<int>(fSentPDUs.size()) == fFailingSend) {
      return 500;
    }
    return aMessageAsPDU.empty() ? 500 : fSendResult;
  }
  int readSMSs(TVTSMSManagerMessageList* aTOList) override {
    std::lock_guard lock(fLock);
    ++fReads;
    if (fThrowOnRead) {
      fThrowOnRead = false;
      throw std::runtime_error("port gone");
    }
    if (fReadResult != ICSMSRESULT_OK) {
      return fReadResult;
    }
    for (const auto& [slot, text] : fStorage) {
      auto message = std::make_unique<TVTSMSManagerMessage>();
      message->setMessageIndex(slot);
      message->setTheMessage(text);
      message->setMessageDataPDU("PDU " + text);
      message->setRecipient("4917");
      aTOList->push_back(std::move(message));
    }
    return ICSMSRESULT_OK;
  }
  int deleteSMSs(TVTSMSManagerMessageList* aMessageList) override {
    std::lock_guard lock(fLock);
    if (fArrivesBeforeDelete) { // the modem stores a new SMS between read and deletion
      fStorage.emplace_back(9, "late");
      fArrivesBeforeDelete = false;
    }
    if (aMessageList == nullptr) {
      fStorage.clear();
      return ICSMSRESULT_OK;
    }
    for (const auto& message : *aMessageList) {
      if (message->getMessageIndex() == fFailDeleteSlot) {
        return ICSMSRESULT_WRONGANSWER;
      }
      std::erase_if(fStorage,
                    [&](const auto& entry) { return entry.first == message->getMessageIndex(); });
      fDeletedSlots.push_back(message->getMessageIndex());
    }
    return ICSMSRESULT_OK;
  }
  void poll() { requestFullRead(); }
  void informActiveChanged() override {
    std::lock_guard lock(fLock);
    ++fActiveChanges;
  }

  void store(int aSlot, const std::string& aText) {
    std::lock_guard lock(fLock);
    fStorage.emplace_back(aSlot, aText);
  }
  template <typename T>
  T read(const T& aField) {
    std::lock_guard lock(fLock);
    return aField;
  }

  std::mutex fLock;
  std::vector<std::pair<int, std::string>> fStorage;
  std::vector<std::string> fSentPDUs;
  std::vector<int> fDeletedSlots;
  int fSendResult = ICSMSRESULT_OK;
  int fFailingSend = 0; // the n-th PDU sent (from 1) fails with 500; 0: none
  int fReadResult = ICSMSRESULT_OK;
  int fFailDeleteSlot = -1;
  bool fThrowOnRead = false;
  bool fArrivesBeforeDelete = false;
  int fReads = 0;
  int fActiveChanges = 0;
};

// What the events delivered, safe to read from the test thread.
struct TEventLog {
  std::mutex fLock;
  std::vector<std::string> fEvents;
  void add(const std::string& aEvent) {
    std::lock_guard lock(fLock);
    fEvents.push_back(aEvent);
  }
  std::vector<std::string> events() {
    std::lock_guard lock(fLock);
    return fEvents;
  }
  std::size_t count() { return events().size(); }
};

class VTSMSManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    fDriver.setAutoDeleteSMS(true);
    fDriver.OnSMSReceived = [this](TVTSMSManager*, const std::string& aSender,
                                   const std::string& aText, const std::string&,
                                   const TVTSMSManagerMessage&) {
      const EStore store = fStore;
      fLog.add((store == EStore::Stored ? "received " : "not stored ") + aSender + " " + aText);
      if (store == EStore::Throws) {
        throw std::runtime_error("disk full");
      }
      return store == EStore::Stored;
    };
    fDriver.OnSMSSent = [this](TVTSMSManager*, const std::string& aSender, const std::string& aText,
                               const std::string& aData, const TVTSMSManagerMessage& aInfo) {
      fLog.add("sent " + aSender + " " + aText + " [" + aData + "] " + aInfo.getRecipient() + " " +
               std::to_string(aInfo.getMessageType()) + " " + aInfo.getMessageDataPDU());
    };
    fDriver.OnCodeError = [this](TVTSMSManager*, const std::string& aRecipient,
                                 const std::string& aText, const std::string& aError) {
      fLog.add("code error " + aRecipient + " " + aText + (aError.empty() ? "" : " (message)"));
    };
    fDriver.OnAutoReadSMSError = [this](TVTSMSManager*, int aCode) {
      fLog.add("read error " + std::to_string(aCode));
    };
    fDriver.OnAutoReadSMSException = [this](TVTSMSManager*, const std::exception& e) {
      fLog.add(std::string("read exception ") + e.what());
    };
  }

  enum class EStore { Stored, Refused, Throws };
  std::atomic<EStore> fStore{EStore::Stored};
  TFakeDriver fDriver;
  TEventLog fLog;
};

TEST_F(VTSMSManagerTest, SendsTextWithoutThePlusAndReportsTheSentRecord) {
  EXPECT_EQ(fDriver.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK);
  EXPECT_EQ(fDriver.read(fDriver.fSentPDUs),
            std::vector<std::string>{"0001000C91947111325476000005C8309BFD06"});
  EXPECT_EQ(fLog.events(), std::vector<std::string>{"sent +491711234567 Hallo [] +491711234567 0 "
                                                    "0001000C91947111325476000005C8309BFD06"});
}

TEST_F(VTSMSManagerTest, SendsBinaryAndPushDataAsHexText) {
  EXPECT_EQ(fDriver.sendSMSBinary("491711234567", {0x01, 0xAB}), ICSMSRESULT_OK);
  EXPECT_EQ(fDriver.sendSMSPush("491711234567", {0x01, 0x02}), ICSMSRESULT_OK);
  const auto pdus = fDriver.read(fDriver.fSentPDUs);
  ASSERT_EQ(pdus.size(), 2u);
  EXPECT_EQ(pdus[0], "0001000C9194711132547600040201AB");
  EXPECT_EQ(pdus[1], "0081000C9194711132547600F5020102");
  EXPECT_EQ(fLog.events()[0], "sent 491711234567 01AB [] 491711234567 1 " + pdus[0]);
}

TEST_F(VTSMSManagerTest, ACodecFailureIsReportedAndTheEmptyPDUsResultReturned) {
  const std::string text = "\xE6\x97\xA5"; // a character without a GSM code
  EXPECT_EQ(fDriver.sendSMSText("+4917", text), 500);
  EXPECT_EQ(fLog.events(), std::vector<std::string>{"code error 4917 " + text + " (message)"});
  EXPECT_EQ(fDriver.read(fDriver.fSentPDUs), std::vector<std::string>{""});

  fDriver.fSendResult = 304;
  fLog.fEvents.clear();
  EXPECT_EQ(fDriver.sendSMSText("4917", "Hi"), 304);
  EXPECT_TRUE(fLog.events().empty()) << "no sent event for a failed send";
  fDriver.fSendResult = ICSMSRESULT_OK;
  EXPECT_EQ(fDriver.sendSMSPush("4917", {0x01}), ICSMSRESULT_OK);
  EXPECT_EQ(fDriver.getSentCount(), 1u);
  EXPECT_EQ(fDriver.getSendFailureCount(), 2u);
}

// The parts of one long text, decoded and joined as a phone does.
TSMSConcatMessage joined(const std::vector<std::string>& aPDUs) {
  const TSMSCODEC codec;
  std::vector<TSMSConcatPart> parts;
  for (const auto& pdu : aPDUs) {
    parts.push_back({codec.DecodeSMSFull(pdu), pdu, TDateTime()});
  }
  return joinSMSParts(std::move(parts));
}

TEST_F(VTSMSManagerTest, SendsALongTextInPartsAndReportsItOnceAsAWhole) {
  const std::string cyrillic = "\xD0\x96"; // one UCS2 character
  std::string text;
  for (int i = 0; i < 100; ++i) {
    text += cyrillic;
  }
  EXPECT_EQ(fDriver.sendSMSTextParts("+4917", text, 6), ICSMSRESULT_OK);
  const auto first = fDriver.read(fDriver.fSentPDUs);
  ASSERT_EQ(first.size(), 2u) << "67 UCS2 characters a part";
  EXPECT_TRUE(joined(first).Complete);
  EXPECT_EQ(joined(first).Text, text);
  EXPECT_EQ(fLog.events(), std::vector<std::string>{"sent +4917 " + text + " [] +4917 0 " +
                                                    first[0] + " " + first[1]});

  // The next message has a reference of its own; a short text is one plain SMS.
  EXPECT_EQ(fDriver.sendSMSTextParts("4917", text, 6), ICSMSRESULT_OK);
  EXPECT_EQ(fDriver.sendSMSTextParts("4917", "Hallo", 6), ICSMSRESULT_OK);
  const auto all = fDriver.read(fDriver.fSentPDUs);
  ASSERT_EQ(all.size(), 5u);
  const TSMSCODEC codec;
  EXPECT_NE(codec.DecodeSMSFull(all[2]).Concat.Reference,
            codec.DecodeSMSFull(all[0]).Concat.Reference);
  EXPECT_EQ(all[4], codec.EncodeSMS("4917", "Hallo"));

  // More parts than allowed: nothing goes out.
  EXPECT_THROW(fDriver.sendSMSTextParts("4917", text, 1), ESMSTooManyParts);
  EXPECT_EQ(fDriver.read(fDriver.fSentPDUs).size(), 5u);
  EXPECT_EQ(fDriver.getSentCount(), 3u) << "a long text counts as one message";
  EXPECT_EQ(fDriver.getSendFailureCount(), 0u);
}

TEST_F(VTSMSManagerTest, AFailedPartFailsTheLongTextAndThePartsSentAreLogged) {
  TMemoryAppender appender;
  Logger().addAppender(&appender);
  fDriver.fFailingSend = 2;
  const std::string text(400, 'x'); // three parts of 153 septets
  EXPECT_EQ(fDriver.sendSMSTextParts("4917", text, 6), 500);
  for (int i = Logger().getAppenderCount() - 1; i >= 0; --i) {
    if (Logger().getAppender(i) == &appender) {
      Logger().deleteAppender(i);
    }
  }
  const auto sent = fDriver.read(fDriver.fSentPDUs);
  ASSERT_EQ(sent.size(), 2u) << "the third part is not tried";
  EXPECT_TRUE(fLog.events().empty()) << "no sent event";
  bool logged = false;
  for (const auto& message : appender.messages()) {
    logged = logged || message.getLogMessage() == "SMS to \"4917\" not sent: part 2 of 3 failed "
                                                  "(500); parts sent before it: " +
                                                      sent[0];
  }
  EXPECT_TRUE(logged);
  EXPECT_EQ(fDriver.getSendFailureCount(), 1u);
  EXPECT_EQ(fDriver.getSentCount(), 0u);
}

TEST_F(VTSMSManagerTest, PollsAtOnceReportsOnceAndDeletesOnlyWhatItRead) {
  fDriver.setSMSCheckIntervall(60000);
  fDriver.store(1, "one");
  fDriver.store(2, "two");
  fDriver.fArrivesBeforeDelete = true;
  fDriver.setActive(true);
  ASSERT_TRUE(waitFor([&] { return fDriver.read(fDriver.fDeletedSlots).size() == 2; }));
  EXPECT_EQ(fLog.events(), (std::vector<std::string>{"received 4917 one", "received 4917 two"}));
  EXPECT_EQ(fDriver.read(fDriver.fStorage).size(), 1u) << "the late SMS is kept";

  fDriver.addReceivedMessage(std::make_unique<TVTSMSManagerMessage>(), true); // wakes the thread
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 4; }));
  EXPECT_EQ(fLog.events()[2], "received 4917 late");
  EXPECT_EQ(fLog.events()[3], "received  ") << "injected messages come after the modem's own";
  fDriver.setActive(false);
  EXPECT_TRUE(fDriver.read(fDriver.fStorage).empty());
}

TEST_F(VTSMSManagerTest, AMessageLeavesTheModemOnlyOnceStoredAndIsNeverStoredTwice) {
  fDriver.setSMSCheckIntervall(3'600'000);
  fDriver.store(1, "one");
  fStore = EStore::Refused;
  fDriver.setActive(true);
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 1; }));
  fStore = EStore::Throws;
  fDriver.poll();
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 3; }));
  EXPECT_EQ(fDriver.read(fDriver.fStorage).size(), 1u) << "not stored: it stays";
  EXPECT_TRUE(fDriver.read(fDriver.fDeletedSlots).empty());

  // Stored, but its deletion fails: the next reads delete it without storing it again.
  fStore = EStore::Stored;
  fDriver.fLock.lock();
  fDriver.fFailDeleteSlot = 1;
  fDriver.fLock.unlock();
  fDriver.poll();
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 4; }));
  fDriver.poll();
  ASSERT_TRUE(waitFor([&] { return fDriver.read(fDriver.fReads) == 4; }));
  fDriver.fLock.lock();
  fDriver.fFailDeleteSlot = -1;
  fDriver.fLock.unlock();
  fDriver.poll();
  ASSERT_TRUE(waitFor([&] { return fDriver.read(fDriver.fDeletedSlots).size() == 1; }));
  fDriver.setActive(false);
  const auto events = fLog.events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], "not stored 4917 one");
  EXPECT_EQ(events[1], "not stored 4917 one");
  EXPECT_EQ(events[2], "read exception disk full");
  EXPECT_EQ(events[3], "received 4917 one");
  EXPECT_TRUE(fDriver.read(fDriver.fStorage).empty());
}

// The program ends between storing a message and deleting it: the next run finds it in the
// modem and in the journal file, deletes it and does not store it again.
TEST_F(VTSMSManagerTest, TheJournalFileKeepsAStoredMessageFromBeingStoredAfterARestart) {
  testsupport::TTempDir dir;
  const std::string journal = dir.file("stored");
  fDriver.setStoredSMSFile(journal);
  fDriver.setSMSCheckIntervall(3'600'000);
  fDriver.store(1, "one");
  fDriver.store(2, "two");
  fDriver.fFailDeleteSlot = 2;
  fDriver.setActive(true);
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 2; }));
  ASSERT_TRUE(waitFor([&] { return fDriver.read(fDriver.fDeletedSlots).size() == 1; }));
  fDriver.setActive(false);

  TFakeDriver restarted;
  restarted.fStorage = fDriver.read(fDriver.fStorage);
  ASSERT_EQ(restarted.fStorage.size(), 1u);
  restarted.setAutoDeleteSMS(true);
  restarted.setStoredSMSFile(journal);
  restarted.setSMSCheckIntervall(3'600'000);
  std::atomic<int> reported{0};
  restarted.OnSMSReceived = [&](TVTSMSManager*, const std::string&, const std::string&,
                                const std::string&, const TVTSMSManagerMessage&) {
    ++reported;
    return true;
  };
  restarted.setActive(true);
  ASSERT_TRUE(waitFor([&] { return restarted.read(restarted.fDeletedSlots).size() == 1; }));
  restarted.setActive(false);
  EXPECT_EQ(reported, 0);
  EXPECT_TRUE(restarted.read(restarted.fStorage).empty());
  TVTStoredSMSJournal reloaded;
  reloaded.setFileName(journal);
  EXPECT_EQ(reloaded.size(), 0u) << "nothing left to remember";
}

TEST_F(VTSMSManagerTest, InjectedMessagesWaitForActivation) {
  auto injected = std::make_unique<TVTSMSManagerMessage>();
  injected->setRecipient("4930");
  fDriver.addReceivedMessage(std::move(injected), true);
  EXPECT_EQ(fLog.count(), 0u);
  fDriver.setActive(true);
  fDriver.setActive(true);
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 1; }));
  fDriver.setActive(false); // returns once the waiting thread has ended
  EXPECT_EQ(fDriver.read(fDriver.fActiveChanges), 2);
  EXPECT_EQ(fDriver.read(fDriver.fReads), 1) << "one thread, one cycle";
}

TEST_F(VTSMSManagerTest, ThePollingThreadSurvivesFailures) {
  fDriver.fThrowOnRead = true;
  fDriver.setActive(true);
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 1; }));
  fDriver.fLock.lock();
  fDriver.fReadResult = ICSMSRESULT_WRONGANSWER;
  fDriver.fLock.unlock();
  fDriver.addReceivedMessage(std::make_unique<TVTSMSManagerMessage>(), true);
  ASSERT_TRUE(waitFor([&] { return fLog.count() == 3; }));
  EXPECT_EQ(fLog.events(),
            (std::vector<std::string>{"read exception port gone", "read error 4", "received  "}));
}

} // namespace
