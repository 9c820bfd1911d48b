#pragma once

#include "web/AdminForm.h"

// The logon page of full browsers ("Anmeldung (Parlino)"): user name, password, the logon
// button (also run by Enter in the password box) and a red output line for a failure.
class TLogonForm : public TAdminForm {
public:
  explicit TLogonForm(TWebSession& aSession);
  bool isLogonPage() const override { return true; }

  void btnLogOnClick();

  TWebLabel* lbProductInfo;
  TWebEdit* edtUsername;
  TWebPasswordEdit* edtPassword;
  TWebButton* btnLogOn;
  TWebLabel* lbOutput;
  TWebLink* lnkIcons;
};

// The logon page of simple browsers ("Anmeldung kvGateway").
class TLogonForm32 : public TAdminForm {
public:
  explicit TLogonForm32(TWebSession& aSession);
  bool isLogonPage() const override { return true; }

  void btnLogOnClick();

  TWebEdit* edtUsername;
  TWebPasswordEdit* edtPassword;
  TWebButton* btnLogOn;
  TWebLabel* lbOutput;
};

// The logon of both pages: on failure "Anmeldung fehlgeschlagen!" and both boxes emptied; on
// success the main page of aMainClass (the live one, else a new initialised one) is shown and
// the logon page released.
void runLogon(TAdminForm& aLogonPage, TWebEdit& aUserName, TWebEdit& aPassword, TWebLabel& aOutput,
              const std::string& aMainClass);
