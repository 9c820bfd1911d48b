#include "tests/server/FakeSMSParts.h"

#include "common/UniCodeTools.h"
#include "logging/KvLogger.h"
#include "server/Accounts.h"

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

namespace {

std::string hexOf(const std::vector<std::uint8_t>& aData) {
  return encodeHexBytes(
      std::string_view(reinterpret_cast<const char*>(aData.data()), aData.size()));
}

} // namespace

int TFakeSMSModem::sendSMSText(const std::string& aReceiver, const std::string& aText) {
  Sent.push_back({"text", aReceiver, aText, ""});
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
