#include "web/Navigation.h"

#include "logging/KvLogger.h"
#include "server/ServerController.h"
#include "web/AccountsForm.h"
#include "web/LogonForm.h"
#include "web/MainForm.h"
#include "web/SMSListForms.h"
#include "web/SendSMSForm.h"
#include "web/UserSession.h"

namespace {

constexpr const char* kModule = "web";

template <class TForm>
void registerForm(TWebPageClasses& aClasses, const std::string& aClassName) {
  aClasses.registerClass(aClassName, [](TWebSession& aSession) -> std::unique_ptr<TWebPage> {
    return std::make_unique<TForm>(aSession);
  });
}

bool isLoggedOn(TWebSession& aSession) {
  const auto* data = dynamic_cast<const TIWUserSession*>(aSession.getData());
  return data != nullptr && data->isLoggedOn();
}

bool isLogonPage(const TWebPage* aPage) {
  const auto* form = dynamic_cast<const TAdminForm*>(aPage);
  return form != nullptr && form->isLogonPage();
}

std::string logonClassFor(const TWebSession& aSession) {
  const TWebClientType type = aSession.getClientType();
  return type == ctUnknown || type == ctHTML40 ? "TLogonForm" : "TLogonForm32";
}

// The session's logon page for its client type, shown; the pages a logged-off session may
// not see are released.
TWebPage* showLogonPage(TWebSession& aSession, TWebPage* aRefused) {
  const std::string logonClass = logonClassFor(aSession);
  TWebPage* logon = aSession.findPage(logonClass);
  if (logon == nullptr) {
    logon = aSession.createPage(logonClass);
  }
  if (aRefused != nullptr && !isLogonPage(aRefused)) {
    aSession.releasePage(*aRefused);
  }
  if (logon != nullptr) {
    aSession.showPage(*logon);
  }
  return logon;
}

bool isPageName(const std::string& aName) {
  if (aName.empty() || aName.size() > 64) {
    return false;
  }
  for (const char c : aName) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return true;
}

} // namespace

bool showIWForm(TWebPage& aAppForm, const std::string& aClass, const std::any& aParam) {
  TWebSession& session = aAppForm.getSession();
  TWebPage* page = session.findPage(aClass);
  if (page == nullptr) {
    page = session.createPage(aClass);
  }
  if (page == nullptr) {
    Logger().warn(kModule, "page class \"" + aClass + "\" is not available");
    return false;
  }
  if (auto* form = dynamic_cast<TAdminForm*>(page)) {
    form->doInitialize(aParam);
  }
  session.showPage(*page);
  if (page != &aAppForm) {
    session.releasePage(aAppForm);
  }
  return true;
}

void registerAdministrationPageClasses(TWebPageClasses& aClasses) {
  registerForm<TLogonForm>(aClasses, "TLogonForm");
  registerForm<TLogonForm32>(aClasses, "TLogonForm32");
  registerForm<TMainForm>(aClasses, "TMainForm");
  registerForm<TMainForm32>(aClasses, "TMainForm32");
  registerForm<TAccountsForm>(aClasses, "TAccountsForm");
  registerForm<TSendSMSForm>(aClasses, "TSendSMSForm");
  registerForm<TSMSReceivedForm>(aClasses, "TSMSReceivedForm");
  registerForm<TSMSSentForm>(aClasses, "TSMSSentForm");
}

TAdministrationPages::TAdministrationPages(TAdministrationSettings aSettings)
    : fThrottle(aSettings.Throttle) {}

void TAdministrationPages::registerWith(TWebApplication& aApplication,
                                        TIWServerController& aController) {
  registerAdministrationPageClasses(aApplication.pageClasses());
  aApplication.OnNewSession = [this](TWebSession& aSession) {
    IWServerControllerBaseNewSession(aSession);
  };
  aApplication.OnBackButton = [this](TWebSession& aSession, const std::string& aPageName,
                                     bool& aHandled, bool& aExecute) {
    IWServerControllerBaseBackButton(aSession, aPageName, aHandled, aExecute);
  };
  aApplication.OnCheckPage = [this](TWebSession& aSession, TWebPage* aPage) {
    return checkPage(aSession, aPage);
  };
  aApplication.OnException = [&aController](const std::exception& aException, bool& aHandled) {
    aController.IWServerControllerBaseException(aException, aHandled);
  };
}

void TAdministrationPages::IWServerControllerBaseNewSession(TWebSession& aSession) {
  aSession.setData(std::make_unique<TIWUserSession>(aSession.getSerial(), fThrottle));
  TWebPage* start = aSession.createPage(logonClassFor(aSession));
  if (start != nullptr) {
    aSession.showPage(*start);
  }
}

void TAdministrationPages::IWServerControllerBaseBackButton(TWebSession& aSession,
                                                            const std::string& aPageName,
                                                            bool& aHandled, bool& aExecute) {
  aHandled = true;
  aExecute = true;
  const std::string name = aPageName.empty() ? "MainForm" : aPageName;
  const std::string className = "T" + name;
  TWebPage* page = aSession.findPage(className);
  if (!isLoggedOn(aSession) && (page == nullptr || !isLogonPage(page)) &&
      className != "TLogonForm" && className != "TLogonForm32") {
    // Nothing but the logon page before a logon, whatever page the browser names.
    showLogonPage(aSession, nullptr);
    aExecute = false;
    return;
  }
  if (page == nullptr && isPageName(name)) {
    try {
      page = aSession.createPage(className);
    } catch (const std::exception& e) {
      Logger().error(kModule, "creating page \"" + className + "\": " + e.what());
      page = nullptr;
    }
  }
  if (page == nullptr) {
    aHandled = false;
    return;
  }
  aSession.setActivePage(*page);
}

TWebPage* TAdministrationPages::checkPage(TWebSession& aSession, TWebPage* aPage) {
  if (aPage != nullptr && (isLogonPage(aPage) || isLoggedOn(aSession))) {
    return aPage;
  }
  if (aPage == nullptr && isLoggedOn(aSession)) {
    // Every page was released: back to the main page.
    const std::string mainClass =
        logonClassFor(aSession) == "TLogonForm" ? "TMainForm" : "TMainForm32";
    TWebPage* main = aSession.findPage(mainClass);
    if (main == nullptr && (main = aSession.createPage(mainClass)) != nullptr) {
      if (auto* form = dynamic_cast<TAdminForm*>(main)) {
        form->doInitialize({});
      }
    }
    if (main != nullptr) {
      aSession.showPage(*main);
      return main;
    }
  }
  return showLogonPage(aSession, aPage);
}
