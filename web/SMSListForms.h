#pragma once

#include "web/AdminForm.h"
#include "webframework/WebDataControls.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

class TFbDatabase;
class TFbTransaction;
class TFbTableDataSet;

// Seconds an edit on a list page waits for a row that another open list page holds, before
// it is refused with a message.
inline constexpr int IC_LISTPAGE_LOCKTIMEOUT = 10;

// A page that shows one SMS table of the database as a grid with a record navigator.
//
// From creation to destruction the page owns an attachment of its own, opened with the
// core's database name and connection parameters (never the core's connection or lock), and
// one snapshot transaction on it: the grid shows the table as it stood when the page was
// created, and the navigator's insertions, changes and deletions stay in that transaction
// until the page is destroyed (IWAppFormDestroy) - by the navigation rule or at the end of
// the session - and then are committed; a failed commit is logged and rolled back.
// When the database cannot be reached, at creation or later when the rows are read, the page
// shows a short notice instead of the grid and the error goes to the core's exception hook.
// Threads: the requests of its session, one at a time; destruction may run on the thread
// that ends the session.
class TSMSListForm : public TAdminForm {
public:
  ~TSMSListForm() override;

  void IWAppFormCreate();
  void IWAppFormDestroy();
  void btnCloseClick();
  void onRender() override;

  // Whether the table is open (false after a failed opening).
  bool isOpen() const;
  TFbTableDataSet* dataSet() const { return fTable.get(); }
  // The page's own connection, null when the table is not open (for tests).
  TFbDatabase* database() const { return fDatabase.get(); }

  TWebImageButton* btnClose;
  TWebLabel* lblTopFormInfo;
  TWebLabel* lblDatabaseNotice;
  TWebDataGrid* grdMessages;
  TWebDataNavigator* dbnavMessages;

protected:
  TSMSListForm(TWebSession& aSession, const std::string& aName, const std::string& aTitle,
               std::string aTableName, const std::string& aCaption,
               std::vector<TWebGridColumn> aColumns);

private:
  void showDatabaseNotice();
  // To the core's exception hook, which logs it.
  void reportFailure(const std::exception& aError);

  std::string fTableName;
  std::unique_ptr<TFbDatabase> fDatabase;
  std::unique_ptr<TFbTransaction> fTransaction;
  std::unique_ptr<TFbTableDataSet> fTable;
};

// The received SMS (table SMSSERVER_IN), title "Empfangene SMS".
class TSMSReceivedForm : public TSMSListForm {
public:
  explicit TSMSReceivedForm(TWebSession& aSession);
};

// The sent SMS (table SMSSERVER_OUT), title "Gesendete SMS".
class TSMSSentForm : public TSMSListForm {
public:
  explicit TSMSSentForm(TWebSession& aSession);
};
