#pragma once

#include "server/LogonThrottle.h"
#include "webframework/WebApplication.h"

#include <any>
#include <chrono>
#include <memory>
#include <string>

class TIWServerController;

// The navigation rule of every page that leads to another: the session's live page of
// aClass, else a new one, is initialised with aParam and shown, and aAppForm (the page left)
// is released. False, with nothing changed, when the class is unknown.
bool showIWForm(TWebPage& aAppForm, const std::string& aClass, const std::any& aParam = {});

struct TAdministrationSettings {
  // Slowing of failed logons: 0.5 s after the first, doubling up to 16 s.
  TLogonThrottleSettings Throttle{std::chrono::milliseconds(500), std::chrono::milliseconds(16000)};
};

// The administration pages as the framework runs them: the page classes, the new-session
// hook (session data and the logon page for the browser's client type), the back-button rule,
// the access rule (only the logon pages until an administrator has logged on), and the core's
// exception hook. Owns the logon throttle the sessions share; outlives every session (destroy
// the framework's sessions first).
class TAdministrationPages {
public:
  explicit TAdministrationPages(TAdministrationSettings aSettings = {});
  void registerWith(TWebApplication& aApplication, TIWServerController& aController);

  // The hooks, for the framework and for tests.
  void IWServerControllerBaseNewSession(TWebSession& aSession);
  void IWServerControllerBaseBackButton(TWebSession& aSession, const std::string& aPageName,
                                        bool& aHandled, bool& aExecute);
  TWebPage* checkPage(TWebSession& aSession, TWebPage* aPage);

  TLogonThrottle& throttle() { return fThrottle; }

private:
  TLogonThrottle fThrottle;
};

// Registers the page classes of the administration with a class list.
void registerAdministrationPageClasses(TWebPageClasses& aClasses);
