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
  fileOnce(sms);
  const std::int64_t key = storeReceived(sms, received);
  if (key > 0) {
    forgetFiled(aMessageData);
  }
  traceStored(sms);
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
  try {
    const std::int64_t key = fStore.saveReceivedSMS(aSMS, aReceived);
    return key > 0 ? key : -1;
  } catch (const std::exception& e) {
    Logger().error(SC_LOGMODULE_SMSMODEM, std::string("writing incomming SMS to DB : ") + e.what());
    return 0;
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
  const std::int64_t key = storeReceived(sms, aReceived);
  if (key < 0) {
    return false; // not connected: the parts stay for a later try
  }
  // The row and its copies are stored, or cannot be (logged): the parts go, the file keeps
  // the text in any case.
  writeSMSFile(fReceivedFolder, sms);
  fStore.deleteSMSParts(aMessageKey);
  if (!aMessage.Complete) {
    Logger().warn(SC_LOGMODULE_SMSMODEM,
                  "incomplete SMS from \"" + sms.getRecipient() + "\" stored as it is: parts " +
                      partNumbers(aMessage) + " of " +
                      std::to_string(aMessage.Parts.front().Decoded.Concat.Total) +
                      " arrived before the time-out");
  }
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
