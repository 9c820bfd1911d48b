// The core's modem: activation in the background, deactivation, and the driver's events.
#include "common/LanguageTools.h"
#include "common/SystemTools.h"
#include "logging/KvLogger.h"
#include "modem/VTSMSManagerSerialModem.h"
#include "platform/ProcessInfo.h"
#include "server/MessageFiles.h"
#include "server/ServerController.h"

#include <charconv>

namespace {

constexpr const char* kModule = "servercontroller";
constexpr const char* kModemModule = "smsmodem";
constexpr const char* SC_STOREDSMSFILE = "Parlino.storedsms";

std::string defaultDateTimeText(TDateTime aValue) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  return formatDateTime("dd.MM.yyyy hh:mm:ss", aValue, settings);
}

int readAccountKey(const std::string& aLine) {
  const std::string key = aLine.substr(0, aLine.find('='));
  int value = -1;
  const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), value);
  return ec == std::errc() && end == key.data() + key.size() ? value : -1;
}

} // namespace

void TIWServerController::createSerialModem() {
  SMSSerialModem = std::make_unique<TVTSMSManagerSerialModem>();
  SMSSerialModem->setSMSCheckIntervall(IC_DEFAULTSMSRECEIVECHECKINTERVALL);
  SMSSerialModem->setAutoDeleteSMS(true);
  SMSSerialModem->setCommPort(1);
  SMSSerialModem->setBaudRate(br9600);
  SMSSerialModem->setSMSMemorySizeDefaultStorage(IC_DEFAULTSMSMEMORYSIZE);
  SMSSerialModem->setSMSMemorySizeSendStorage(IC_DEFAULTSMSMEMORYSIZE);
  SMSSerialModem->setSMSMemorySizeReceiveStorage(IC_DEFAULTSMSMEMORYSIZE);
  // Received SMS stored but not yet deleted from the modem, so that none is stored twice.
  SMSSerialModem->setStoredSMSFile(platform::programHome() + SC_STOREDSMSFILE);
  using namespace std::placeholders;
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
    std::lock_guard lock(fCSActivationThreads);
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

void TIWServerController::waitForActivations() {
  std::vector<std::unique_ptr<TBKThread>> threads;
  {
    std::lock_guard lock(fCSActivationThreads);
    threads.swap(fActivationThreads);
  }
  threads.clear(); // joins each
}

bool TIWServerController::writeSMSFile(const std::string& aFolder,
                                       const TVTSMSManagerMessage& aMessage) {
  const std::string folder = platform::programHome() + aFolder;
  std::string path, error;
  if (!writeMessageFile(folder, messageFileBaseName(NowLocal(), aMessage.getRecipient()),
                        aMessage.toStreamText(), path, error)) {
    logToFile(KVLL_ERROR, kModemModule, "writing SMS-File \"" + path + "\": " + error);
    return false;
  }
  return true;
}

bool TIWServerController::SMSSerialModemSMSReceived(TVTSMSManager*, const std::string& aSender,
                                                    const std::string& aMessageText,
                                                    const std::string& aMessageData,
                                                    const TVTSMSManagerMessage& aSMSInfo) {
  TVTSMSManagerMessage sms = aSMSInfo;
  sms.setRecipient(aSender);
  sms.setTheMessage(aMessageText);
  sms.setMessageDataPDU(aMessageData);
  const TDateTime received = NowUTC();
  TKvLogger& logger = Logger();
  const std::string timestamp = defaultDateTimeText(sms.getMessageTimestamp());
  if (logger.isTrace()) {
    logger.trace("receivesmsserial", "new sms received from \"" + aSender + "\" text=\"" +
                                         aMessageText + "\" data=\"" + aMessageData +
                                         "\" timestamp=\"" + timestamp + "\"");
  }
  const bool fileWritten = writeSMSFile(SC_RECEIVEDFOLDER, sms);

  std::int64_t key = 0;
  try {
    key =
        fDatabase->saveSMSIn(sms.getMessageType(), sms.getRecipient(), 0, sms.getTheMessage(),
                             sms.getMessageDataPDU(), sms.getMessageTimestamp(), received,
                             sms.getMessageIndex(), sms.getMessageState(), sms.getMessageLength());
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, kModemModule, std::string("writing incomming SMS to DB : ") + e.what());
    key = 0;
  }

  std::vector<std::string> accounts;
  if (fDatabase->retrieveAccounts(&accounts)) {
    for (const std::string& line : accounts) {
      const int accountId = readAccountKey(line);
      if (!fDatabase->checkSMSForUnread(&sms, accountId)) {
        continue;
      }
      try {
        fDatabase->saveSMSUnRead(accountId, sms.getMessageType(), key, sms.getRecipient(),
                                 sms.getTheMessage(), sms.getMessageDataPDU(),
                                 sms.getMessageTimestamp(), received, sms.getMessageIndex(),
                                 sms.getMessageState(), sms.getMessageLength());
      } catch (const std::exception& e) {
        logToFile(KVLL_ERROR, kModemModule,
                  std::string("error writing sms to unread table: ") + e.what());
      }
    }
  }
  if (logger.isTrace()) {
    const std::string data = sms.getMessageType() != VTSMSMMT_TEXT ? aMessageData : "";
    logToFile(KVLL_TRACE, kModemModule,
              "SMS received: <" + timestamp + "> " + aSender + ", \"" + aMessageText + "\", [" +
                  data + "]");
  }
  return fileWritten && key > 0; // saveSMSIn gives -1 while the database is not connected
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
  TVTSMSManagerMessage sms = aSMSInfo;
  sms.setRecipient(aSender);
  sms.setTheMessage(aMessageText);
  writeSMSFile(SC_SENTFOLDER, sms);
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
  logToFile(KVLL_ERROR, kModemModule,
            "decode error: \"" + aPDUToDecode + "\", [" + aErrorMessage + "]");
}

void TIWServerController::SMSSerialModemAutoReadSMSError(TVTSMSManager*, int aErrorCode) {
  logToFile(KVLL_ERROR, kModemModule, "(autoreadSMS): " + std::to_string(aErrorCode));
}
