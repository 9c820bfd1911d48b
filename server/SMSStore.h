#pragma once

#include "common/DateTime.h"
#include "modem/VTSMSManagerMessage.h"
#include "server/Accounts.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A line of a text list with the message record attached to it (owned by the list).
struct TSMSListItem {
  std::string Text;
  std::unique_ptr<TVTSMSManagerMessage> Object;
};
using TSMSList = std::vector<TSMSListItem>;

// A received part of a long SMS, kept until its message is whole.
struct TSMSStoredPart {
  std::string MessageKey; // the message it belongs to: sender, reference and part count
  int Number = 0;         // its place in the message, from 1
  std::string PDU;        // as the modem gave it
  TDateTime Received;     // when the gateway received it (UTC)
};

enum TSMSPartSaveResult {
  psSaved,        // kept and committed
  psDuplicate,    // a part of that number of that message is kept already: nothing stored
  psNotConnected, // nothing stored
};

// What the HTTP commands and the handling of a received SMS need of the database: the
// account check, the SMS store and the pattern tests. The Firebird layer (TBizDatabase)
// implements it; tests use an in-memory store.
// Threads: any; an implementation serialises its own work. Errors: as TBizDatabase states for
// each operation (statement errors are raised, not connected gives the failure result).
class ISMSStore {
public:
  virtual ~ISMSStore() = default;

  // True when the account exists, the password matches (aPassword is the digest when isMD5,
  // else the plain password) and the account may do aAction; aAccountRequestResult is "200",
  // "401", "403" or "500:db not connected", aAccountIDResult the account's key (-1 on failure).
  virtual bool checkAccount(const std::string& aUserName, const std::string& aPassword,
                            TKVSMSSAction aAction, std::string& aAccountRequestResult,
                            int& aAccountIDResult, bool isMD5) = 0;
  // Asks the next operation that honours it to start with a fresh transaction.
  virtual void claimCommitTransaction() = 0;

  // Appends "id=name" per account; false when not connected.
  virtual bool retrieveAccounts(std::vector<std::string>* aToStrings) = 0;
  // Whether a send pattern of the account matches aRecipient.
  virtual bool checkSMSForSend(const std::string& aRecipient, std::int64_t aAccountID) = 0;
  // Whether a receive pattern of the account matches the sender of aSMS.
  virtual bool checkSMSForUnread(const TVTSMSManagerMessage* aSMS, std::int64_t aAccountID) = 0;

  // The key used (a new one unless aID > 0), -1 when not connected.
  virtual std::int64_t saveSMSIn(TVTSMSManagerMessageType aType, const std::string& aOriginator,
                                 std::int64_t aID, const std::string& aText,
                                 const std::string& aDataPDU, TDateTime aMessageDate,
                                 TDateTime aReceiveDate, int aIndex, int aState, int aLength) = 0;
  virtual std::int64_t saveSMSOut(TVTSMSManagerMessageType aType, const std::string& aRecipient,
                                  std::int64_t aID, const std::string& aText,
                                  const std::string& aDataPDU, TDateTime aCreateDate,
                                  const std::string& aOriginator, int aIndex, int aState,
                                  int aLength) = 0;
  // A copy of a received SMS (key aID of smsserver_in) in the unread queue of an account.
  virtual void saveSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                             const std::string& aOriginator, const std::string& aText,
                             const std::string& aDataPDU, TDateTime aMessageDate,
                             TDateTime aReceiveDate, int aIndex, int aState, int aLength) = 0;
  // A received SMS stored as one piece: its row in smsserver_in under a new key and its copy in
  // the unread queue of every account whose receive patterns match its sender, found and
  // written in one transaction and committed together, so that the SMS is either stored with
  // all its copies or not at all (and can be stored later without leaving a second row). The
  // row takes aSMS's type, sender (recipient field), text, PDU, time stamp, index, state and
  // length. A copy the database refuses while the connection holds is logged ("error writing
  // sms to unread table: ...") and left out. Returns the key; -1 when not connected, also when
  // the connection was lost and could not be restored. Raises other errors; nothing is stored
  // then.
  virtual std::int64_t saveReceivedSMS(const TVTSMSManagerMessage& aSMS,
                                       TDateTime aReceiveDate) = 0;
  // The account's queued SMS, oldest message date first, each with a record of its own.
  virtual bool retrieveSMSUnRead(TSMSList* aToStrings, std::int64_t aAccountID) = 0;
  virtual bool deleteSMSUnRead(std::int64_t aID, std::int64_t aAccountID) = 0;

  // The kept parts of long SMS (table SMSSERVER_PARTS).
  virtual TSMSPartSaveResult saveSMSPart(const TSMSStoredPart& aPart) = 0;
  // Appends the parts of one message, or with an empty key of every message, ordered by key
  // and number; false when not connected.
  virtual bool retrieveSMSParts(const std::string& aMessageKey,
                                std::vector<TSMSStoredPart>& aParts) = 0;
  // Removes the parts of one message; false when not connected.
  virtual bool deleteSMSParts(const std::string& aMessageKey) = 0;
};
