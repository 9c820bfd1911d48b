#pragma once

#include "prereq/InformationAdapter.h"
#include "prereq/KVPrereqRun.h"
#include "prereq/KVPrereqServices.h"

#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class TQtPrereqDialogs;

// The prerequisites window: one row per unsatisfied prerequisite of aRun with its suggestion,
// the selected one's description and up to three actions (direct, user, skip); a row leaves
// the list when its action succeeds, and with "autoclose" the window closes once the list is
// empty. It is the adapter of the running action: while one runs the list is locked and the
// step text and progress bar show, and every report lets the window repaint.
//
// Lives on the QApplication's thread. It refers to aRun, aRegistry and aServices, which must
// outlive it. When aServices has no Dialogs it gets the window's message boxes, and without
// OnWaitStep it gets the window's repainting, both for as long as the window lives. The
// controls carry their names as object names (lvPR, btnActionDirect, ...).
class TMainForm : public QWidget, public IInformationAdapter {
public:
  static constexpr const char* SC_NOSELECTIONTEXT =
      "Bitte wählen Sie eine Installationsvoraussetzung aus der Liste aus.";
  static constexpr const char* SC_SKIPCAPTION = "Überspringen...";

  TMainForm(TKVPrereqRun& aRun, TKVPrereqRegistry& aRegistry, TKVPrereqServices& aServices,
            QWidget* aParent = nullptr);
  ~TMainForm() override;

  // Start-up before the window shows: checks (unless the run has checked already), the
  // information line and the rows.
  void Loaded();
  // After Loaded: nothing to resolve and "autoclose", so the window is not to be shown.
  bool EndsAtOnce() const { return fRun.EndsAtOnce(); }

  void beginAction() override;
  void endAction() override;
  void setActionText(const std::string& aText) override;
  // The bar holds 32-bit values; larger ones (a download of more than 2 GiB) are shown scaled
  // down by a power of two chosen when the maximum is set.
  void setProgress(std::int64_t aPosition, std::int64_t aMin, std::int64_t aMax) override;

protected:
  void showEvent(QShowEvent* aEvent) override;
  void closeEvent(QCloseEvent* aEvent) override;

private:
  void createControls();
  void FormShow();
  void lvPRSelectItem();
  void btnActionDirectClick();
  void btnActionUserClick();
  void btnActionNoneClick();
  void btnCancelClick();
  // Runs an action on the selected row's prerequisite; removes the row when it succeeds and
  // shows the message of an error it raises.
  void runAction(const std::function<bool(TAbstractKVPrereq&)>& aAction);
  int selectedRow() const;
  void removeRow(int aRow);
  void processMessages();

  TKVPrereqRun& fRun;
  TKVPrereqRegistry& fRegistry;
  TKVPrereqServices& fServices;
  std::unique_ptr<TQtPrereqDialogs> fOwnDialogs;
  bool fOwnWaitStep = false;
  bool fActionRunning = false;
  bool fShown = false;
  int fProgressShift = 0; // the bar shows values divided by 2^fProgressShift

  QLabel* lblPrereqsApp = nullptr;
  QLabel* lblAppinfo = nullptr;
  QTreeWidget* lvPR = nullptr;
  QPlainTextEdit* mmoDescription = nullptr;
  QPushButton* btnActionDirect = nullptr;
  QPushButton* btnActionUser = nullptr;
  QPushButton* btnActionNone = nullptr;
  QLabel* lblCurrentAction = nullptr;
  QProgressBar* pbCurrentAction = nullptr;
  QPushButton* btnCancel = nullptr;
};
