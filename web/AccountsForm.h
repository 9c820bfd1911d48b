#pragma once

#include "web/AdminForm.h"

#include <memory>
#include <string>
#include <vector>

// What an entry of the account list carries: the account's ID as text and its name.
struct TStringsIDItem {
  std::string InstanceID;
  std::string InstanceTagString;
};

// The accounts page ("Nutzerkonten"): the list of accounts narrowed by a case-sensitive text
// filter, an edit area for the selected account, and adding, changing and deleting accounts
// through the core's account operations. The page checks the input, hashes passwords
// (getasmd5) and reports every outcome in one output line, white for success and red for
// errors. Account names stay unique: a change that would give an account the name of
// another one is refused.
// Threads: the requests of its session, one at a time; every core call takes the core's
// database lock itself.
class TAccountsForm : public TAdminForm {
public:
  explicit TAccountsForm(TWebSession& aSession);
  ~TAccountsForm() override; // IWAppFormDestroy

  void doInitialize(const std::any& aParam) override;
  void updateAccountsView();
  void clearAccountsView();
  static bool matchPattern(const std::string& aText, const std::string& aPattern);
  void doOutput(const std::string& aText);
  void doErrorOutput(const std::string& aText);
  static std::string getasmd5(const std::string& aText);

  void lbAccountsClick();
  void btnFilterClick();
  void btnAddAccountClick();
  void btnCommitAccountClick();
  void btnDeleteAccountClick();
  void btnCloseClick();

  TWebImageButton* btnClose;
  TWebListBox* lbAccounts;
  TWebLabel* lblAccountID;
  TWebEdit* edtAccountName;
  TWebPasswordEdit* edtAccountPassword;
  TWebComboBox* cbbAccountType;
  TWebCheckBox* cbAccountActive;
  TWebCheckBox* cbAccountUsesExpiring;
  TWebCalendar* cldAccountExpirationDate;
  TWebEdit* edtAccountExtraID;
  TWebImageButton* btnAddAccount;
  TWebImageButton* btnDeleteAccount;
  TWebImageButton* btnCommitAccount;
  TWebLabel* lblOutput;
  TWebEdit* edtTextfilter;
  TWebImageButton* btnFilter;

private:
  // The selected entry, or null.
  const TStringsIDItem* selectedItem() const;
  // The input checks adding and committing share, after the name and password checks: the
  // type entry and the extra number. False after the error text is out.
  bool checkTypeAndExtraNumber(int& aType, int& aExtraID);
  TDateTime chosenExpiration() const;

  std::string fPasswordOld;
  std::vector<std::unique_ptr<TStringsIDItem>> fItems; // by list entry, owned
};
