#pragma once

#include "modem/SMSCodec.h"
#include "platform/Locks.h"
#include "server/HTTPParamRules.h"
#include "server/HTTPParams.h"
#include "server/LogonThrottle.h"
#include "server/SMSModem.h"
#include "server/SMSStore.h"
#include "webframework/WebRequest.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct TSMSCommandSettings {
  // Slowing of wrong passwords: 0.5 s after the first failure of an account name or a client
  // address, doubling up to 16 s.
  TLogonThrottleSettings Throttle{std::chrono::milliseconds(500), std::chrono::milliseconds(16000)};
};

// The HTTP command interface of the core: "/sendsms", "/getnewsms" and
// "/clearmemoryserialmodem". dispatch answers every request that is not a page request of the
// framework: it reads the command's parameters once, runs the command and sets the answer
// (status, headers, ISO-8859-1 body). The commands run for GET and POST; another method on a
// command's path is answered 405 and changes nothing. Parameters that break their rules
// (HTTPParamRules.h) are answered 400, credentials 403, before they go anywhere.
// Wrong credentials are slowed per account name and per client address (TLogonThrottle):
// the answer to a failure is held back by its delay (TWebResponse::HoldUntil, no worker
// waits), and while a key is slowed its attempts are refused unchecked. A right password on
// keys without failures is answered at once.
// "/getnewsms" deletes the SMS it answers with only once the whole answer was written to the
// connection (the response's OnWritten); until then they are held back from other fetches
// of the account, and an answer that did not go out whole leaves them queued for the next.
// With format=json the same SMS come as a JSON document.
// Threads: any number of HTTP worker threads at once, each request wholly on one thread.
// Locks: fCSUnreadAccounts (a leaf) guards the map of per-account locks and the SMS held back
// for answers on their way; a per-account lock makes one fetch of queued SMS at a time per
// account and is taken before the store's own lock. The modem serialises the sends itself
// (its adapter's serial lock). The throttle's lock is a leaf, never held while the store runs.
// Store and modem are not owned; both outlive the commands.
class TSMSCommands {
public:
  TSMSCommands(ISMSStore& aStore, ISMSModem& aModem, TSMSCommandSettings aSettings = {},
               TLogonThrottle::TClock aClock = {})
      : fStore(aStore), fModem(aModem), fThrottle(aSettings.Throttle, std::move(aClock)) {}

  // The most SMS one text of "/sendsms" may take (the option MaxSMSParts); a longer text is
  // refused with 400. Any thread.
  void setMaxSMSParts(int aValue) { fMaxSMSParts = aValue; }
  int getMaxSMSParts() const { return fMaxSMSParts; }

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
  // A text goes in as many parts as it needs, at most getMaxSMSParts(); a longer one raises
  // ESMSTooManyParts before anything is sent.
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
  // A parameter that breaks its rule: status 400, one log line; the body of the answer.
  std::string refuseParam(const char* aCommand, const TSMSCommandParams& aParams,
                          const TParamFault& aFault, TWebResponse& aResponse);
  // Keys of the account's queue on their way to a client in an answer not yet written.
  std::set<std::int64_t> heldBackOf(int aAccountId) const EXCLUDES(fCSUnreadAccounts);
  // After the answer: the delivered SMS are deleted when it went out whole; in any case they
  // are no longer held back.
  void answerWritten(int aAccountId, const std::vector<std::int64_t>& aKeys, bool aComplete)
      EXCLUDES(fCSUnreadAccounts);

  ISMSStore& fStore;
  ISMSModem& fModem;
  std::atomic<int> fMaxSMSParts{IC_DEFAULTMAXSMSPARTS};
  TLogonThrottle fThrottle;
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
