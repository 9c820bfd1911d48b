#include "web/SMSListForms.h"

#include "logging/KvLogger.h"
#include "server/FbDatabase.h"
#include "server/ServerController.h"
#include "web/FbTableDataSet.h"
#include "web/Navigation.h"

namespace {

constexpr const char* kModule = "web";
constexpr int kGridRows = 20;

std::vector<std::string> fieldNamesOf(const std::vector<TWebGridColumn>& aColumns) {
  std::vector<std::string> names;
  for (const TWebGridColumn& column : aColumns) {
    names.push_back(column.FieldName);
  }
  return names;
}

// The key of a row inserted without one: the next key of the core's generator of that
// table, so that the row never takes a key the core hands out later.
std::int64_t newKeyOf(const std::string& aTableName) {
  TIBGenerator* generator = nullptr;
  if (hasIWServerController()) {
    TBizDatabase& database = IWServerController().database();
    generator =
        aTableName == "SMSSERVER_IN" ? database.getSMSInGenerator() : database.getSMSOutGenerator();
  }
  if (generator == nullptr) {
    throw EWebDataSetError("Der Server ist nicht mit der Datenbank verbunden und kann keine neue "
                           "ID vergeben; bitte geben Sie eine ID an. Es wurde nichts gespeichert.");
  }
  return generator->getNewValue();
}

} // namespace

TSMSListForm::TSMSListForm(TWebSession& aSession, const std::string& aName,
                           const std::string& aTitle, std::string aTableName,
                           const std::string& aCaption, std::vector<TWebGridColumn> aColumns)
    : TAdminForm(aSession, aName), fTableName(std::move(aTableName)) {
  Title = aTitle;
  btnClose = &addTopBarWithClose([this] { btnCloseClick(); });

  auto& main = add<TWebRegion>("rgnMain");
  lblTopFormInfo = &addHeading(main, aTitle);
  lblDatabaseNotice = &add<TWebLabel>("lblDatabaseNotice", &main);
  lblDatabaseNotice->CssClass = "notice";
  lblDatabaseNotice->Visible = false;
  auto& list = add<TWebRegion>("rgnMessages", &main);
  list.CssClass = "panel messages";
  dbnavMessages = &add<TWebDataNavigator>("dbnavMessages", &list);
  grdMessages = &add<TWebDataGrid>("grdMessages", &list);
  grdMessages->Caption = aCaption;
  grdMessages->Columns = std::move(aColumns);
  grdMessages->RowLimit = kGridRows;

  auto& footer = add<TWebRegion>("rgnFooter");
  add<TWebLabel>("lblIcons", &footer).Caption = "Verwendete Icons von: ";
  addIconsLink(&footer);

  IWAppFormCreate();
}

TSMSListForm::~TSMSListForm() {
  IWAppFormDestroy();
}

void TSMSListForm::IWAppFormCreate() {
  try {
    if (!hasIWServerController()) {
      throw std::runtime_error("no server core to take the database from");
    }
    const TBizDatabaseSettings& settings = IWServerController().database().getSettings();
    fDatabase = std::make_unique<TFbDatabase>();
    fTransaction = std::make_unique<TFbTransaction>(fDatabase.get());
    fDatabase->setDefaultTransaction(fTransaction.get());
    fDatabase->setDatabaseName(TBizDatabase::connectionName(settings));
    fDatabase->params() = TBizDatabase::connectionParams(settings);
    fDatabase->open();
    fTransaction->setLockTimeout(IC_LISTPAGE_LOCKTIMEOUT);
    fTransaction->startTransaction();
    fTable = std::make_unique<TFbTableDataSet>(*fDatabase, *fTransaction, fTableName, "ID",
                                               fieldNamesOf(grdMessages->Columns));
    for (std::size_t i = 0; i < grdMessages->Columns.size(); ++i) {
      fTable->setDisplayLabel(static_cast<int>(i), grdMessages->Columns[i].Title);
    }
    fTable->OnNewKey = [table = fTableName] { return newKeyOf(table); };
    fTable->open();
    grdMessages->DataSet = fTable.get();
    dbnavMessages->DataSet = fTable.get();
  } catch (const std::exception& e) {
    fTable.reset();
    fTransaction.reset();
    fDatabase.reset(); // closes what was opened
    showDatabaseNotice();
    reportFailure(e);
  }
}

void TSMSListForm::showDatabaseNotice() {
  lblDatabaseNotice->Caption = "Die Datenbank ist nicht erreichbar. Die Nachrichten können zur "
                               "Zeit nicht angezeigt werden.";
  lblDatabaseNotice->Visible = true;
  grdMessages->Visible = false;
  dbnavMessages->Visible = false;
  grdMessages->DataSet = nullptr;
  dbnavMessages->DataSet = nullptr;
}

void TSMSListForm::IWAppFormDestroy() {
  grdMessages->DataSet = nullptr;
  dbnavMessages->DataSet = nullptr;
  if (fTable) {
    fTable->close();
  }
  if (fTransaction && fTransaction->inTransaction()) {
    try {
      fTransaction->commit();
    } catch (const std::exception& e) {
      Logger().error(kModule, getName() + ": the changes made in the list of " + fTableName +
                                  " could not be committed: " + e.what());
      try {
        fTransaction->rollback();
      } catch (const std::exception&) {
        // The transaction is gone with its handle.
      }
    }
  }
  if (fDatabase) {
    try {
      fDatabase->close();
    } catch (const std::exception& e) {
      Logger().warn(kModule, getName() + ": closing the database connection: " + e.what());
    }
  }
  fTable.reset();
  fTransaction.reset();
  fDatabase.reset();
}

bool TSMSListForm::isOpen() const {
  return fTable != nullptr && fTable->isOpen();
}

void TSMSListForm::onRender() {
  if (!isOpen()) {
    return;
  }
  try {
    grdMessages->prepare();
  } catch (const std::exception& e) {
    // The rows cannot be read (the connection is gone): the page shows the notice, so that
    // it can still be closed.
    reportFailure(e);
    IWAppFormDestroy();
    showDatabaseNotice();
  }
}

void TSMSListForm::reportFailure(const std::exception& aError) {
  bool handled = false;
  if (hasIWServerController()) {
    IWServerController().IWServerControllerBaseException(aError, handled);
  } else {
    Logger().error(kModule, getName() + ": " + aError.what());
  }
}

void TSMSListForm::btnCloseClick() {
  showIWForm(*this, "TMainForm");
}

TSMSReceivedForm::TSMSReceivedForm(TWebSession& aSession)
    : TSMSListForm(aSession, "SMSReceivedForm", "Empfangene SMS", "SMSSERVER_IN",
                   "Empfangene Nachrichten (SMS)",
                   {{"ID", "ID"},
                    {"Originator", "Sender"},
                    {"SMSTYPE", "Typ"},
                    {"message_date", "Datum"},
                    {"SMSText", "Text"}}) {}

TSMSSentForm::TSMSSentForm(TWebSession& aSession)
    : TSMSListForm(aSession, "SMSSentForm", "Gesendete SMS", "SMSSERVER_OUT", "Gesendete SMS",
                   {{"ID", "ID"},
                    {"Recipient", "Empfänger"},
                    {"SMSType", "Typ"},
                    {"CREATE_DATE", "Datum"},
                    {"SMSText", "Text"}}) {}
