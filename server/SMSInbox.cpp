#include "server/SMSInbox.h"

#include "common/SystemTools.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"
#include "server/CoreLog.h"
#include "server/MessageFiles.h"

namespace {

// The key of an "id=name" line of retrieveAccounts; -1 when unreadable.
int accountKeyOf(const std::string& aLine) {
  int key = -1;
  return tryParseInteger(std::string_view(aLine).substr(0, aLine.find('=')), key) ? key : -1;
}

} // namespace

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
  const bool written = writeSMSFile(fReceivedFolder, sms);
  const std::int64_t key = storeReceived(sms, received);
  if (trace) {
    const std::string data = sms.getMessageType() != VTSMSMMT_TEXT ? aMessageData : "";
    logger.trace(SC_LOGMODULE_SMSMODEM, "SMS received: <" + timestamp + "> " + aSender + ", \"" +
                                            aMessageText + "\", [" + data + "]");
  }
  return written && key > 0;
}

std::int64_t TSMSInbox::storeReceived(const TVTSMSManagerMessage& aSMS, TDateTime aReceived) {
  std::int64_t key = 0;
  try {
    key = fStore.saveSMSIn(aSMS.getMessageType(), aSMS.getRecipient(), 0, aSMS.getTheMessage(),
                           aSMS.getMessageDataPDU(), aSMS.getMessageTimestamp(), aReceived,
                           aSMS.getMessageIndex(), aSMS.getMessageState(), aSMS.getMessageLength());
  } catch (const std::exception& e) {
    Logger().error(SC_LOGMODULE_SMSMODEM, std::string("writing incomming SMS to DB : ") + e.what());
    key = 0;
  }
  std::vector<std::string> accounts;
  if (!fStore.retrieveAccounts(&accounts)) {
    return key;
  }
  for (const std::string& line : accounts) {
    const int accountId = accountKeyOf(line);
    if (!fStore.checkSMSForUnread(&aSMS, accountId)) {
      continue;
    }
    try {
      fStore.saveSMSUnRead(accountId, aSMS.getMessageType(), key, aSMS.getRecipient(),
                           aSMS.getTheMessage(), aSMS.getMessageDataPDU(),
                           aSMS.getMessageTimestamp(), aReceived, aSMS.getMessageIndex(),
                           aSMS.getMessageState(), aSMS.getMessageLength());
    } catch (const std::exception& e) {
      Logger().error(SC_LOGMODULE_SMSMODEM,
                     std::string("error writing sms to unread table: ") + e.what());
    }
  }
  return key;
}
