#pragma once

#include "common/DateTime.h"
#include "modem/VTSMSManagerMessage.h"
#include "platform/Locks.h"
#include "server/SMSStore.h"

#include <cstdint>
#include <deque>
#include <set>
#include <string>

// The handling of a received SMS: its message file in the received folder, its row in
// smsserver_in and a copy in the unread queue of every account whose receive patterns match
// its sender. The row and its copies are stored together (saveReceivedSMS): an SMS is stored
// with all its copies or not at all, and one that is not stays in the modem and is offered
// again, so it is never stored twice and never queued without its row (no copy with key 0).
// The message file is written at the first reading of an SMS, also while the database is
// down; readings of the same SMS (the same PDU) after that write no further file. A file
// that cannot be written is logged and does not keep the SMS in the modem: the database
// holds it. Failures are logged (module "smsmodem").
// Threads: the modem's polling thread. fCSFiled, a leaf, guards the PDUs filed but not yet
// stored. The store is not owned and outlives the inbox.
class TSMSInbox {
public:
  TSMSInbox(ISMSStore& aStore, std::string aReceivedFolder)
      : fStore(aStore), fReceivedFolder(std::move(aReceivedFolder)) {}

  // One SMS as the driver reports it. True when it is stored: its row and its copies saved
  // (the modem may then delete it).
  bool handleReceived(const std::string& aSender, const std::string& aMessageText,
                      const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo)
      EXCLUDES(fCSFiled);

  // The database part: the row and the unread copies, all with aReceived as reception time.
  // Returns the row's key; 0 when storing failed, -1 when the store is not connected.
  std::int64_t storeReceived(const TVTSMSManagerMessage& aSMS, TDateTime aReceived);

private:
  // The message file of an SMS, unless one was written at an earlier reading.
  void fileOnce(const TVTSMSManagerMessage& aSMS) EXCLUDES(fCSFiled);
  void forgetFiled(const std::string& aPdu) EXCLUDES(fCSFiled);

  ISMSStore& fStore;
  std::string fReceivedFolder;
  TCriticalSection fCSFiled;
  // PDUs whose file is written and whose row is not stored yet, oldest first; bounded, so
  // that SMS that leave the modem otherwise (cleared by hand) are forgotten in the end.
  std::set<std::string> fFiled GUARDED_BY(fCSFiled);
  std::deque<std::string> fFiledOrder GUARDED_BY(fCSFiled);
};

// Writes aMessage's text form as a new message file in aFolder, named after the current local
// time and its other party. A failure is logged at error (module "smsmodem") and gives false.
bool writeSMSFile(const std::string& aFolder, const TVTSMSManagerMessage& aMessage);
