#pragma once

#include "server/SMSModem.h"
#include "server/SMSPatterns.h"
#include "server/SMSStore.h"

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// In-memory stand-ins for the database and the modem, to drive the HTTP commands and the
// handling of a received SMS without Firebird, a serial line or a socket. Single-threaded.
namespace fakes {

struct TFakeAccount {
  int Id = 0;
  std::string Name;
  std::string Password; // plain; checked against its digest like the database does
  int Type = 0;         // permission bits
  std::vector<std::string> SendPatterns;
  std::vector<std::string> ReceivePatterns;
};

struct TStoredSMS {
  int AccountId = 0; // unread copies only
  std::int64_t Key = 0;
  TVTSMSManagerMessageType Type = VTSMSMMT_TEXT;
  std::string Originator;
  std::string Text;
  std::string Data;
  TDateTime MessageDate;
  TDateTime ReceiveDate;
};

class TFakeSMSStore : public ISMSStore {
public:
  bool Connected = true;
  std::vector<TFakeAccount> Accounts;
  std::string ThrowIn;            // the operation that raises "store failed", if any
  std::set<int> FailingCopies;    // accounts whose unread copy raises
  std::int64_t NextKey = 100;     // key of the next row of saveSMSIn
  std::vector<TStoredSMS> In;     // rows of smsserver_in
  std::vector<TStoredSMS> Unread; // the unread queues
  std::vector<std::pair<std::int64_t, std::int64_t>> Deleted; // (key, account)
  std::vector<TSMSStoredPart> Parts; // kept parts of long SMS, in the order saved
  std::vector<std::string> CheckedUsers;
  std::vector<bool> CheckedAsDigest;
  int CommitClaims = 0;

  const TFakeAccount* accountNamed(const std::string& aName) const;
  std::vector<TStoredSMS> unreadOf(int aAccountId) const;

  bool checkAccount(const std::string& aUserName, const std::string& aPassword,
                    TKVSMSSAction aAction, std::string& aAccountRequestResult,
                    int& aAccountIDResult, bool isMD5) override;
  void claimCommitTransaction() override { ++CommitClaims; }
  bool retrieveAccounts(std::vector<std::string>* aToStrings) override;
  bool checkSMSForSend(const std::string& aRecipient, std::int64_t aAccountID) override;
  bool checkSMSForUnread(const TVTSMSManagerMessage* aSMS, std::int64_t aAccountID) override;
  std::int64_t saveSMSIn(TVTSMSManagerMessageType aType, const std::string& aOriginator,
                         std::int64_t aID, const std::string& aText, const std::string& aDataPDU,
                         TDateTime aMessageDate, TDateTime aReceiveDate, int aIndex, int aState,
                         int aLength) override;
  std::int64_t saveSMSOut(TVTSMSManagerMessageType, const std::string&, std::int64_t,
                          const std::string&, const std::string&, TDateTime, const std::string&,
                          int, int, int) override {
    return -1; // the commands and the inbox never store sent SMS
  }
  void saveSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                     const std::string& aOriginator, const std::string& aText,
                     const std::string& aDataPDU, TDateTime aMessageDate, TDateTime aReceiveDate,
                     int aIndex, int aState, int aLength) override;
  // The row and the copies together; FailingCopies are logged and left out like the
  // database's refusals; ThrowIn "saveReceivedSMS" raises before anything is stored.
  std::int64_t saveReceivedSMS(const TVTSMSManagerMessage& aSMS, TDateTime aReceiveDate) override;
  bool retrieveSMSUnRead(TSMSList* aToStrings, std::int64_t aAccountID) override;
  bool deleteSMSUnRead(std::int64_t aID, std::int64_t aAccountID) override;
  TSMSPartSaveResult saveSMSPart(const TSMSStoredPart& aPart) override;
  bool retrieveSMSParts(const std::string& aMessageKey,
                        std::vector<TSMSStoredPart>& aParts) override;
  bool deleteSMSParts(const std::string& aMessageKey) override;

private:
  void failIf(const char* aOperation) const;
  const TFakeAccount* accountWithId(std::int64_t aId) const;
};

// A modem that records what it is asked to send and answers with Result (0: success).
class TFakeSMSModem : public ISMSModem {
public:
  struct TSend {
    std::string Kind; // "text", "binary", "push"
    std::string Receiver;
    std::string Text;
    std::string DataHex; // upper-case hexadecimal
    int MaxParts = 0;    // text
  };

  bool Active = true;
  int Result = 0;
  int ClearResult = 0;
  std::vector<TSend> Sent;
  int Clears = 0;

  bool isActive() override { return Active; }
  // Refuses a text of more than aMaxParts parts as the driver does (the codec counts them).
  int sendSMSText(const std::string& aReceiver, const std::string& aText, int aMaxParts) override;
  int sendSMSBinary(const std::string& aReceiver, const std::vector<std::uint8_t>& aData) override;
  int sendSMSPush(const std::string& aReceiver, const std::vector<std::uint8_t>& aData) override;
  int clearMemory() override {
    ++Clears;
    return ClearResult;
  }
};

// What a network hands a modem for a text from aSender (digits of an international number):
// the SMS-DELIVER units of the parts the gateway's own encoder makes of it (reference
// aReference), stamped 2026-05-06 07:08:09 by the service centre.
std::vector<std::string> deliveredParts(const std::string& aSender, const std::string& aText,
                                        std::uint8_t aReference);
inline const TDateTime IC_DELIVEREDSTAMP = TDateTime::encode(2026, 5, 6, 7, 8, 9);

} // namespace fakes
