#include "server/SMSInbox.h"

#include "common/LanguageTools.h"
#include "common/SystemTools.h"
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"
#include "server/CoreLog.h"
#include "server/MessageFiles.h"

#include <algorithm>

namespace {

// The width of the key column of the parts table, in characters.
constexpr std::size_t IC_MAXMESSAGEKEY = 100;

// The key of an "id=name" line of retrieveAccounts; -1 when unreadable.
int accountKeyOf(const std::string& aLine) {
  int key = -1;
  return tryParseInteger(std::string_view(aLine).substr(0, aLine.find('=')), key) ? key : -1;
}

// The service-centre time stamp of a decoded SMS ("yyyy.MM.dd hh:mm:ss"); 0 when unreadable.
TDateTime timestampOf(const TSMSDecoded& aDecoded) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  settings.ShortDateFormat = "yyyy.MM.dd";
  TDateTime timestamp;
  return tryStrToDateTime(aDecoded.TimeStamp, timestamp, settings) ? timestamp : TDateTime();
}

// The record of a message joined from parts: the other party and time stamp of its first
// part, the joined text, the parts' PDUs in part order; not from one storage slot.
TVTSMSManagerMessage recordOf(const TSMSConcatMessage& aMessage) {
  const TSMSDecoded& first = aMessage.Parts.front().Decoded;
  std::string pdus;
  for (const TSMSConcatPart& part : aMessage.Parts) {
    pdus += (pdus.empty() ? "" : SC_SMSPARTSEPARATOR) + part.PDU;
  }
  TVTSMSManagerMessage sms;
  sms.setRecipient(first.Address);
  sms.setTheMessage(aMessage.Text);
  sms.setMessageDataPDU(pdus);
  sms.setMessageType(static_cast<TVTSMSManagerMessageType>(first.Alphabet));
  sms.setMessageTimestamp(timestampOf(first));
  return sms;
}

std::string partNumbers(const TSMSConcatMessage& aMessage) {
  std::string numbers;
  for (const TSMSConcatPart& part : aMessage.Parts) {
    numbers += (numbers.empty() ? "" : ", ") + std::to_string(part.Decoded.Concat.Number);
  }
  return numbers;
}

} // namespace

std::string concatMessageKey(const TSMSDecoded& aPart) {
  const TSMSConcatInfo& concat = aPart.Concat;
  return aPart.Address + "/" + (concat.WideReference ? "16" : "8") + "/" +
         std::to_string(concat.Reference) + "/" + std::to_string(concat.Total);
}

bool writeSMSFile(const std::string& aFolder, const TVTSMSManagerMessage& aMessage) {
  std::string path, error;
  if (!writeMessageFile(aFolder, messageFileBaseName(NowLocal(), aMessage.getRecipient()),
                        aMessage.toStreamText(), path, error)) {
    Logger().error(SC_LOGMODULE_SMSMODEM, "writing SMS-File \"" + path + "\": " + error);
    return false;
  }
  return true;
}

TSMSInbox::TSMSInbox(ISMSStore& aStore, std::string aReceivedFolder)
    : fStore(aStore), fReceivedFolder(std::move(aReceivedFolder)), fClock(&NowUTC) {}

bool TSMSInbox::handleReceived(const std::string& aSender, const std::string& aMessageText,
                               const std::string& aMessageData,
                               const TVTSMSManagerMessage& aSMSInfo) {
  TVTSMSManagerMessage sms = aSMSInfo;
  sms.setRecipient(aSender);
  sms.setTheMessage(aMessageText);
  sms.setMessageDataPDU(aMessageData);
  const TDateTime received = fClock();
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logger.trace(SC_LOGMODULE_RECEIVESMSSERIAL,
                 "new sms received from \"" + aSender + "\" text=\"" + aMessageText + "\" data=\"" +
                     aMessageData + "\" timestamp=\"" +
                     coreDateTimeText(sms.getMessageTimestamp()) + "\"");
  }
  TSMSDecoded part;
  if (decodePart(aMessageData, part)) {
    return keepPart(part, aMessageData, received);
  }
  const bool written = writeSMSFile(fReceivedFolder, sms);
  const std::int64_t key = storeReceived(sms, received);
  traceStored(sms);
  return written && key > 0;
}

void TSMSInbox::traceStored(const TVTSMSManagerMessage& aSMS) const {
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    const std::string data = aSMS.getMessageType() != VTSMSMMT_TEXT ? aSMS.getMessageDataPDU() : "";
    logger.trace(SC_LOGMODULE_SMSMODEM,
                 "SMS received: <" + coreDateTimeText(aSMS.getMessageTimestamp()) + "> " +
                     aSMS.getRecipient() + ", \"" + aSMS.getTheMessage() + "\", [" + data + "]");
  }
}

std::int64_t TSMSInbox::storeReceived(const TVTSMSManagerMessage& aSMS, TDateTime aReceived) {
  const std::int64_t key = saveRow(aSMS, aReceived);
  copyToAccounts(aSMS, key, aReceived);
  return key;
}

std::int64_t TSMSInbox::saveRow(const TVTSMSManagerMessage& aSMS, TDateTime aReceived) {
  try {
    return fStore.saveSMSIn(aSMS.getMessageType(), aSMS.getRecipient(), 0, aSMS.getTheMessage(),
                            aSMS.getMessageDataPDU(), aSMS.getMessageTimestamp(), aReceived,
                            aSMS.getMessageIndex(), aSMS.getMessageState(),
                            aSMS.getMessageLength());
  } catch (const std::exception& e) {
    Logger().error(SC_LOGMODULE_SMSMODEM, std::string("writing incomming SMS to DB : ") + e.what());
    return 0;
  }
}

void TSMSInbox::copyToAccounts(const TVTSMSManagerMessage& aSMS, std::int64_t aKey,
                               TDateTime aReceived) {
  std::vector<std::string> accounts;
  if (!fStore.retrieveAccounts(&accounts)) {
    return;
  }
  for (const std::string& line : accounts) {
    const int accountId = accountKeyOf(line);
    if (!fStore.checkSMSForUnread(&aSMS, accountId)) {
      continue;
    }
    try {
      fStore.saveSMSUnRead(accountId, aSMS.getMessageType(), aKey, aSMS.getRecipient(),
                           aSMS.getTheMessage(), aSMS.getMessageDataPDU(),
                           aSMS.getMessageTimestamp(), aReceived, aSMS.getMessageIndex(),
                           aSMS.getMessageState(), aSMS.getMessageLength());
    } catch (const std::exception& e) {
      Logger().error(SC_LOGMODULE_SMSMODEM,
                     std::string("error writing sms to unread table: ") + e.what());
    }
  }
}

// ---------------------------------------------------------------------------------------
// Parts of long SMS

bool TSMSInbox::decodePart(const std::string& aPDU, TSMSDecoded& aPart) const {
  try {
    aPart = fCodec.DecodeSMSFull(aPDU);
  } catch (const std::exception&) {
    return false; // handled as the driver reported it
  }
  // A sender too long for the key column (no real address is) is handled as a single SMS.
  return aPart.Concat.isPart() &&
         utf8ToCodePoints(concatMessageKey(aPart)).size() <= IC_MAXMESSAGEKEY;
}

bool TSMSInbox::keepPart(const TSMSDecoded& aPart, const std::string& aPDU, TDateTime aReceived) {
  const std::string key = concatMessageKey(aPart);
  const std::string which = "part " + std::to_string(aPart.Concat.Number) + " of " +
                            std::to_string(aPart.Concat.Total) + " of the SMS from \"" +
                            aPart.Address + "\"";
  TKvLogger& logger = Logger();
  TScopedLock lock(fCSParts);
  TSMSPartSaveResult saved = psNotConnected;
  try {
    saved = fStore.saveSMSPart({key, aPart.Concat.Number, aPDU, aReceived});
  } catch (const std::exception& e) {
    logger.error(SC_LOGMODULE_SMSMODEM, "writing " + which + " to DB : " + e.what());
    return false;
  }
  if (saved == psNotConnected) {
    return false;
  }
  if (saved == psDuplicate) {
    if (logger.isDebug()) {
      logger.debug(SC_LOGMODULE_SMSMODEM, which + " was kept before");
    }
    return true;
  }
  if (logger.isTrace()) {
    logger.trace(SC_LOGMODULE_SMSMODEM, which + " kept (message " + key + ")");
  }
  // The part is kept: whatever happens now, the parts watch tries the message again.
  try {
    std::vector<TSMSStoredPart> parts;
    if (fStore.retrieveSMSParts(key, parts)) {
      const TSMSConcatMessage message = joinKept(parts);
      if (message.Complete) {
        deliverJoined(key, message, aReceived);
      }
    }
  } catch (const std::exception& e) {
    logger.error(SC_LOGMODULE_SMSMODEM, "joining the parts of message " + key + ": " + e.what());
  }
  return true;
}

TSMSConcatMessage TSMSInbox::joinKept(const std::vector<TSMSStoredPart>& aParts) const {
  std::vector<TSMSConcatPart> parts;
  for (const TSMSStoredPart& kept : aParts) {
    try {
      parts.push_back({fCodec.DecodeSMSFull(kept.PDU), kept.PDU, kept.Received});
    } catch (const std::exception& e) {
      Logger().error(SC_LOGMODULE_SMSMODEM,
                     "kept part \"" + kept.PDU + "\" cannot be read: " + e.what());
    }
  }
  return joinSMSParts(std::move(parts));
}

bool TSMSInbox::deliverJoined(const std::string& aMessageKey, const TSMSConcatMessage& aMessage,
                              TDateTime aReceived) {
  const TVTSMSManagerMessage sms = recordOf(aMessage);
  const std::int64_t key = saveRow(sms, aReceived);
  if (key < 0) {
    return false; // not connected
  }
  // The row is written (or cannot be): the parts go, the file and the copies follow.
  writeSMSFile(fReceivedFolder, sms);
  fStore.deleteSMSParts(aMessageKey);
  if (!aMessage.Complete) {
    Logger().warn(SC_LOGMODULE_SMSMODEM,
                  "incomplete SMS from \"" + sms.getRecipient() + "\" stored as it is: parts " +
                      partNumbers(aMessage) + " of " +
                      std::to_string(aMessage.Parts.front().Decoded.Concat.Total) +
                      " arrived before the time-out");
  }
  copyToAccounts(sms, key, aReceived);
  traceStored(sms);
  return true;
}

int TSMSInbox::deliverDueParts(TDateTime aNow) {
  int delivered = 0;
  try {
    TScopedLock lock(fCSParts);
    std::vector<TSMSStoredPart> kept;
    if (!fStore.retrieveSMSParts("", kept)) {
      return 0;
    }
    for (auto first = kept.begin(); first != kept.end();) {
      const auto last = std::find_if(first, kept.end(), [&](const TSMSStoredPart& aPart) {
        return aPart.MessageKey != first->MessageKey;
      });
      const std::vector<TSMSStoredPart> parts(first, last);
      const std::string key = first->MessageKey;
      first = last;
      TDateTime firstReceived = parts.front().Received;
      TDateTime lastReceived = parts.front().Received;
      for (const TSMSStoredPart& part : parts) {
        firstReceived = std::min(firstReceived, part.Received);
        lastReceived = std::max(lastReceived, part.Received);
      }
      try {
        const TSMSConcatMessage message = joinKept(parts);
        if (message.Parts.empty()) {
          fStore.deleteSMSParts(key); // nothing readable is left of it (logged)
          continue;
        }
        const bool expired = firstReceived.addMilliseconds(fConcatTimeoutMS) < aNow;
        if ((message.Complete || expired) && deliverJoined(key, message, lastReceived)) {
          ++delivered;
        }
      } catch (const std::exception& e) {
        Logger().error(SC_LOGMODULE_SMSMODEM,
                       "delivering the kept parts of message " + key + ": " + e.what());
      }
    }
  } catch (const std::exception& e) {
    Logger().error(SC_LOGMODULE_SMSMODEM, std::string("reading the kept SMS parts: ") + e.what());
  }
  return delivered;
}
