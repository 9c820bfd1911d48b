#include "web/MainForm.h"

#include "modem/VTSMSManagerSerialModem.h"
#include "server/AdminOperations.h"
#include "server/ServerController.h"
#include "web/Navigation.h"
#include "web/UserSession.h"
#include "webframework/WebSession.h"

namespace {

TVTSMSManagerSerialModem& modem() {
  return IWServerController().serialModem();
}

} // namespace

void runLogout(TAdminForm& aMainPage, const std::string& aLogonClass) {
  TWebSession& session = aMainPage.getSession();
  TWebPage* logon = session.findPage(aLogonClass);
  if (logon == nullptr) {
    logon = session.createPage(aLogonClass);
  }
  if (logon != nullptr) {
    session.showPage(*logon);
  }
  restartMainTransaction(IWServerController().database());
  UserSession().logout();
  session.releasePage(aMainPage);
}

TMainForm::TMainForm(TWebSession& aSession) : TAdminForm(aSession, "MainForm") {
  Title = "Hauptseite";
  auto& topRight = addTopRight(addTopBar());
  lblLoggedUsername = &add<TWebLabel>("lblLoggedUsername", &topRight);
  imgLogout = &add<TWebImageButton>("imgLogout", &topRight);
  imgLogout->ImageFile = "logout.png";
  imgLogout->Hint = "Abmelden";
  imgLogout->AltText = "Abmelden";
  imgLogout->OnClick = [this] { doLogout(); };

  auto& main = add<TWebRegion>("rgnMain");
  auto& columns = add<TWebRegion>("rgnColumns", &main);
  columns.CssClass = "columns";
  auto& overview = add<TWebRegion>("rgnOverview", &columns);
  overview.CssClass = "overview";
  add<TWebLabel>("lblOverviewSMS", &overview).Caption = "Übersicht SMS...";
  btnRefreshOverview = &add<TWebImageButton>("btnRefreshOverview", &overview);
  btnRefreshOverview->ImageFile = "refresh.png";
  btnRefreshOverview->Hint = "Die Übersicht (Baumansicht) aktualisieren";
  btnRefreshOverview->AltText = "Aktualisieren";
  btnRefreshOverview->OnClick = [this] { updateWelcomeTreeView(); };
  tvWelcome = &add<TWebTreeView>("tvWelcome", &overview);
  tvWelcome->Hint = "Bisher nicht abgeholte SMS";

  auto& navigation = add<TWebRegion>("rgnNavigation", &columns);
  navigation.CssClass = "navigation";
  addNavigation(navigation, "btnAccounts", "lblAccounts", "accounts.png", "Nutzerkonten verwalten",
                "Nutzerkonten", "TAccountsForm");
  addNavigation(navigation, "btnSendSMS", "lblSendSMS", "sendsms.png", "SMS senden", "SMS senden",
                "TSendSMSForm");
  addNavigation(navigation, "btnReceivedSMS", "lblReceivedSMS", "received.png", "Empfangene SMS",
                "Empfangene SMS", "TSMSReceivedForm");
  addNavigation(navigation, "btnSentSMS", "lblSentSMS", "sent.png", "Gesendete SMS",
                "Gesendete SMS", "TSMSSentForm");
  lblStateInfo = &add<TWebLabel>("lblStateInfo", &main);
  lblStateInfo->CssClass = "stateinfo";

  add<TWebHRule>("IWHRule1", &main);
  auto& administration = add<TWebRegion>("rgnAdministration", &main);
  administration.CssClass = "administration";
  add<TWebLabel>("IWLabel1", &administration).Caption = "Administration:";
  lnkStartSerialModem = &add<TWebLink>("lnkStartSerialModem", &administration);
  lnkStartSerialModem->Caption = "Serielles Modem starten";
  lnkStartSerialModem->OnClick = [this] {
    if (!IWServerController().activateSerialModem()) {
      getSession().showMessage("Das Modem konnte nicht gestartet werden!");
    }
  };
  lnkStopSerialModem = &add<TWebLink>("lnkStopSerialModem", &administration);
  lnkStopSerialModem->Caption = "Serielles Modem stoppen";
  lnkStopSerialModem->OnClick = [this] {
    if (!IWServerController().deactivateSerialModem()) {
      getSession().showMessage("Das Modem konnte nicht gestoppt werden!");
    }
  };
  lblModemStateInfo = &add<TWebLabel>("lblModemStateInfo", &administration);
  lblModemStateInfo->CssClass = "modemstate";
  lblModemStateInfo->Caption = "Information";

  auto& footer = add<TWebRegion>("rgnFooter");
  add<TWebLabel>("lblIcons", &footer).Caption = "Verwendete Icons von: ";
  addIconsLink(&footer);

  updateWelcomeTreeView();
}

TWebImageButton& TMainForm::addNavigation(TWebRegion& aParent, const std::string& aButton,
                                          const std::string& aLabel, const std::string& aImage,
                                          const std::string& aHint, const std::string& aText,
                                          const std::string& aClass) {
  auto& button = add<TWebImageButton>(aButton, &aParent);
  button.ImageFile = aImage;
  button.Hint = aHint;
  button.AltText = aText;
  button.OnClick = [this, aClass] { navigate(aClass); };
  add<TWebLabel>(aLabel, &aParent).Caption = aText;
  return button;
}

void TMainForm::navigate(const std::string& aClass) {
  if (!showIWForm(*this, aClass)) {
    getSession().showMessage("Diese Ansicht ist in dieser Version nicht verfügbar.");
  }
}

void TMainForm::doInitialize(const std::any&) {
  setLoggedUsername(UserSession().LoggedUser());
  TVTSMSManagerSerialModem& serial = modem();
  if (!serial.getActive()) {
    lblStateInfo->Caption = "Modem NICHT verbunden.";
  } else {
    lblStateInfo->Caption = "Modem " + serial.getModemVendorInfo() + " " +
                            serial.getModemModelInfo() + " " + serial.getModemSerialNumberInfo() +
                            " an COM" + std::to_string(serial.getCommPort());
  }
}

void TMainForm::onRender() {
  TVTSMSManagerSerialModem& serial = modem();
  if (!serial.getActive()) {
    lblModemStateInfo->Caption = "Das Modem (seriell) ist NICHT aktiv!";
    lblModemStateInfo->Font.Color = "red";
  } else {
    lblModemStateInfo->Caption = "Modem aktiv: COM" + std::to_string(serial.getCommPort()) + ", " +
                                 serial.getModemVendorInfo() + " - " + serial.getModemModelInfo() +
                                 " - " + serial.getModemSerialNumberInfo();
    lblModemStateInfo->Font.Color = "green";
  }
}

void TMainForm::doLogout() {
  runLogout(*this, "TLogonForm");
}

void TMainForm::updateWelcomeTreeView() {
  std::vector<TUnreadCount> counts;
  if (!hasIWServerController() || !retrieveUnreadCounts(IWServerController().database(), counts)) {
    tvWelcome->Items = {{"Datenbank nicht verbunden", {}}};
    return;
  }
  tvWelcome->Items.clear();
  if (counts.empty()) {
    tvWelcome->Items.push_back({"Keine SMS in den Warteschlangen", {}});
    return;
  }
  std::int64_t total = 0;
  TWebTreeNode root;
  for (const TUnreadCount& count : counts) {
    total += count.Count;
    const std::string account = count.AccountName.empty()
                                    ? "Konto " + std::to_string(count.AccountID) + " (gelöscht)"
                                    : count.AccountName;
    root.Children.push_back({account + ": " + std::to_string(count.Count) + " SMS", {}});
  }
  root.Caption = "Nicht abgeholte SMS: " + std::to_string(total);
  tvWelcome->Items.push_back(std::move(root));
}

TMainForm32::TMainForm32(TWebSession& aSession) : TAdminForm(aSession, "MainForm32") {
  Title = "Hauptmenü kvGateway";
  StyleSheets.clear();
  lblLoggedUsername = &add<TWebLabel>("lblLoggedUsername");
  lblLoggedUsername->Caption = "-";
  lblLoggedUsername->Font = {"green", true, 0};
  btnLogout = &add<TWebImageButton>("btnLogout");
  btnLogout->ImageFile = "logout.png";
  btnLogout->Hint = "Den aktuellen Nutzer abmelden";
  btnLogout->AltText = "Logout";
  btnLogout->OnClick = [this] { doLogout(); };
}

void TMainForm32::doInitialize(const std::any&) {
  setLoggedUsername(UserSession().LoggedUser());
}

void TMainForm32::doLogout() {
  runLogout(*this, "TLogonForm32");
}
