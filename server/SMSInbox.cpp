#include "server/SMSInbox.h"

#include "common/SystemTools.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"
#include "server/CoreLog.h"
#include "server/MessageFiles.h"

bool writeSMSFile(const std::string& aFolder, const TVTSMSManagerMessage& aMessage) {
  std::string path, error;
  if (!writeMessageFile(aFolder, messageFileBaseName(NowLocal(), aMessage.getRecipient()),
                        aMessage.toStreamText(), path, error)) {
    Logger().error(SC_LOGMODULE_SMSMODEM, "writing SMS-File \"" + path + "\": " + error);
    return false;
  }
  return true;
}

bool TSMSInbox::handleReceived(const std::string& aSender, const std::string& aMessageText,
                               const std::string& aMessageData,
                               const TVTSMSManagerMessage& aSMSInfo) {
  TVTSMSManagerMessage sms = aSMSInfo;
  sms.setRecipient(aSender);
  sms.setTheMessage(aMessageText);
  sms.setMessageDataPDU(aMessageData);
  const TDateTime received = NowUTC();
  TKvLogger& logger = Logger();
  const bool trace = logger.isTrace();
  const std::string timestamp = trace ? coreDateTimeText(sms.getMessageTimestamp()) : "";
  if (trace) {
    logger.trace(SC_LOGMODULE_RECEIVESMSSERIAL,
                 "new sms received from \"" + aSender + "\" text=\"" + aMessageText + "\" data=\"" +
                     aMessageData + "\" timestamp=\"" + timestamp + "\"");
  }
  fileOnce(sms);
  const std::int64_t key = storeReceived(sms, received);
  if (key > 0) {
    forgetFiled(aMessageData);
  }
  if (trace) {
    const std::string data = sms.getMessageType() != VTSMSMMT_TEXT ? aMessageData : "";
    logger.trace(SC_LOGMODULE_SMSMODEM, "SMS received: <" + timestamp + "> " + aSender + ", \"" +
                                            aMessageText + "\", [" + data + "]");
  }
  return key > 0;
}

void TSMSInbox::fileOnce(const TVTSMSManagerMessage& aSMS) {
  const std::string& pdu = aSMS.getMessageDataPDU();
  {
    TScopedLock lock(fCSFiled);
    if (!pdu.empty() && fFiled.count(pdu) != 0) {
      return;
    }
  }
  if (!writeSMSFile(fReceivedFolder, aSMS) || pdu.empty()) {
    return; // tried again at the next reading
  }
  constexpr std::size_t kMaxFiled = 1000;
  TScopedLock lock(fCSFiled);
  if (fFiled.insert(pdu).second) {
    fFiledOrder.push_back(pdu);
  }
  while (fFiledOrder.size() > kMaxFiled) {
    fFiled.erase(fFiledOrder.front());
    fFiledOrder.pop_front();
  }
}

void TSMSInbox::forgetFiled(const std::string& aPdu) {
  TScopedLock lock(fCSFiled);
  if (fFiled.erase(aPdu) != 0) {
    std::erase(fFiledOrder, aPdu);
  }
}

std::int64_t TSMSInbox::storeReceived(const TVTSMSManagerMessage& aSMS, TDateTime aReceived) {
  try {
    const std::int64_t key = fStore.saveReceivedSMS(aSMS, aReceived);
    return key > 0 ? key : -1;
  } catch (const std::exception& e) {
    Logger().error(SC_LOGMODULE_SMSMODEM, std::string("writing incomming SMS to DB : ") + e.what());
    return 0;
  }
}
