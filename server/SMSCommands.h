#pragma once

#include "platform/Locks.h"
#include "server/HTTPParams.h"
#include "server/SMSModem.h"
#include "server/SMSStore.h"
#include "webframework/WebRequest.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The HTTP command interface of the core: "/sendsms", "/getnewsms" and
// "/clearmemoryserialmodem". dispatch answers every request that is not a page request of the
// framework: it reads the command's parameters once, runs the command and sets the answer
// (status, headers, ISO-8859-1 body). The commands keep no state between requests.
// "/getnewsms" deletes the SMS it answers with only once the whole answer was written to the
// connection (the response's OnWritten); until then they are held back from other fetches
// of the account, and an answer that did not go out whole leaves them queued for the next.
// With format=json the same SMS come as a JSON document.
// Threads: any number of HTTP worker threads at once, each request wholly on one thread.
// Locks: fCSUnreadAccounts (a leaf) guards the map of per-account locks and the SMS held back
// for answers on their way; a per-account lock makes one fetch of queued SMS at a time per
// account and is taken before the store's own lock. The modem serialises the sends itself
// (its adapter's serial lock). Store and modem are not owned; both outlive the commands.
class TSMSCommands {
public:
  TSMSCommands(ISMSStore& aStore, ISMSModem& aModem) : fStore(aStore), fModem(aModem) {}

  // Every request that is not a page request; an unknown path is answered 501 "404".
  void dispatch(const TWebRequest& aRequest, TWebResponse& aResponse);

  // Each sets the status on the response and returns the body (500 and "" unless it says
  // otherwise). Store errors are passed on to dispatch, which answers "500:<message>".
  // processGetNewSMSSerialModem sets the response's OnWritten when it delivers SMS: whoever
  // sends the answer must run it (true once the answer went out whole), or the SMS stay held
  // back.
  std::string processSendSMSSerialModem(const TSMSCommandParams& aParams, TWebResponse& aResponse);
  std::string processGetNewSMSSerialModem(const TSMSCommandParams& aParams, TWebResponse& aResponse)
      EXCLUDES(fCSUnreadAccounts);
  std::string processClearMemorySerialModem(const TSMSCommandParams& aParams,
                                            TWebResponse& aResponse);

  // True when the modem reports success; any error is false. Traced at module "sendsmsserial".
  bool sendMessageSerialModemText(const std::string& aReceiver, const std::string& aMessage);
  bool sendMessageSerialModemBinary(const std::string& aReceiver,
                                    const std::vector<std::uint8_t>& aMessage);
  bool sendMessageSerialModemPush(const std::string& aReceiver,
                                  const std::vector<std::uint8_t>& aMessage);

private:
  // The account check every command begins with: when it fails, status 403 and the check's
  // text ("401", "403", "500:db not connected") in aRefusal, the body of the answer.
  bool checkAccount(const TSMSCommandParams& aParams, TKVSMSSAction aAction, bool aIsMD5,
                    TWebResponse& aResponse, std::string& aRefusal, int& aAccountId);
  bool sendMessageSerialModemData(const std::string& aReceiver,
                                  const std::vector<std::uint8_t>& aMessage, bool aPush);
  TCriticalSection& unreadLockOf(int aAccountId) EXCLUDES(fCSUnreadAccounts);
  // Keys of the account's queue on their way to a client in an answer not yet written.
  std::set<std::int64_t> heldBackOf(int aAccountId) const EXCLUDES(fCSUnreadAccounts);
  // After the answer: the delivered SMS are deleted when it went out whole; in any case they
  // are no longer held back.
  void answerWritten(int aAccountId, const std::vector<std::int64_t>& aKeys, bool aComplete)
      EXCLUDES(fCSUnreadAccounts);

  ISMSStore& fStore;
  ISMSModem& fModem;
  mutable TCriticalSection fCSUnreadAccounts;
  std::map<int, std::unique_ptr<TCriticalSection>>
      fUnreadAccountLocks GUARDED_BY(fCSUnreadAccounts);
  std::map<int, std::set<std::int64_t>> fHeldBack GUARDED_BY(fCSUnreadAccounts);
};

// The answer headers every command carries and its body, one byte per character.
void setSMSCommandAnswer(TWebResponse& aResponse, const std::string& aBody);

// The unread SMS as the JSON document of "/getnewsms" with format=json:
//   {"messages":[{"sender":"4930","message":"Hallo","data":"","msgtype":0,"msgindex":-1,
//     "msgstate":-1,"msglength":5,"msgtime":"2026-01-02T03:04:05.000"}]}
// (the fields of the attributed document's records, in their order; the time as the network
// gave it, without a zone).
std::string unreadSMSAsJSON(const std::vector<const TVTSMSManagerMessage*>& aMessages);

// A diagnostic dump of a request: "Method=GET;ProtocolVersion=HTTP/1.1;URL=...;..." with the
// items in a fixed order, or "Request is "nil"!" for none.
std::string describeWebRequest(const TWebRequest* aRequest);
