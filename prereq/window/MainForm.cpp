#include "prereq/window/MainForm.h"

#include "prereq/window/QtPrereqDialogs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace {

QString qtText(const std::string& aText) {
  return QString::fromStdString(aText);
}

// The product logo of the title bar: a white check mark on a green tile.
QPixmap logoPixmap() {
  QPixmap pixmap(40, 40);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0x2e, 0x8b, 0x57));
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(2, 2, 36, 36), 7, 7);
  QPen pen(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  QPainterPath check;
  check.moveTo(11, 21);
  check.lineTo(17, 27);
  check.lineTo(29, 13);
  painter.drawPath(check);
  return pixmap;
}

QPushButton* hiddenButton(const char* aName, QWidget* aParent) {
  auto* button = new QPushButton(aParent);
  button->setObjectName(QString::fromLatin1(aName));
  button->setVisible(false);
  return button;
}

} // namespace

TMainForm::TMainForm(TKVPrereqRun& aRun, TKVPrereqRegistry& aRegistry, TKVPrereqServices& aServices,
                     QWidget* aParent)
    : QWidget(aParent), fRun(aRun), fRegistry(aRegistry), fServices(aServices) {
  if (fServices.Dialogs == nullptr) {
    fOwnDialogs = std::make_unique<TQtPrereqDialogs>(this);
    fServices.Dialogs = fOwnDialogs.get();
  }
  if (!fServices.OnWaitStep) {
    fOwnWaitStep = true;
    fServices.OnWaitStep = [this] { processMessages(); };
  }
  createControls();
}

TMainForm::~TMainForm() {
  if (fOwnDialogs && fServices.Dialogs == fOwnDialogs.get()) {
    fServices.Dialogs = nullptr;
  }
  if (fOwnWaitStep) {
    fServices.OnWaitStep = nullptr;
  }
}

void TMainForm::createControls() {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Installationsvoraussetzungen"));
  resize(580, 470);

  auto* pnlTop = new QFrame(this);
  pnlTop->setObjectName(QStringLiteral("pnlTop"));
  pnlTop->setAutoFillBackground(true);
  QPalette topPalette = pnlTop->palette();
  topPalette.setColor(QPalette::Window, Qt::black);
  topPalette.setColor(QPalette::WindowText, Qt::white);
  pnlTop->setPalette(topPalette);
  auto* logo = new QLabel(pnlTop);
  logo->setObjectName(QStringLiteral("imgLogo"));
  logo->setPixmap(logoPixmap());
  lblPrereqsApp = new QLabel(QStringLiteral("Voraussetzungen zur Installation"), pnlTop);
  lblPrereqsApp->setObjectName(QStringLiteral("lblPrereqsApp"));
  QFont titleFont = lblPrereqsApp->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
  lblPrereqsApp->setFont(titleFont);
  auto* topLayout = new QHBoxLayout(pnlTop);
  topLayout->setContentsMargins(10, 8, 10, 8);
  topLayout->setSpacing(12);
  topLayout->addWidget(logo);
  topLayout->addWidget(lblPrereqsApp, 1);

  lblAppinfo = new QLabel(this);
  lblAppinfo->setObjectName(QStringLiteral("lblAppinfo"));
  lblAppinfo->setWordWrap(true);

  lvPR = new QTreeWidget(this);
  lvPR->setObjectName(QStringLiteral("lvPR"));
  lvPR->setColumnCount(2);
  lvPR->setHeaderLabels({QStringLiteral("Bezeichnung"), QStringLiteral("Vorschlag")});
  lvPR->setRootIsDecorated(false);
  lvPR->setItemsExpandable(false);
  lvPR->setSelectionMode(QAbstractItemView::SingleSelection);
  lvPR->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvPR->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvPR->header()->setStretchLastSection(false);
  lvPR->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  lvPR->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  connect(lvPR, &QTreeWidget::itemSelectionChanged, this, [this] { lvPRSelectItem(); });

  mmoDescription = new QPlainTextEdit(this);
  mmoDescription->setObjectName(QStringLiteral("mmoDescription"));
  mmoDescription->setReadOnly(true);
  mmoDescription->setMaximumHeight(90);

  btnActionDirect = hiddenButton("btnActionDirect", this);
  btnActionUser = hiddenButton("btnActionUser", this);
  btnActionNone = hiddenButton("btnActionNone", this);
  connect(btnActionDirect, &QPushButton::clicked, this, [this] { btnActionDirectClick(); });
  connect(btnActionUser, &QPushButton::clicked, this, [this] { btnActionUserClick(); });
  connect(btnActionNone, &QPushButton::clicked, this, [this] { btnActionNoneClick(); });
  auto* actionLayout = new QHBoxLayout;
  actionLayout->addStretch(1);
  actionLayout->addWidget(btnActionDirect);
  actionLayout->addWidget(btnActionUser);
  actionLayout->addWidget(btnActionNone);

  lblCurrentAction = new QLabel(QStringLiteral("---"), this);
  lblCurrentAction->setObjectName(QStringLiteral("lblCurrentAction"));
  lblCurrentAction->setVisible(false);
  pbCurrentAction = new QProgressBar(this);
  pbCurrentAction->setObjectName(QStringLiteral("pbCurrentAction"));
  pbCurrentAction->setVisible(false);
  btnCancel = hiddenButton("btnCancel", this);
  btnCancel->setText(QStringLiteral("Abbrechen"));
  btnCancel->setEnabled(false);
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
  auto* progressLayout = new QHBoxLayout;
  progressLayout->addWidget(pbCurrentAction, 1);
  progressLayout->addWidget(btnCancel);

  auto* bodyLayout = new QVBoxLayout;
  bodyLayout->setContentsMargins(12, 10, 12, 12);
  bodyLayout->addWidget(lblAppinfo);
  bodyLayout->addWidget(lvPR, 1);
  bodyLayout->addWidget(mmoDescription);
  bodyLayout->addLayout(actionLayout);
  bodyLayout->addWidget(lblCurrentAction);
  bodyLayout->addLayout(progressLayout);

  auto* mainLayout = new QVBoxLayout(this);
  mainLayout->setContentsMargins(0, 0, 0, 0);
  mainLayout->setSpacing(0);
  mainLayout->addWidget(pnlTop);
  mainLayout->addLayout(bodyLayout, 1);
}

void TMainForm::Loaded() {
  try {
    fRun.check(fRegistry);
  } catch (const std::exception& error) {
    fServices.Dialogs->showError(error.what());
  }
  lblAppinfo->setText(qtText(fRun.AppInfoText()));
  if (fRun.EndsAtOnce()) {
    return;
  }
  // Row i stands for entry i of the prerequisites to solve.
  for (const auto& [word, prereqPointer] : fRun.PreReqsToSolve()) {
    const TAbstractKVPrereq& prereq = *prereqPointer;
    new QTreeWidgetItem(lvPR, {qtText(prereq.Caption()), qtText(prereq.Suggestion())});
  }
  (void)fRun.AutoResolve(); // read, as installers pass it, without effect
}

void TMainForm::showEvent(QShowEvent* aEvent) {
  QWidget::showEvent(aEvent);
  if (!fShown) {
    fShown = true;
    FormShow();
  }
}

void TMainForm::closeEvent(QCloseEvent* aEvent) {
  // An action cannot be cancelled; the window stays until it is over.
  if (fActionRunning) {
    aEvent->ignore();
    return;
  }
  QWidget::closeEvent(aEvent);
}

void TMainForm::FormShow() {
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  if (lvPR->topLevelItemCount() > 0) {
    lvPR->setCurrentItem(lvPR->topLevelItem(0));
  } else {
    lvPRSelectItem();
  }
}

int TMainForm::selectedRow() const {
  const auto selected = lvPR->selectedItems();
  return selected.isEmpty() ? -1 : lvPR->indexOfTopLevelItem(selected.front());
}

void TMainForm::lvPRSelectItem() {
  const int row = selectedRow();
  if (row < 0 || static_cast<std::size_t>(row) >= fRun.PreReqsToSolve().size()) {
    mmoDescription->setPlainText(QString::fromUtf8(SC_NOSELECTIONTEXT));
    for (QPushButton* button : {btnActionDirect, btnActionUser, btnActionNone}) {
      button->setText({});
      button->setVisible(false);
    }
    return;
  }
  const TAbstractKVPrereq& prereq = *fRun.PreReqsToSolve()[static_cast<std::size_t>(row)].second;
  mmoDescription->setPlainText(qtText(prereq.Description()));
  btnActionDirect->setText(qtText(prereq.ResolveCaptionDirect()));
  btnActionDirect->setVisible(prereq.CanResolveDirect());
  btnActionUser->setText(qtText(prereq.ResolveCaptionUser()));
  btnActionUser->setVisible(prereq.CanResolveUser());
  btnActionNone->setText(QString::fromUtf8(SC_SKIPCAPTION));
  btnActionNone->setVisible(prereq.CanResolveNone());
}

void TMainForm::btnActionDirectClick() {
  runAction([this](TAbstractKVPrereq& aPrereq) { return aPrereq.handleResolveDirect(*this); });
}

void TMainForm::btnActionUserClick() {
  runAction([this](TAbstractKVPrereq& aPrereq) { return aPrereq.handleResolveUser(*this); });
}

void TMainForm::btnActionNoneClick() {
  runAction([this](TAbstractKVPrereq& aPrereq) {
    const std::string question = "Wollen Sie diese Voraussetzung \"" + aPrereq.Caption() +
                                 "\" wirklich ignorieren? Das zu installierende Programm läuft "
                                 "dann evtl. nicht korrekt!";
    return fServices.Dialogs->askYesNo(IKVPrereqDialogs::pdkWarning, question) &&
           aPrereq.handleResolveNone(*this);
  });
}

void TMainForm::btnCancelClick() {
  // An action cannot be cancelled; the button is shown, disabled, while one runs.
}

void TMainForm::runAction(const std::function<bool(TAbstractKVPrereq&)>& aAction) {
  const int row = selectedRow();
  if (row < 0 || fActionRunning) {
    return;
  }
  TAbstractKVPrereq& prereq = *fRun.PreReqsToSolve()[static_cast<std::size_t>(row)].second;
  bool resolved = false;
  try {
    resolved = aAction(prereq);
  } catch (const std::exception& error) {
    // The action has run endAction already; the row stays.
    fServices.Dialogs->showError(error.what());
    return;
  }
  if (resolved) {
    removeRow(row);
  }
}

void TMainForm::removeRow(int aRow) {
  lvPR->clearSelection();
  lvPR->setCurrentItem(nullptr);
  delete lvPR->takeTopLevelItem(aRow);
  fRun.removeResolved(static_cast<std::size_t>(aRow));
  if (fRun.PreReqsToSolve().empty() && fRun.AutoClose()) {
    close();
  }
}

void TMainForm::processMessages() {
  QCoreApplication::processEvents();
}

void TMainForm::beginAction() {
  fActionRunning = true;
  fProgressShift = 0;
  pbCurrentAction->setValue(0);
  pbCurrentAction->setVisible(true);
  lblCurrentAction->clear();
  lblCurrentAction->setVisible(true);
  btnCancel->setVisible(true);
  btnActionDirect->setVisible(false);
  btnActionUser->setVisible(false);
  btnActionNone->setVisible(false);
  lvPR->setEnabled(false);
  processMessages();
}

void TMainForm::endAction() {
  lvPR->setEnabled(true);
  processMessages();
  btnCancel->setVisible(false);
  pbCurrentAction->setValue(0);
  pbCurrentAction->setVisible(false);
  lblCurrentAction->clear();
  lblCurrentAction->setVisible(false);
  fActionRunning = false;
  processMessages();
}

void TMainForm::setActionText(const std::string& aText) {
  lblCurrentAction->setText(qtText(aText));
  processMessages();
}

void TMainForm::setProgress(std::int64_t aPosition, std::int64_t aMin, std::int64_t aMax) {
  constexpr std::int64_t IC_BARLIMIT = std::numeric_limits<int>::max();
  if (aMax >= 0) {
    fProgressShift = 0;
    while ((aMax >> fProgressShift) > IC_BARLIMIT) {
      ++fProgressShift;
    }
  }
  const auto scaled = [this](std::int64_t aValue) {
    return static_cast<int>(aValue >> fProgressShift);
  };
  if (aMin >= 0 && scaled(aMin) != pbCurrentAction->minimum()) {
    pbCurrentAction->setMinimum(scaled(aMin));
  }
  if (aMax >= 0 && scaled(aMax) != pbCurrentAction->maximum()) {
    pbCurrentAction->setMaximum(scaled(aMax));
  }
  pbCurrentAction->setValue(static_cast<int>(
      std::clamp<std::int64_t>(aPosition >> fProgressShift, -IC_BARLIMIT, IC_BARLIMIT)));
  processMessages();
}
