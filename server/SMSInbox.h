#pragma once

#include "common/DateTime.h"
#include "modem/SMSCodec.h"
#include "modem/SMSConcatCollector.h"
#include "modem/VTSMSManagerMessage.h"
#include "platform/Locks.h"
#include "server/SMSStore.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

// The handling of a received SMS: its message file in the received folder, its row in
// smsserver_in and a copy in the unread queue of every account whose receive patterns match
// its sender. The row and its copies are stored together (saveReceivedSMS): an SMS is stored
// with all its copies or not at all, and one that is not stays in the modem and is offered
// again, so it is never stored twice and never queued without its row (no copy with key 0).
// The message file is written at the first reading of an SMS, also while the database is
// down; readings of the same SMS (the same PDU) after that write no further file. A file
// that cannot be written is logged and does not keep the SMS in the modem: the database
// holds it. Failures are logged (module "smsmodem").
//
// A part of a long (concatenated) SMS is kept in the store's table of parts until its
// message is whole; then the message is handled once as one SMS, its text joined in part
// order, its PDU column holding the parts' PDUs. A part kept already is not kept twice. Parts
// whose message stays incomplete longer than the time-out are handled as they are by
// deliverDueParts (logged as incomplete).
//
// Threads: the modem's polling thread (handleReceived) and the parts watch (deliverDueParts).
// Locks: fCSParts serialises the work on kept parts; it is taken before the store's own lock.
// fCSFiled, a leaf, guards the PDUs filed but not yet stored. The store is not owned and
// outlives the inbox.
class TSMSInbox {
public:
  using TClock = std::function<TDateTime()>;

  TSMSInbox(ISMSStore& aStore, std::string aReceivedFolder);

  // One SMS as the driver reports it. True when it is kept: its row and its copies stored,
  // or, for a part of a long SMS, the part kept (the modem may then delete it).
  bool handleReceived(const std::string& aSender, const std::string& aMessageText,
                      const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo)
      EXCLUDES(fCSParts, fCSFiled);

  // The database part: the row and the unread copies, all with aReceived as reception time.
  // Returns the row's key; 0 when storing failed, -1 when the store is not connected.
  std::int64_t storeReceived(const TVTSMSManagerMessage& aSMS, TDateTime aReceived);

  // Handles the kept parts whose message is whole (its handling failed before) or whose
  // first part arrived longer than the time-out before aNow (as an incomplete message).
  // Returns the number of messages handled. Never raises.
  int deliverDueParts(TDateTime aNow) EXCLUDES(fCSParts);

  // How long parts wait for the rest of their message (the option ConcatTimeoutMinutes).
  void setConcatTimeout(std::chrono::milliseconds aTimeout) { fConcatTimeoutMS = aTimeout.count(); }
  // The clock of the reception times: the system's UTC clock unless a test sets another.
  // Set it before the inbox is used.
  void setClock(TClock aClock) { fClock = std::move(aClock); }
  TDateTime now() const { return fClock(); }

private:
  // aPDU decoded as a part of a long SMS whose key fits the table; false for anything else.
  bool decodePart(const std::string& aPDU, TSMSDecoded& aPart) const;
  bool keepPart(const TSMSDecoded& aPart, const std::string& aPDU, TDateTime aReceived)
      EXCLUDES(fCSParts);
  // The kept parts decoded and joined; a part that no longer decodes is left out (logged).
  TSMSConcatMessage joinKept(const std::vector<TSMSStoredPart>& aParts) const;
  // The message of kept parts handled as one SMS and its parts let go. False when the store
  // is not connected: the parts stay for a later try.
  bool deliverJoined(const std::string& aMessageKey, const TSMSConcatMessage& aMessage,
                     TDateTime aReceived) REQUIRES(fCSParts);
  // The message file of an SMS, unless one was written at an earlier reading.
  void fileOnce(const TVTSMSManagerMessage& aSMS) EXCLUDES(fCSFiled);
  void forgetFiled(const std::string& aPdu) EXCLUDES(fCSFiled);
  void traceStored(const TVTSMSManagerMessage& aSMS) const;

  ISMSStore& fStore;
  std::string fReceivedFolder;
  TSMSCODEC fCodec;
  TClock fClock;
  std::atomic<std::int64_t> fConcatTimeoutMS{60 * 60 * 1000};
  TCriticalSection fCSParts;
  TCriticalSection fCSFiled;
  // PDUs whose file is written and whose row is not stored yet, oldest first; bounded, so
  // that SMS that leave the modem otherwise (cleared by hand) are forgotten in the end.
  std::set<std::string> fFiled GUARDED_BY(fCSFiled);
  std::deque<std::string> fFiledOrder GUARDED_BY(fCSFiled);
};

// Writes aMessage's text form as a new message file in aFolder, named after the current local
// time and its other party. A failure is logged at error (module "smsmodem") and gives false.
bool writeSMSFile(const std::string& aFolder, const TVTSMSManagerMessage& aMessage);

// Which message a part of a long SMS belongs to: its sender, the kind and value of its
// reference and its part count, e.g. "491711234567/8/42/3".
std::string concatMessageKey(const TSMSDecoded& aPart);
