#include "prereq/window/QtPrereqDialogs.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

// Texts of the prerequisites end their lines with CR LF; a label wants LF alone.
QString boxText(const std::string& aText) {
  return QString::fromStdString(aText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

bool TQtPrereqDialogs::askYesNo(TKind aKind, const std::string& aText) {
  QMessageBox box(aKind == pdkWarning ? QMessageBox::Warning : QMessageBox::Information,
                  QString::fromUtf8(SC_APPLICATIONTITLE), boxText(aText),
                  QMessageBox::Yes | QMessageBox::No, fParent);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("Ja"));
  box.button(QMessageBox::No)->setText(QStringLiteral("Nein"));
  // Ignoring a prerequisite by pressing Enter would be too easy.
  box.setDefaultButton(aKind == pdkWarning ? QMessageBox::No : QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void TQtPrereqDialogs::showError(const std::string& aText) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(SC_APPLICATIONTITLE), boxText(aText),
                  QMessageBox::Ok, fParent);
  box.exec();
}
