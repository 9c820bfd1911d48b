#pragma once

#include "common/DateTime.h"
#include "modem/VTSMSManagerMessage.h"
#include "server/SMSStore.h"

#include <cstdint>
#include <string>

// The handling of a received SMS: its message file in the received folder, its row in
// smsserver_in (saveSMSIn) and a copy in the unread queue of every account whose receive
// patterns match its sender. The file, the row and each copy are written independently: a
// failure of one is logged (module "smsmodem") and the others are still attempted.
// Threads: the modem's polling thread; no lock of its own (the store serialises its work).
// The store is not owned and outlives the inbox.
class TSMSInbox {
public:
  TSMSInbox(ISMSStore& aStore, std::string aReceivedFolder)
      : fStore(aStore), fReceivedFolder(std::move(aReceivedFolder)) {}

  // One SMS as the driver reports it. True when it is kept: its file written and its row
  // saved (the modem may then delete it). Errors of reading the accounts or their patterns
  // are raised to the caller.
  bool handleReceived(const std::string& aSender, const std::string& aMessageText,
                      const std::string& aMessageData, const TVTSMSManagerMessage& aSMSInfo);

  // The database part: the row and the unread copies, all with aReceived as reception time.
  // Returns the row's key; 0 when saving it failed, -1 when the store is not connected.
  std::int64_t storeReceived(const TVTSMSManagerMessage& aSMS, TDateTime aReceived);

private:
  ISMSStore& fStore;
  std::string fReceivedFolder;
};

// Writes aMessage's text form as a new message file in aFolder, named after the current local
// time and its other party. A failure is logged at error (module "smsmodem") and gives false.
bool writeSMSFile(const std::string& aFolder, const TVTSMSManagerMessage& aMessage);
