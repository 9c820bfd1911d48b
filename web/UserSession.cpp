#include "web/UserSession.h"

#include "logging/KvLogger.h"
#include "server/Accounts.h"
#include "server/ServerController.h"

#include <cassert>
#include <thread>

namespace {
constexpr const char* kModule = "web";
} // namespace

TIWUserSession::TIWUserSession(std::uint64_t aSessionSerial, TLogonThrottle& aThrottle,
                               TSleepUntil aSleepUntil)
    : fSessionSerial(aSessionSerial), fThrottle(aThrottle), fSleepUntil(std::move(aSleepUntil)) {
  if (!fSleepUntil) {
    fSleepUntil = [](std::chrono::steady_clock::time_point aTime) {
      std::this_thread::sleep_until(aTime);
    };
  }
}

bool TIWUserSession::login(const std::string& aUserName, const std::string& aPassword,
                           const std::string& aClientAddress) {
  const std::string session = "session #" + std::to_string(fSessionSerial);
  const std::string sessionKey = "session:" + std::to_string(fSessionSerial);
  const std::string accountKey = "account:" + aUserName;
  const TLogonThrottle::TTicket ticket =
      fThrottle.reserve({sessionKey, accountKey, "address:" + aClientAddress});
  if (ticket.Refused) {
    Logger().warn(kModule, "logon of \"" + aUserName + "\" refused unchecked, too many attempts (" +
                               session + ")");
    return false;
  }
  if (ticket.CheckAt > fThrottle.now()) {
    fSleepUntil(ticket.CheckAt);
  }
  int accountType = -1;
  const bool ok = hasIWServerController() &&
                  IWServerController().database().login(aUserName, aPassword, accountType) &&
                  accountType == IC_ACCOUNTTYPE_ADMIN;
  if (ok) {
    // The client address keeps its failures: a right password of its own account does not
    // give it a fresh start on the others.
    fThrottle.passed(ticket, {sessionKey, accountKey});
    fLoggedUser = aUserName;
    fLoggedOn = true;
    Logger().info(kModule, "administrator \"" + aUserName + "\" logged on (" + session + ")");
    return true;
  }
  const auto answerAt = fThrottle.failed(ticket);
  Logger().warn(kModule, "logon of \"" + aUserName + "\" failed (" + session + ")");
  fSleepUntil(answerAt);
  return false;
}

void TIWUserSession::logout() {
  if (fLoggedOn) {
    Logger().info(kModule, "administrator \"" + fLoggedUser + "\" logged out (session #" +
                               std::to_string(fSessionSerial) + ")");
  }
  fLoggedOn = false;
}

TIWUserSession& UserSession() {
  TWebSession* session = currentWebSession();
  assert(session != nullptr && "page handlers run inside a request of a session");
  auto* data = dynamic_cast<TIWUserSession*>(session->getData());
  assert(data != nullptr && "the new-session hook attaches the session data");
  return *data;
}
