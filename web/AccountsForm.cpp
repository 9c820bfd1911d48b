#include "web/AccountsForm.h"

#include "common/SystemTools.h"
#include "server/Accounts.h"
#include "server/ServerController.h"
#include "web/Navigation.h"

#include <charconv>
#include <stdexcept>

namespace {

// The account types of the type entries, in list order.
const int kAccountTypes[] = {0, 1, 2, 3, IC_ACCOUNTTYPE_ADMIN};
constexpr int kAccountTypeCount = 5;

TBizDatabase& database() {
  return IWServerController().database();
}

std::string quoted(const std::string& aText) {
  return "\"" + aText + "\"";
}

// A 32-bit signed integer in decimal, with blanks around it allowed.
bool parseInt32(const std::string& aText, int& aValue) {
  const std::size_t first = aText.find_first_not_of(' ');
  const std::size_t last = aText.find_last_not_of(' ');
  if (first == std::string::npos) {
    return false;
  }
  const char* begin = aText.data() + first;
  const char* end = aText.data() + last + 1;
  if (*begin == '+' && end - begin > 1 && begin[1] != '-') {
    ++begin;
  }
  const auto [stop, ec] = std::from_chars(begin, end, aValue);
  return ec == std::errc() && stop == end;
}

int accountIDOf(const TStringsIDItem& aItem) {
  int id = 0;
  if (!parseInt32(aItem.InstanceID, id)) {
    throw std::invalid_argument("account ID \"" + aItem.InstanceID + "\" is no number");
  }
  return id;
}

// Splits a line "id=name" of the account list.
bool splitAccountLine(const std::string& aLine, std::string& aID, std::string& aName) {
  const std::size_t equals = aLine.find('=');
  if (equals == std::string::npos) {
    return false;
  }
  aID = aLine.substr(0, equals);
  aName = aLine.substr(equals + 1);
  return true;
}

TWebRegion& addRow(TAdminForm& aPage, const std::string& aName, TWebRegion& aParent,
                   const std::string& aLabelName, const std::string& aCaption) {
  auto& row = aPage.add<TWebRegion>(aName, &aParent);
  row.CssClass = "formrow";
  if (!aLabelName.empty()) {
    aPage.add<TWebLabel>(aLabelName, &row).Caption = aCaption;
  }
  return row;
}

} // namespace

TAccountsForm::TAccountsForm(TWebSession& aSession) : TAdminForm(aSession, "AccountsForm") {
  Title = "Nutzerkonten";
  btnClose = &addTopBarWithClose([this] { btnCloseClick(); });

  auto& main = add<TWebRegion>("rgnMain");
  addHeading(main, "Nutzerkonten verwalten");
  auto& columns = add<TWebRegion>("rgnColumns", &main);
  columns.CssClass = "columns";

  auto& listArea = add<TWebRegion>("rgnAccountList", &columns);
  listArea.CssClass = "panel accountlist";
  lbAccounts = &add<TWebListBox>("lbAccounts", &listArea);
  lbAccounts->VisibleRows = 16;
  lbAccounts->OnChange = [this] { lbAccountsClick(); };
  auto& filterRow = addRow(*this, "rgnFilter", listArea, "lblTextfilter", "Textfilter:");
  filterRow.CssClass = "filterrow";
  edtTextfilter = &add<TWebEdit>("edtTextfilter", &filterRow);
  edtTextfilter->OnSubmit = [this] { btnFilterClick(); };
  btnFilter = &add<TWebImageButton>("btnFilter", &filterRow);
  btnFilter->ImageFile = "search.png";
  btnFilter->Hint = "Die Liste nach dem Textfilter neu aufbauen";
  btnFilter->AltText = "Filtern";
  btnFilter->OnClick = [this] { btnFilterClick(); };

  auto& frame = add<TWebRegion>("rgnUserData", &columns);
  frame.CssClass = "panel frame";
  auto& frameTitle = add<TWebLabel>("lblUserData", &frame);
  frameTitle.Caption = "Nutzerdaten";
  frameTitle.CssClass = "frametitle";
  auto& idRow = addRow(*this, "rgnAccountID", frame, "lblAccountIDCaption", "Konto-ID:");
  lblAccountID = &add<TWebLabel>("lblAccountID", &idRow);
  lblAccountID->Caption = "-";
  auto& nameRow = addRow(*this, "rgnAccountName", frame, "lblAccountName", "Nutzername:");
  edtAccountName = &add<TWebEdit>("edtAccountName", &nameRow);
  auto& passwordRow = addRow(*this, "rgnAccountPassword", frame, "lblAccountPassword", "Passwort:");
  edtAccountPassword = &add<TWebPasswordEdit>("edtAccountPassword", &passwordRow);
  auto& typeRow = addRow(*this, "rgnAccountType", frame, "lblAccountType", "Kontotyp:");
  cbbAccountType = &add<TWebComboBox>("cbbAccountType", &typeRow);
  cbbAccountType->Items = {"keine SMS Rechte", "SMS senden erlaubt", "SMS empfangen erlaubt",
                           "SMS senden und empfangen erlaubt", "für Administration"};
  cbbAccountType->NoSelectionText = "(bitte wählen)";
  auto& extraRow =
      addRow(*this, "rgnAccountExtraID", frame, "lblAccountExtraID", "Zusätzliche Nummer:");
  edtAccountExtraID = &add<TWebEdit>("edtAccountExtraID", &extraRow);
  auto& activeRow = addRow(*this, "rgnAccountActive", frame, {}, {});
  cbAccountActive = &add<TWebCheckBox>("cbAccountActive", &activeRow);
  cbAccountActive->Caption = "Konto ist aktiv";
  cbAccountActive->Checked = true;
  auto& expiringRow = addRow(*this, "rgnAccountExpiring", frame, {}, {});
  cbAccountUsesExpiring = &add<TWebCheckBox>("cbAccountUsesExpiring", &expiringRow);
  cbAccountUsesExpiring->Caption = "Konto hat Ablaufdatum";
  cldAccountExpirationDate = &add<TWebCalendar>("cldAccountExpirationDate", &frame);
  cldAccountExpirationDate->StartDate = NowLocal();

  auto& buttons = add<TWebRegion>("rgnAccountButtons", &frame);
  buttons.CssClass = "buttonrow";
  const auto addButton = [&](const std::string& aName, const std::string& aImage,
                             const std::string& aHint, const std::string& aCaption) {
    auto& button = add<TWebImageButton>(aName, &buttons);
    button.ImageFile = aImage;
    button.Hint = aHint;
    button.AltText = aCaption;
    add<TWebLabel>("lbl" + aName.substr(3), &buttons).Caption = aCaption;
    return &button;
  };
  btnAddAccount = addButton("btnAddAccount", "add.png", "Ein neues Konto hinzufügen", "Neu");
  btnAddAccount->OnClick = [this] { btnAddAccountClick(); };
  btnDeleteAccount =
      addButton("btnDeleteAccount", "delete.png", "Das ausgewählte Konto löschen", "Löschen");
  btnDeleteAccount->OnClick = [this] { btnDeleteAccountClick(); };
  btnCommitAccount = addButton("btnCommitAccount", "commit.png",
                               "Änderungen am aktuellen Konto übernehmen", "Übernehmen");
  btnCommitAccount->OnClick = [this] { btnCommitAccountClick(); };

  lblOutput = &add<TWebLabel>("lblOutput", &main);
  lblOutput->CssClass = "outputline";
  lblOutput->Caption = "-------";
  lblOutput->Font.Color = "white";
  lblOutput->Font.Bold = true;

  auto& footer = add<TWebRegion>("rgnFooter");
  add<TWebLabel>("lblIcons", &footer).Caption = "Verwendete Icons von: ";
  addIconsLink(&footer);
}

TAccountsForm::~TAccountsForm() {
  clearAccountsView();
}

void TAccountsForm::doInitialize(const std::any&) {
  fPasswordOld.clear();
  updateAccountsView();
}

void TAccountsForm::clearAccountsView() {
  lbAccounts->Items.clear();
  lbAccounts->ItemIndex = -1;
  fItems.clear();
}

bool TAccountsForm::matchPattern(const std::string& aText, const std::string& aPattern) {
  return aPattern.empty() || aText.find(aPattern) != std::string::npos;
}

void TAccountsForm::updateAccountsView() {
  clearAccountsView();
  std::vector<std::string> accounts;
  database().retrieveAccounts(&accounts);
  for (const std::string& line : accounts) {
    std::string id;
    std::string name;
    if (splitAccountLine(line, id, name) && matchPattern(name, edtTextfilter->Text)) {
      lbAccounts->Items.push_back(name);
      fItems.push_back(std::make_unique<TStringsIDItem>(TStringsIDItem{id, name}));
    }
  }
}

void TAccountsForm::doOutput(const std::string& aText) {
  lblOutput->Caption = aText;
  lblOutput->Font.Color = "white";
}

void TAccountsForm::doErrorOutput(const std::string& aText) {
  lblOutput->Caption = aText;
  lblOutput->Font.Color = "red";
}

std::string TAccountsForm::getasmd5(const std::string& aText) {
  return encodeMD5(aText);
}

const TStringsIDItem* TAccountsForm::selectedItem() const {
  const int index = lbAccounts->ItemIndex;
  if (index < 0 || index >= static_cast<int>(fItems.size())) {
    return nullptr;
  }
  return fItems[index].get();
}

void TAccountsForm::lbAccountsClick() {
  const TStringsIDItem* item = selectedItem();
  if (item == nullptr) {
    return;
  }
  std::string name;
  std::string password;
  bool active = false;
  int type = 0;
  TDateTime created;
  TDateTime expiration;
  std::int64_t extraData = 0;
  if (!database().getAccount(accountIDOf(*item), name, password, active, type, created, expiration,
                             extraData)) {
    return;
  }
  edtAccountName->Text = name;
  lblAccountID->Caption = item->InstanceID;
  edtAccountPassword->Text = password;
  fPasswordOld = password;
  cbAccountActive->Checked = active;
  for (int i = 0; i < kAccountTypeCount; ++i) {
    if (kAccountTypes[i] == type) {
      cbbAccountType->ItemIndex = i;
    }
  }
  if (expiration.value() > 0) {
    cldAccountExpirationDate->StartDate = expiration;
    cldAccountExpirationDate->SelectedDate = expiration;
    cbAccountUsesExpiring->Checked = true;
  } else {
    cldAccountExpirationDate->StartDate = NowLocal();
    cldAccountExpirationDate->SelectedDate.reset();
    cbAccountUsesExpiring->Checked = false;
  }
  edtAccountExtraID->Text = std::to_string(extraData);
}

void TAccountsForm::btnFilterClick() {
  updateAccountsView();
}

bool TAccountsForm::checkTypeAndExtraNumber(int& aType, int& aExtraID) {
  const int entry = cbbAccountType->ItemIndex;
  if (entry < 0 || entry >= kAccountTypeCount) {
    doErrorOutput("Bitte wählen Sie einen gültigen Typ für das Konto aus.");
    return false;
  }
  aType = kAccountTypes[entry];
  aExtraID = 0;
  if (!edtAccountExtraID->Text.empty() && !parseInt32(edtAccountExtraID->Text, aExtraID)) {
    doErrorOutput("Die zusätzliche Nummer muss eine Zahl sein. Der Wert " +
                  quoted(edtAccountExtraID->Text) + " ist keine Zahl.");
    return false;
  }
  return true;
}

TDateTime TAccountsForm::chosenExpiration() const {
  if (cbAccountUsesExpiring->Checked && cldAccountExpirationDate->SelectedDate) {
    return *cldAccountExpirationDate->SelectedDate;
  }
  return TDateTime();
}

void TAccountsForm::btnAddAccountClick() {
  const std::string name = edtAccountName->Text;
  if (name.empty()) {
    doErrorOutput("Bitte geben Sie einen Namen für das Konto an.");
    return;
  }
  if (edtAccountPassword->Text.empty()) {
    doErrorOutput("Bitte geben Sie eine Passwort für das Konto an.");
    return;
  }
  int type = 0;
  int extraID = 0;
  if (!checkTypeAndExtraNumber(type, extraID)) {
    return;
  }
  if (database().existsAccountByName(name)) {
    doErrorOutput("Ein Konto mit dem Namen " + quoted(name) +
                  " existiert bereits, ein weiteres kann nicht angelegt werden.");
    return;
  }
  const std::string hash = getasmd5(edtAccountPassword->Text);
  if (database().addAccount(name, hash, cbAccountActive->Checked, type, chosenExpiration(),
                            extraID)) {
    doOutput("Es wurde ein neues Konto " + quoted(name) + " angelegt.");
  } else {
    doErrorOutput("Das Konto " + quoted(name) + " konnte nicht angelegt werden.");
  }
  updateAccountsView();
}

void TAccountsForm::btnCommitAccountClick() {
  const TStringsIDItem* item = selectedItem();
  if (item == nullptr) {
    doErrorOutput("Bitte wählen Sie ein Konto in der Liste aus.");
    return;
  }
  const std::string name = edtAccountName->Text;
  if (name.empty()) {
    doErrorOutput("Bitte geben Sie einen Namen für das Konto an.");
    return;
  }
  if (edtAccountPassword->Text.empty()) {
    doErrorOutput("Bitte geben Sie eine Passwort für das Konto an.");
    return;
  }
  // The box still holding the loaded hash means the password stays as it is.
  const std::string hash = edtAccountPassword->Text == fPasswordOld
                               ? edtAccountPassword->Text
                               : getasmd5(edtAccountPassword->Text);
  int type = 0;
  int extraID = 0;
  if (!checkTypeAndExtraNumber(type, extraID)) {
    return;
  }
  if (!database().existsAccountByName(name)) {
    doErrorOutput("Ein Konto mit dem Namen " + quoted(name) +
                  " existiert NICHT, es kann also nicht aktualisiert werden.");
    return;
  }
  // Names stay unique: the name may only be the selected account's own.
  std::vector<std::string> accounts;
  database().retrieveAccounts(&accounts);
  for (const std::string& line : accounts) {
    std::string id;
    std::string other;
    if (splitAccountLine(line, id, other) && other == name && id != item->InstanceID) {
      doErrorOutput("Der Name " + quoted(name) +
                    " gehört bereits zu einem anderen Konto; Kontonamen müssen eindeutig "
                    "sein. Das Konto wurde nicht geändert.");
      return;
    }
  }
  if (database().updateAccount(accountIDOf(*item), name, hash, cbAccountActive->Checked, type,
                               chosenExpiration(), extraID)) {
    doOutput("Das Konto " + quoted(name) + " wurde geändert.");
  } else {
    doErrorOutput("Das Konto " + quoted(name) + " konnte nicht geändert werden.");
  }
}

void TAccountsForm::btnDeleteAccountClick() {
  const TStringsIDItem* item = selectedItem();
  if (item == nullptr) {
    doErrorOutput("Bitte wählen Sie ein Konto in der Liste aus.");
    updateAccountsView();
    return;
  }
  try {
    const int id = accountIDOf(*item);
    database().deleteAccount(id);
    doOutput("Das Konto \"" + item->InstanceTagString + " (" + std::to_string(id) +
             ")\" wurde gelöscht.");
  } catch (const std::exception& e) {
    doErrorOutput(std::string("Fehler beim Löschen: \"") + e.what() + "\"");
  }
  updateAccountsView();
}

void TAccountsForm::btnCloseClick() {
  showIWForm(*this, "TMainForm");
}
