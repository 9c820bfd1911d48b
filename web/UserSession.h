#pragma once

#include "server/LogonThrottle.h"
#include "webframework/WebSession.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// The session data of one browser: who logged on. Created by the new-session hook, owned by
// the framework's session, freed with it.
//
// A successful logon of an administration account (type 255) sets LoggedUser and the
// logged-on state; logout ends the state and keeps the name. The password is not kept.
// Failed logons are slowed by the shared throttle, keyed by this session, by the account name
// and by the client's address: a failure is answered only after its delay, a correct logon at
// once.
// Threads: the requests of the session, one at a time.
class TIWUserSession : public TWebSessionData {
public:
  using TSleepUntil = std::function<void(std::chrono::steady_clock::time_point)>;

  // aThrottle is not owned and outlives the session; aSleepUntil waits (tests shorten it).
  TIWUserSession(std::uint64_t aSessionSerial, TLogonThrottle& aThrottle,
                 TSleepUntil aSleepUntil = {});

  bool login(const std::string& aUserName, const std::string& aPassword,
             const std::string& aClientAddress);
  void logout();

  const std::string& LoggedUser() const { return fLoggedUser; }
  bool isLoggedOn() const { return fLoggedOn; }

private:
  std::uint64_t fSessionSerial;
  TLogonThrottle& fThrottle;
  TSleepUntil fSleepUntil;
  std::string fLoggedUser;
  bool fLoggedOn = false;
};

// The session data of the request being handled (a page handler's session).
TIWUserSession& UserSession();
