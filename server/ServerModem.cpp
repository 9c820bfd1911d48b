// The core's modem: activation in the background, deactivation, and the driver's events.
#include "common/SystemTools.h"
#include "logging/KvLogger.h"
#include "modem/VTSMSManagerSerialModem.h"
#include "platform/ProcessInfo.h"
#include "server/CoreLog.h"
#include "server/MessageFiles.h"
#include "server/ServerController.h"

namespace {

constexpr const char* kModule = SC_LOGMODULE_SERVERCONTROLLER;
constexpr const char* kModemModule = SC_LOGMODULE_SMSMODEM;
constexpr const char* SC_STOREDSMSFILE = "Parlino.storedsms";

} // namespace

void TIWServerController::createSerialModem() {
  SMSSerialModem->setSMSCheckIntervall(IC_DEFAULTSMSRECEIVECHECKINTERVALL);
  SMSSerialModem->setAutoDeleteSMS(true);
  SMSSerialModem->setCommPort(1);
  SMSSerialModem->setBaudRate(br9600);
  SMSSerialModem->setSMSMemorySizeDefaultStorage(IC_DEFAULTSMSMEMORYSIZE);
  SMSSerialModem->setSMSMemorySizeSendStorage(IC_DEFAULTSMSMEMORYSIZE);
  SMSSerialModem->setSMSMemorySizeReceiveStorage(IC_DEFAULTSMSMEMORYSIZE);
  // Received SMS stored but not yet deleted from the modem, so that none is stored twice.
  SMSSerialModem->setStoredSMSFile(platform::programHome() + SC_STOREDSMSFILE);
  SMSSerialModem->OnSMSSent =
      [this](TVTSMSManager* Sender, const std::string& aSender, const std::string& aMessageText,
             const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo) {
        SMSSerialModemSMSSent(Sender, aSender, aMessageText, aMessageData, aSMSInfo);
      };
  SMSSerialModem->OnSMSReceived =
      [this](TVTSMSManager* Sender, const std::string& aSender, const std::string& aMessageText,
             const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo) {
        return SMSSerialModemSMSReceived(Sender, aSender, aMessageText, aMessageData, aSMSInfo);
      };
  SMSSerialModem->OnCodeError = [this](TVTSMSManager* Sender, const std::string& aRecipient,
                                       const std::string& aText, const std::string& aError) {
    SMSSerialModemCodeError(Sender, aRecipient, aText, aError);
  };
  SMSSerialModem->OnDecodeError = [this](TVTSMSManager* Sender, const std::string& aPDU,
                                         const std::string& aError) {
    SMSSerialModemDecodeError(Sender, aPDU, aError);
  };
  SMSSerialModem->OnAutoReadSMSError = [this](TVTSMSManager* Sender, int aErrorCode) {
    SMSSerialModemAutoReadSMSError(Sender, aErrorCode);
  };
}

void TIWServerController::applySerialModemEntry(const TSerialModemEntry& aEntry) {
  if (!aEntry.Error.empty()) {
    Logger().error(kModule,
                   "configuration error: " + aEntry.Error + "; the serial modem stays inactive",
                   KVLCAT_OPTIONS, nullptr);
  }
  fSerialModemActive = aEntry.Active;
  fModemSettings = aEntry;
  SMSSerialModem->setCommPort(aEntry.CommPort);
  TBaudRate baudRate = br9600;
  if (!tryBaudRateFromName(aEntry.BaudRateName, baudRate)) {
    baudRate = br9600;
  }
  SMSSerialModem->setBaudRate(baudRate);
  SMSSerialModem->setPIN(aEntry.Pin);
}

std::string TIWServerController::modemPortText() const {
  return "COM" + std::to_string(SMSSerialModem->getCommPort());
}

bool TIWServerController::activateSerialModem() {
  try {
    TScopedLock lock(fCSActivationThreads);
    // Finished activations are joined here; one still running is kept.
    std::erase_if(fActivationThreads,
                  [](const std::unique_ptr<TBKThread>& aThread) { return aThread->finished(); });
    auto thread = std::make_unique<TBKThread>([this] { activateSerialModemWork(); });
    thread->start();
    fActivationThreads.push_back(std::move(thread));
    return true;
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModule, std::string("on activate serial modem: ") + e.what());
    return false;
  }
}

void TIWServerController::activateSerialModemWork() {
  try {
    if (!fSerialModemActive || SMSSerialModem->getActive()) {
      return;
    }
    logToFile(KVLL_INFO, kModule, "serial modem activate (" + modemPortText() + ")...");
    SMSSerialModem->setActive(true);
    if (SMSSerialModem->getActive()) {
      logToFile(KVLL_INFO, kModule, "serial modem activated (" + modemPortText() + ")");
    } else {
      logToFile(KVLL_ERROR, kModule, "serial modem activation failed (" + modemPortText() + ")");
    }
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModule, std::string("on activate thread serial modem: ") + e.what());
  }
}

bool TIWServerController::deactivateSerialModem() {
  try {
    if (fSerialModemActive && SMSSerialModem->getActive()) {
      logToFile(KVLL_INFO, kModule, "serial modem deactivate...");
      SMSSerialModem->setActive(false);
      logToFile(KVLL_INFO, kModule, "serial modem deactivated");
    }
    return true;
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModule, std::string("on deactivate serial modem: ") + e.what());
    return false;
  }
}

void TIWServerController::waitForActivations(std::chrono::steady_clock::time_point aDeadline) {
  std::vector<std::unique_ptr<TBKThread>> threads;
  {
    TScopedLock lock(fCSActivationThreads);
    threads.swap(fActivationThreads);
  }
  for (const auto& thread : threads) {
    if (!thread->waitFinished(aDeadline)) {
      logToFile(KVLL_WARN, kModule,
                "serial modem activation still under way (" + modemPortText() +
                    "): its dialogue is cut short");
      SMSSerialModem->interruptDialogue();
      break;
    }
  }
  threads.clear(); // joins each
}

bool TIWServerController::SMSSerialModemSMSReceived(TVTSMSManager*, const std::string& aSender,
                                                    const std::string& aMessageText,
                                                    const std::string& aMessageData,
                                                    const TVTSMSManagerMessage& aSMSInfo) {
  const bool stored = fInbox.handleReceived(aSender, aMessageText, aMessageData, aSMSInfo);
  if (stored) {
    fCounters.countReceived(NowUTC());
  }
  return stored;
}

void TIWServerController::SMSSerialModemSMSSent(TVTSMSManager*, const std::string& aSender,
                                                const std::string& aMessageText,
                                                const std::string& aMessageData,
                                                const TVTSMSManagerMessage& aSMSInfo) {
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logToFile(KVLL_TRACE, kModemModule,
              "SMS sent: " + aSender + ", \"" + aMessageText + "\", [" + aMessageData + "]");
  }
  fCounters.countSent(NowUTC());
  TVTSMSManagerMessage sms = aSMSInfo;
  sms.setRecipient(aSender);
  sms.setTheMessage(aMessageText);
  writeSMSFile(platform::programHome() + SC_SENTFOLDER, sms);
  try {
    fDatabase->saveSMSOut(sms.getMessageType(), sms.getRecipient(), 0, sms.getTheMessage(),
                          sms.getMessageDataPDU(), NowUTC(), "", sms.getMessageIndex(),
                          sms.getMessageState(), sms.getMessageLength());
    if (logger.isTrace()) {
      logToFile(KVLL_TRACE, kModemModule,
                "wrote outgoing SMS to DB : " + sms.getRecipient() + " \"" + sms.getTheMessage() +
                    "\"");
    }
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModemModule, std::string("writing outgoing SMS to DB : ") + e.what());
  }
}

void TIWServerController::SMSSerialModemCodeError(TVTSMSManager*,
                                                  const std::string& aRecipientToCode,
                                                  const std::string& aTextToCode,
                                                  const std::string& aErrorMessage) {
  logToFile(KVLL_ERROR, kModemModule,
            "coding error: " + aRecipientToCode + ", \"" + aTextToCode + "\", [" + aErrorMessage +
                "]");
}

void TIWServerController::SMSSerialModemDecodeError(TVTSMSManager*, const std::string& aPDUToDecode,
                                                    const std::string& aErrorMessage) {
  fCounters.countDecodeError();
  logToFile(KVLL_ERROR, kModemModule,
            "decode error: \"" + aPDUToDecode + "\", [" + aErrorMessage + "]");
}

void TIWServerController::SMSSerialModemAutoReadSMSError(TVTSMSManager*, int aErrorCode) {
  logToFile(KVLL_ERROR, kModemModule, "(autoreadSMS): " + std::to_string(aErrorCode));
}
