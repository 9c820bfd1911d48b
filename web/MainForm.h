#pragma once

#include "web/AdminForm.h"

// The main page of full browsers ("Hauptseite"): the logged-on user, the overview of the SMS
// still queued per account, the ways to the other pages, the modem's state with the links to
// start and stop it, and logout.
class TMainForm : public TAdminForm {
public:
  explicit TMainForm(TWebSession& aSession);

  void doInitialize(const std::any& aParam) override;
  void onRender() override;
  void doLogout();
  void updateWelcomeTreeView();

  std::string getLoggedUsername() const { return lblLoggedUsername->Caption; }
  void setLoggedUsername(const std::string& aName) { lblLoggedUsername->Caption = aName; }

  TWebImageButton* imgLogout;
  TWebLabel* lblLoggedUsername;
  TWebTreeView* tvWelcome;
  TWebImageButton* btnRefreshOverview;
  TWebLabel* lblStateInfo;
  TWebLink* lnkStartSerialModem;
  TWebLink* lnkStopSerialModem;
  TWebLabel* lblModemStateInfo;

private:
  void navigate(const std::string& aClass);
  TWebImageButton& addNavigation(TWebRegion& aParent, const std::string& aButton,
                                 const std::string& aLabel, const std::string& aImage,
                                 const std::string& aHint, const std::string& aText,
                                 const std::string& aClass);
};

// The main page of simple browsers ("Hauptmenü kvGateway"): the user name and logout only.
class TMainForm32 : public TAdminForm {
public:
  explicit TMainForm32(TWebSession& aSession);

  void doInitialize(const std::any& aParam) override;
  void doLogout();

  std::string getLoggedUsername() const { return lblLoggedUsername->Caption; }
  void setLoggedUsername(const std::string& aName) { lblLoggedUsername->Caption = aName; }

  TWebLabel* lblLoggedUsername;
  TWebImageButton* btnLogout;
};

// Logout of either main page: the logon page of aLogonClass is shown (the live one, else a
// new one), the core's main transaction is committed and started again, the logged-on state
// ends and the main page is released.
void runLogout(TAdminForm& aMainPage, const std::string& aLogonClass);
