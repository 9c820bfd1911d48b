#include "web/LogonForm.h"

#include "web/UserSession.h"
#include "webframework/WebSession.h"

namespace {

TWebRegion& addRow(TAdminForm& aPage, const std::string& aName, TWebRegion& aParent) {
  auto& row = aPage.add<TWebRegion>(aName, &aParent);
  row.CssClass = "logonrow";
  return row;
}

} // namespace

void runLogon(TAdminForm& aLogonPage, TWebEdit& aUserName, TWebEdit& aPassword, TWebLabel& aOutput,
              const std::string& aMainClass) {
  const std::string password = aPassword.Text;
  const std::string userName = aUserName.Text;
  aPassword.Text.clear();
  if (!UserSession().login(userName, password, aLogonPage.getSession().getClientAddress())) {
    aOutput.Caption = "Anmeldung fehlgeschlagen!";
    aUserName.Text.clear();
    return;
  }
  TWebSession& session = aLogonPage.getSession();
  TWebPage* main = session.findPage(aMainClass);
  if (main == nullptr) {
    main = session.createPage(aMainClass);
    if (auto* form = dynamic_cast<TAdminForm*>(main)) {
      form->doInitialize({});
    }
  }
  if (main != nullptr) {
    session.showPage(*main);
    session.releasePage(aLogonPage);
  }
}

TLogonForm::TLogonForm(TWebSession& aSession) : TAdminForm(aSession, "LogonForm") {
  Title = "Anmeldung (Parlino)";
  addTopBar();
  auto& main = add<TWebRegion>("rgnMain");
  auto& box = add<TWebRegion>("rgnLogon", &main);
  box.CssClass = "logonbox";
  lbProductInfo = &add<TWebLabel>("lbProductInfo", &box);
  lbProductInfo->Caption = "Bitte geben Sie Ihren Nutzernamen und das zugehörige Passwort für "
                           "den SMS Server ein.";
  auto& userRow = addRow(*this, "rgnUserName", box);
  add<TWebLabel>("lbUserName", &userRow).Caption = "Nutzername:";
  edtUsername = &add<TWebEdit>("edtUsername", &userRow);
  auto& passwordRow = addRow(*this, "rgnPassword", box);
  add<TWebLabel>("lbPassword", &passwordRow).Caption = "Passwort:";
  edtPassword = &add<TWebPasswordEdit>("edtPassword", &passwordRow);
  edtPassword->OnSubmit = [this] { btnLogOnClick(); };
  auto& buttonRow = addRow(*this, "rgnButton", box);
  btnLogOn = &add<TWebButton>("btnLogOn", &buttonRow);
  btnLogOn->Caption = "Anmelden...";
  btnLogOn->OnClick = [this] { btnLogOnClick(); };
  lbOutput = &add<TWebLabel>("lbOutput", &box);
  lbOutput->CssClass = "output";
  lbOutput->Font = {"red", true, 18};

  auto& footer = add<TWebRegion>("rgnFooter");
  add<TWebLabel>("lbFooterNotice", &footer).Caption =
      "Parlino SMS-Gateway: Zugang nur für Administratoren.";
  add<TWebLabel>("IWLabel1", &footer).Caption = "Verwendete Icons von: ";
  lnkIcons = &addIconsLink(&footer);
}

void TLogonForm::btnLogOnClick() {
  runLogon(*this, *edtUsername, *edtPassword, *lbOutput, "TMainForm");
}

TLogonForm32::TLogonForm32(TWebSession& aSession) : TAdminForm(aSession, "LogonForm32") {
  Title = "Anmeldung kvGateway";
  StyleSheets.clear();
  add<TWebLabel>("lbInfo").Caption = "Bitte melden Sie sich am kvGateway an.";
  auto& userRow = add<TWebRegion>("rgnUserName");
  add<TWebLabel>("lbUserName", &userRow).Caption = "Nutzername:";
  edtUsername = &add<TWebEdit>("edtUsername", &userRow);
  auto& passwordRow = add<TWebRegion>("rgnPassword");
  add<TWebLabel>("lbPassword", &passwordRow).Caption = "Passwort:";
  edtPassword = &add<TWebPasswordEdit>("edtPassword", &passwordRow);
  btnLogOn = &add<TWebButton>("btnLogOn");
  btnLogOn->Caption = "Anmelden";
  btnLogOn->OnClick = [this] { btnLogOnClick(); };
  lbOutput = &add<TWebLabel>("lbOutput");
  lbOutput->Font = {"red", true, 0};
}

void TLogonForm32::btnLogOnClick() {
  runLogon(*this, *edtUsername, *edtPassword, *lbOutput, "TMainForm32");
}
