#include "prereq/KVPrereqRegistry.h"
#include "prereq/window/MainForm.h"
#include "tests/prereq/PrereqFakes.h"
#include "tests/support/TestSupport.h"

#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

using namespace prereqfakes;

namespace {

// The window as an X server shows it, saved as build/test-artifacts/tomvek-window.png for a
// person to look at. Runs under Xvfb (the test tomvek.screenshot); elsewhere it is skipped.
TEST(MainFormScreenshotTest, TheWindowOfAStoppedServerOnAnXServer) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
    GTEST_SKIP() << "needs an X server; run under xvfb-run with QT_QPA_PLATFORM=xcb";
  }
  testsupport::TTempDir temp;
  TFakeMachine machine(temp.path());
  machine.Services.States["firebird3.0.service"] = platform::svsStopped;
  TKVPrereqRegistry registry(machine.Wired, TKVPrereqFirebirdSettings{});
  TKVPrereqRun run({"prereqs=firebird,firebirdclient", "app=Parlino"});
  TMainForm form(run, registry, machine.Wired);
  form.Loaded();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::qWait(200); // let the first paint reach the X server

  const std::string folder = testsupport::buildPath("test-artifacts");
  mkdir(folder.c_str(), 0775);
  const auto save = [&](const char* aName) {
    const QPixmap shot = form.screen()->grabWindow(form.winId());
    EXPECT_FALSE(shot.isNull());
    const std::string file = folder + "/" + aName;
    EXPECT_TRUE(shot.save(QString::fromStdString(file), "PNG")) << file;
    return shot.toImage();
  };
  const QImage image = save("tomvek-window.png");
  // The black title bar at the top, light controls below it.
  EXPECT_EQ(image.pixelColor(image.width() - 5, 5), QColor(Qt::black));
  EXPECT_GT(image.pixelColor(image.width() / 2, image.height() - 5).lightness(), 128);

  // The same window while a download runs.
  form.beginAction();
  form.setActionText("Download...");
  form.setProgress(0, 0, 100);
  form.setProgress(40, -1, -1);
  QTest::qWait(200);
  (void)save("tomvek-window-action.png");
  form.endAction();
}

} // namespace
