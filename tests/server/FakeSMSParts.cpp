#include "tests/server/FakeSMSParts.h"

#include "common/UniCodeTools.h"
#include "logging/KvLogger.h"
#include "modem/SMSCodec.h"
#include "server/Accounts.h"

#include <algorithm>
#include <tuple>

namespace fakes {

void TFakeSMSStore::failIf(const char* aOperation) const {
  if (ThrowIn == aOperation) {
    throw std::runtime_error("store failed");
  }
}

const TFakeAccount* TFakeSMSStore::accountNamed(const std::string& aName) const {
  for (const TFakeAccount& account : Accounts) {
    if (account.Name == aName) {
      return &account;
    }
  }
  return nullptr;
}

const TFakeAccount* TFakeSMSStore::accountWithId(std::int64_t aId) const {
  for (const TFakeAccount& account : Accounts) {
    if (account.Id == aId) {
      return &account;
    }
  }
  return nullptr;
}

std::vector<TStoredSMS> TFakeSMSStore::unreadOf(int aAccountId) const {
  std::vector<TStoredSMS> queue;
  for (const TStoredSMS& sms : Unread) {
    if (sms.AccountId == aAccountId) {
      queue.push_back(sms);
    }
  }
  return queue;
}

bool TFakeSMSStore::checkAccount(const std::string& aUserName, const std::string& aPassword,
                                 TKVSMSSAction aAction, std::string& aAccountRequestResult,
                                 int& aAccountIDResult, bool isMD5) {
  CheckedUsers.push_back(aUserName);
  CheckedAsDigest.push_back(isMD5);
  aAccountIDResult = -1;
  failIf("checkAccount");
  if (!Connected) {
    aAccountRequestResult = "500:db not connected";
    return false;
  }
  const TFakeAccount* account = accountNamed(aUserName);
  const std::string password = isMD5 ? aPassword : encodeMD5(aPassword);
  if (account == nullptr || password != encodeMD5(account->Password)) {
    aAccountRequestResult = "401";
    return false;
  }
  if (!accountAllows(account->Type, aAction)) {
    aAccountRequestResult = "403";
    return false;
  }
  aAccountRequestResult = "200";
  aAccountIDResult = account->Id;
  return true;
}

bool TFakeSMSStore::retrieveAccounts(std::vector<std::string>* aToStrings) {
  failIf("retrieveAccounts");
  if (!Connected) {
    return false;
  }
  for (const TFakeAccount& account : Accounts) {
    aToStrings->push_back(std::to_string(account.Id) + "=" + account.Name);
  }
  return true;
}

bool TFakeSMSStore::checkSMSForSend(const std::string& aRecipient, std::int64_t aAccountID) {
  failIf("checkSMSForSend");
  const TFakeAccount* account = accountWithId(aAccountID);
  if (!Connected || account == nullptr) {
    return false;
  }
  for (const std::string& pattern : account->SendPatterns) {
    if (matchPattern(aRecipient, pattern)) {
      return true;
    }
  }
  return false;
}

bool TFakeSMSStore::checkSMSForUnread(const TVTSMSManagerMessage* aSMS, std::int64_t aAccountID) {
  failIf("checkSMSForUnread");
  const TFakeAccount* account = accountWithId(aAccountID);
  if (!Connected || account == nullptr || aSMS == nullptr) {
    return false;
  }
  for (const std::string& pattern : account->ReceivePatterns) {
    if (matchPattern(aSMS, pattern)) {
      return true;
    }
  }
  return false;
}

std::int64_t TFakeSMSStore::saveSMSIn(TVTSMSManagerMessageType aType,
                                      const std::string& aOriginator, std::int64_t aID,
                                      const std::string& aText, const std::string& aDataPDU,
                                      TDateTime aMessageDate, TDateTime aReceiveDate, int, int,
                                      int) {
  failIf("saveSMSIn");
  if (!Connected) {
    return -1;
  }
  const std::int64_t key = aID > 0 ? aID : NextKey++;
  In.push_back({0, key, aType, aOriginator, aText, aDataPDU, aMessageDate, aReceiveDate});
  return key;
}

void TFakeSMSStore::saveSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                                  const std::string& aOriginator, const std::string& aText,
                                  const std::string& aDataPDU, TDateTime aMessageDate,
                                  TDateTime aReceiveDate, int, int, int) {
  if (FailingCopies.count(aAccountID) != 0) {
    throw std::runtime_error("copy failed");
  }
  if (Connected) {
    Unread.push_back(
        {aAccountID, aID, aType, aOriginator, aText, aDataPDU, aMessageDate, aReceiveDate});
  }
}

std::int64_t TFakeSMSStore::saveReceivedSMS(const TVTSMSManagerMessage& aSMS,
                                            TDateTime aReceiveDate) {
  failIf("saveReceivedSMS");
  if (!Connected) {
    return -1;
  }
  const std::int64_t key = NextKey++;
  In.push_back({0, key, aSMS.getMessageType(), aSMS.getRecipient(), aSMS.getTheMessage(),
                aSMS.getMessageDataPDU(), aSMS.getMessageTimestamp(), aReceiveDate});
  for (const TFakeAccount& entry : Accounts) {
    const int account = entry.Id;
    if (!checkSMSForUnread(&aSMS, account)) {
      continue;
    }
    if (FailingCopies.count(account) != 0) {
      Logger().error("smsmodem", "error writing sms to unread table: copy failed");
      continue;
    }
    Unread.push_back({account, key, aSMS.getMessageType(), aSMS.getRecipient(),
                      aSMS.getTheMessage(), aSMS.getMessageDataPDU(), aSMS.getMessageTimestamp(),
                      aReceiveDate});
  }
  return key;
}

bool TFakeSMSStore::retrieveSMSUnRead(TSMSList* aToStrings, std::int64_t aAccountID) {
  failIf("retrieveSMSUnRead");
  if (!Connected) {
    return false;
  }
  for (const TStoredSMS& sms : Unread) {
    if (sms.AccountId != aAccountID) {
      continue;
    }
    auto message = std::make_unique<TVTSMSManagerMessage>();
    message->setRecipient(sms.Originator);
    message->setTheMessage(sms.Text);
    message->setMessageType(sms.Type);
    message->setMessageTimestamp(sms.MessageDate);
    message->setMessageIndex(-1);
    message->setMessageState(-1);
    aToStrings->push_back({std::to_string(sms.Key), std::move(message)});
  }
  return true;
}

bool TFakeSMSStore::deleteSMSUnRead(std::int64_t aID, std::int64_t aAccountID) {
  failIf("deleteSMSUnRead");
  Deleted.emplace_back(aID, aAccountID);
  std::erase_if(
      Unread, [&](const TStoredSMS& sms) { return sms.Key == aID && sms.AccountId == aAccountID; });
  return Connected;
}

TSMSPartSaveResult TFakeSMSStore::saveSMSPart(const TSMSStoredPart& aPart) {
  failIf("saveSMSPart");
  if (!Connected) {
    return psNotConnected;
  }
  for (const TSMSStoredPart& part : Parts) {
    if (part.MessageKey == aPart.MessageKey && part.Number == aPart.Number) {
      return psDuplicate;
    }
  }
  Parts.push_back(aPart);
  return psSaved;
}

bool TFakeSMSStore::retrieveSMSParts(const std::string& aMessageKey,
                                     std::vector<TSMSStoredPart>& aParts) {
  failIf("retrieveSMSParts");
  if (!Connected) {
    return false;
  }
  std::vector<TSMSStoredPart> found;
  for (const TSMSStoredPart& part : Parts) {
    if (aMessageKey.empty() || part.MessageKey == aMessageKey) {
      found.push_back(part);
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(a.MessageKey, a.Number) < std::tie(b.MessageKey, b.Number);
  });
  aParts.insert(aParts.end(), found.begin(), found.end());
  return true;
}

bool TFakeSMSStore::deleteSMSParts(const std::string& aMessageKey) {
  failIf("deleteSMSParts");
  if (!Connected) {
    return false;
  }
  std::erase_if(Parts, [&](const TSMSStoredPart& part) { return part.MessageKey == aMessageKey; });
  return true;
}

std::vector<std::string> deliveredParts(const std::string& aSender, const std::string& aText,
                                        std::uint8_t aReference) {
  std::vector<std::string> delivered;
  for (const std::string& submit :
       TSMSCODEC().EncodeSMSParts(aSender, aText, aReference, IC_MAXSMSPARTS)) {
    // SUBMIT: 00 (centre), first octet, reference, destination, PID, DCS, UDL, UD.
    // DELIVER: 00 (centre), first octet, originator, PID, DCS, time stamp, UDL, UD.
    const bool header = (std::stoi(submit.substr(2, 2), nullptr, 16) & 0x40) != 0;
    const std::size_t digits = std::stoul(submit.substr(6, 2), nullptr, 16);
    const std::size_t address = 4 + (digits + 1) / 2 * 2;
    delivered.push_back("00" + std::string(header ? "44" : "04") + submit.substr(6, address) +
                        submit.substr(6 + address, 4) + "62506070809000" +
                        submit.substr(10 + address));
  }
  return delivered;
}

namespace {

std::string hexOf(const std::vector<std::uint8_t>& aData) {
  return encodeHexBytes(
      std::string_view(reinterpret_cast<const char*>(aData.data()), aData.size()));
}

} // namespace

int TFakeSMSModem::sendSMSText(const std::string& aReceiver, const std::string& aText,
                               int aMaxParts) {
  (void)TSMSCODEC().EncodeSMSParts(aReceiver, aText, 0, aMaxParts);
  Sent.push_back({"text", aReceiver, aText, "", aMaxParts});
  return Result;
}

int TFakeSMSModem::sendSMSBinary(const std::string& aReceiver,
                                 const std::vector<std::uint8_t>& aData) {
  Sent.push_back({"binary", aReceiver, "", hexOf(aData)});
  return Result;
}

int TFakeSMSModem::sendSMSPush(const std::string& aReceiver,
                               const std::vector<std::uint8_t>& aData) {
  Sent.push_back({"push", aReceiver, "", hexOf(aData)});
  return Result;
}

} // namespace fakes
