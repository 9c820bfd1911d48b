// The window tests need one QApplication for the whole run; without a platform named in the
// environment they run headless.
#include "tests/support/TestRun.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace {

QtMessageHandler gPreviousHandler = nullptr;

// The offscreen platform warns about window hints it cannot pass on; nothing to see there.
void quietMessages(QtMsgType aType, const QMessageLogContext& aContext, const QString& aText) {
  if (!aText.contains(QStringLiteral("does not support propagateSizeHints"))) {
    gPreviousHandler(aType, aContext, aText);
  }
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  gPreviousHandler = qInstallMessageHandler(quietMessages);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return testsupport::runAllTests();
}
