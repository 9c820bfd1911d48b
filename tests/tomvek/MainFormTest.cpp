#include "prereq/window/MainForm.h"

#include "prereq/KVPrereqRegistry.h"
#include "prereq/window/QtHttpDownload.h"
#include "prereq/window/QtPrereqDialogs.h"
#include "tests/prereq/PrereqFakes.h"
#include "tests/support/TestSupport.h"

#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <thread>

using namespace prereqfakes;

namespace {

const QString SC_FIREBIRDCAPTION =
    QStringLiteral("Firebird Datenbank Server- und Clientkomponenten");

class MainFormTest : public ::testing::Test {
protected:
  testsupport::TTempDir fTemp;
  TFakeMachine fMachine{fTemp.path()};
  TKVPrereqFirebirdSettings fSettings;
  std::unique_ptr<TKVPrereqRegistry> fRegistry;
  std::unique_ptr<TKVPrereqRun> fRun;
  std::unique_ptr<TMainForm> fForm;

  // Starts the tool as the program does: Loaded, then the window unless it ends at once.
  TMainForm& open(const std::vector<std::string>& aArguments) {
    fRegistry = std::make_unique<TKVPrereqRegistry>(fMachine.Wired, fSettings);
    fRun = std::make_unique<TKVPrereqRun>(aArguments);
    fForm = std::make_unique<TMainForm>(*fRun, *fRegistry, fMachine.Wired);
    fForm->Loaded();
    if (!fForm->EndsAtOnce()) {
      fForm->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(fForm.get()));
    }
    return *fForm;
  }
  void stopServer() { fMachine.Services.States["firebird3.0.service"] = platform::svsStopped; }

  template <class TControl>
  TControl& control(const char* aName) {
    auto* found = fForm->findChild<TControl*>(QString::fromLatin1(aName));
    EXPECT_NE(found, nullptr) << aName;
    return *found;
  }
  QTreeWidget& list() { return control<QTreeWidget>("lvPR"); }
  void click(const char* aButton) {
    QTest::mouseClick(&control<QPushButton>(aButton), Qt::LeftButton);
  }
  // The three action buttons as "caption|caption|caption" of those visible.
  std::string visibleActions() {
    std::string result;
    for (const char* name : {"btnActionDirect", "btnActionUser", "btnActionNone"}) {
      const auto& button = control<QPushButton>(name);
      if (button.isVisible()) {
        result += (result.empty() ? "" : "|") + button.text().toStdString();
      }
    }
    return result;
  }
};

TEST_F(MainFormTest, AStoppedServerGivesOneRowWithItsThreeActions) {
  stopServer();
  open({"prereqs=firebird,firebirdclient", "app=Parlino"});
  EXPECT_EQ(fForm->windowTitle(), QStringLiteral("Installationsvoraussetzungen"));
  EXPECT_EQ(control<QLabel>("lblPrereqsApp").text(),
            QStringLiteral("Voraussetzungen zur Installation"));
  EXPECT_EQ(control<QLabel>("lblAppinfo").text(),
            QStringLiteral("Das Programm Parlino benötigt die folgenden Voraussetzungen:"));
  EXPECT_EQ(list().headerItem()->text(0), QStringLiteral("Bezeichnung"));
  EXPECT_EQ(list().headerItem()->text(1), QStringLiteral("Vorschlag"));
  ASSERT_EQ(list().topLevelItemCount(), 1);
  EXPECT_EQ(list().topLevelItem(0)->text(0), SC_FIREBIRDCAPTION);
  EXPECT_EQ(list().topLevelItem(0)->text(1), QStringLiteral("Installieren"));
  // Showing selects the first row.
  EXPECT_TRUE(list().topLevelItem(0)->isSelected());
  EXPECT_EQ(control<QPlainTextEdit>("mmoDescription").toPlainText().toStdString(),
            fRegistry->find("firebird")->Description());
  EXPECT_EQ(visibleActions(), "Installieren...|Selbst downloaden...|Überspringen...");
  EXPECT_FALSE(control<QPushButton>("btnCancel").isVisible());
  EXPECT_FALSE(control<QPushButton>("btnCancel").isEnabled());
  EXPECT_EQ(control<QPushButton>("btnCancel").text(), QStringLiteral("Abbrechen"));
  EXPECT_FALSE(control<QLabel>("lblCurrentAction").isVisible());
  EXPECT_EQ(control<QLabel>("lblCurrentAction").text(), QStringLiteral("---"));
  EXPECT_FALSE(control<QProgressBar>("pbCurrentAction").isVisible());

  list().clearSelection();
  EXPECT_EQ(control<QPlainTextEdit>("mmoDescription").toPlainText(),
            QString::fromUtf8(TMainForm::SC_NOSELECTIONTEXT));
  EXPECT_EQ(visibleActions(), "");
  EXPECT_EQ(control<QPushButton>("btnActionDirect").text(), QString());
}

TEST_F(MainFormTest, AMissingClientLibraryGivesABareRowWithoutActions) {
  fMachine.Libraries.Loadable.clear();
  open({"PREREQS=FirebirdClient,unknown"});
  ASSERT_EQ(list().topLevelItemCount(), 1);
  EXPECT_EQ(list().topLevelItem(0)->text(0), QString());
  EXPECT_EQ(list().topLevelItem(0)->text(1), QString());
  EXPECT_TRUE(list().topLevelItem(0)->isSelected());
  EXPECT_EQ(visibleActions(), "");
}

TEST_F(MainFormTest, NothingMissingWithAutoCloseEndsAtOnceWithoutItAnEmptyListShows) {
  fRegistry = std::make_unique<TKVPrereqRegistry>(fMachine.Wired, fSettings);
  TKVPrereqRun run({"prereqs=firebird,firebirdclient", "autoclose"});
  TMainForm form(run, *fRegistry, fMachine.Wired);
  form.Loaded();
  EXPECT_TRUE(form.EndsAtOnce());
  EXPECT_FALSE(form.isVisible());

  open({"prereqs=firebird,firebirdclient", "autoclose=yes"});
  EXPECT_TRUE(fForm->isVisible());
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_EQ(control<QLabel>("lblAppinfo").text(),
            QStringLiteral("Das Programm <Unbekannt> benötigt die folgenden Voraussetzungen:"));
  EXPECT_EQ(control<QPlainTextEdit>("mmoDescription").toPlainText(),
            QString::fromUtf8(TMainForm::SC_NOSELECTIONTEXT));
}

TEST_F(MainFormTest, SkippingAsksFirstAndANoKeepsTheRow) {
  stopServer();
  open({"prereqs=firebird"});
  fMachine.Dialogs.Answers = {false};
  click("btnActionNone");
  ASSERT_EQ(fMachine.Dialogs.Questions.size(), 1u);
  EXPECT_EQ(fMachine.Dialogs.Questions[0].first, IKVPrereqDialogs::pdkWarning);
  EXPECT_EQ(fMachine.Dialogs.Questions[0].second,
            "Wollen Sie diese Voraussetzung \"Firebird Datenbank Server- und "
            "Clientkomponenten\" wirklich ignorieren? Das zu installierende Programm läuft dann "
            "evtl. nicht korrekt!");
  EXPECT_EQ(list().topLevelItemCount(), 1);

  fMachine.Dialogs.Answers = {true};
  click("btnActionNone");
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_TRUE(fRun->PreReqsToSolve().empty());
  EXPECT_EQ(control<QPlainTextEdit>("mmoDescription").toPlainText(),
            QString::fromUtf8(TMainForm::SC_NOSELECTIONTEXT));
  EXPECT_EQ(visibleActions(), "");
  EXPECT_TRUE(fForm->isVisible()); // without "autoclose" the window stays
}

TEST_F(MainFormTest, WithAutoCloseTheLastResolvedRowClosesTheWindow) {
  stopServer();
  open({"prereqs=firebird", "AutoClose"});
  fMachine.Dialogs.Answers = {true};
  click("btnActionNone");
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_FALSE(fForm->isVisible());
}

TEST_F(MainFormTest, UserActionOpensThePageAndAYesRemovesTheRow) {
  stopServer();
  open({"prereqs=firebird"});
  fMachine.Dialogs.Answers = {false, true};
  click("btnActionUser");
  EXPECT_EQ(list().topLevelItemCount(), 1);
  // After an action that did not resolve, the buttons come back with the next selection.
  EXPECT_EQ(visibleActions(), "");
  EXPECT_TRUE(list().isEnabled());
  list().clearSelection();
  list().setCurrentItem(list().topLevelItem(0));
  EXPECT_EQ(visibleActions(), "Installieren...|Selbst downloaden...|Überspringen...");
  click("btnActionUser");
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_EQ(fMachine.Shell.Opened,
            (std::vector<std::string>{fSettings.URLUser, fSettings.URLUser}));
}

TEST_F(MainFormTest, ProgressDisplayDuringAnAction) {
  stopServer();
  open({"prereqs=firebird"});
  auto& bar = control<QProgressBar>("pbCurrentAction");
  fForm->beginAction();
  EXPECT_TRUE(bar.isVisible());
  EXPECT_TRUE(control<QPushButton>("btnCancel").isVisible());
  EXPECT_FALSE(list().isEnabled());
  EXPECT_EQ(visibleActions(), "");
  fForm->setActionText("Download...");
  EXPECT_EQ(control<QLabel>("lblCurrentAction").text(), QStringLiteral("Download..."));
  fForm->setProgress(5, 0, 10);
  EXPECT_EQ(bar.maximum(), 10);
  EXPECT_EQ(bar.value(), 5);
  fForm->setProgress(7, -1, -1); // bounds stay
  EXPECT_EQ(bar.minimum(), 0);
  EXPECT_EQ(bar.maximum(), 10);
  EXPECT_EQ(bar.value(), 7);
  // A download larger than the bar's range is shown scaled.
  fForm->setProgress(0, 0, 6'000'000'000);
  EXPECT_GT(bar.maximum(), 1'000'000'000);
  fForm->setProgress(3'000'000'000, -1, -1);
  EXPECT_EQ(bar.value(), bar.maximum() / 2);
  fForm->endAction();
  EXPECT_FALSE(bar.isVisible());
  EXPECT_FALSE(control<QLabel>("lblCurrentAction").isVisible());
  EXPECT_FALSE(control<QPushButton>("btnCancel").isVisible());
  EXPECT_TRUE(list().isEnabled());
}

// A download that records what it reports, around the real one.
struct TRecordingDownload : platform::IHttpDownload {
  TQtHttpDownload Real;
  std::vector<std::int64_t> Totals;
  std::vector<std::int64_t> Received;
  platform::TDownloadResult download(const std::string& aURL, const std::string& aFile,
                                     const platform::TDownloadProgress& aProgress) override {
    platform::TDownloadProgress recording;
    recording.OnStart = [&](std::int64_t aTotal) {
      Totals.push_back(aTotal);
      aProgress.OnStart(aTotal);
    };
    recording.OnReceived = [&](std::int64_t aBytes) {
      Received.push_back(aBytes);
      aProgress.OnReceived(aBytes);
    };
    return Real.download(aURL, aFile, recording);
  }
};

// An HTTP server on 127.0.0.1 that serves two installers and nothing else.
class TInstallerServer {
public:
  explicit TInstallerServer(const std::string& aMarker) {
    fServer.Get("/installer.sh", [aMarker](const httplib::Request&, httplib::Response& aResponse) {
      aResponse.set_content("#!/bin/sh\necho installed > " + aMarker + "\n",
                            "application/octet-stream");
    });
    fServer.Get("/failing.sh", [](const httplib::Request&, httplib::Response& aResponse) {
      aResponse.set_content("#!/bin/sh\nexit 3\n", "application/octet-stream");
    });
    fPort = fServer.bind_to_any_port("127.0.0.1");
    fThread = std::thread([this] { fServer.listen_after_bind(); });
  }
  ~TInstallerServer() {
    fServer.stop();
    fThread.join();
  }
  std::string url(const std::string& aPath) const {
    return "http://127.0.0.1:" + std::to_string(fPort) + aPath;
  }

private:
  httplib::Server fServer;
  int fPort = 0;
  std::thread fThread;
};

class MainFormDirectActionTest : public MainFormTest {
protected:
  std::unique_ptr<platform::IShell> fShell = platform::createPosixShell();
  TRecordingDownload fDownload;
  std::string fMarker = fTemp.file("marker");
  TInstallerServer fServer{fMarker};

  void SetUp() override {
    fMachine.Wired.Shell = fShell.get();
    fMachine.Wired.Download = &fDownload;
    stopServer();
  }
  void installFrom(const std::string& aPath) {
    fSettings.DownloadLinkDirect64 = fServer.url(aPath);
    open({"prereqs=firebird"});
    click("btnActionDirect");
  }
};

TEST_F(MainFormDirectActionTest, TheInstallerFromTheServerRunsAndResolvesTheRow) {
  // A link someone left under the installer's name is replaced, not written through.
  const std::string victim = fTemp.file("victim");
  testsupport::writeFile(victim, "keep");
  ASSERT_EQ(symlink(victim.c_str(), fTemp.file("installer.sh").c_str()), 0);
  installFrom("/installer.sh");
  EXPECT_EQ(testsupport::readFile(victim), "keep");
  EXPECT_TRUE(fMachine.Dialogs.Errors.empty());
  EXPECT_EQ(list().topLevelItemCount(), 0);
  EXPECT_EQ(testsupport::readFile(fMarker), "installed\n");
  EXPECT_TRUE(platform::fileExists(fTemp.file("installer.sh")));
  const std::int64_t size = static_cast<std::int64_t>(
      std::string("#!/bin/sh\necho installed > " + fMarker + "\n").size());
  EXPECT_EQ(fDownload.Totals, std::vector<std::int64_t>{size});
  ASSERT_FALSE(fDownload.Received.empty());
  EXPECT_EQ(fDownload.Received.back(), size);
  EXPECT_FALSE(control<QProgressBar>("pbCurrentAction").isVisible());
  EXPECT_TRUE(list().isEnabled());
}

TEST_F(MainFormDirectActionTest, AnErrorAnswerIsReportedAndLeavesNoFile) {
  installFrom("/missing.sh");
  ASSERT_EQ(fMachine.Dialogs.Errors.size(), 1u);
  EXPECT_EQ(fMachine.Dialogs.Errors[0].rfind(
                "Der Download von " + fServer.url("/missing.sh") + " ist fehlgeschlagen: ", 0),
            0u)
      << fMachine.Dialogs.Errors[0];
  EXPECT_EQ(list().topLevelItemCount(), 1);
  EXPECT_FALSE(platform::fileExists(fTemp.file("missing.sh")));
  EXPECT_TRUE(fDownload.Totals.empty());
  EXPECT_FALSE(control<QProgressBar>("pbCurrentAction").isVisible());
  EXPECT_TRUE(list().isEnabled());
}

TEST_F(MainFormDirectActionTest, AnInstallerThatFailsIsReportedWithItsExitCode) {
  installFrom("/failing.sh");
  ASSERT_EQ(fMachine.Dialogs.Errors.size(), 1u);
  EXPECT_EQ(fMachine.Dialogs.Errors[0], "Das Installationsprogramm " + fTemp.file("failing.sh") +
                                            " endete mit dem Fehlercode 3.");
  EXPECT_EQ(list().topLevelItemCount(), 1);
}

TEST_F(MainFormDirectActionTest, AServerThatIsNotThereIsReported) {
  fSettings.DownloadLinkDirect64 =
      "http://127.0.0.1:" + std::to_string(1) + "/installer.sh"; // nobody listens on port 1
  open({"prereqs=firebird"});
  click("btnActionDirect");
  ASSERT_EQ(fMachine.Dialogs.Errors.size(), 1u);
  EXPECT_EQ(list().topLevelItemCount(), 1);
}

// The real message boxes, answered by pressing their buttons.
TEST(QtPrereqDialogsTest, MessageBoxesAreAnsweredByTheirButtons) {
  TQtPrereqDialogs dialogs(nullptr);
  QString shown;
  const auto pressLater = [&](const QString& aButton) {
    QTimer::singleShot(0, [&shown, aButton] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      shown = box->text();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == aButton) {
          button->click();
        }
      }
    });
  };
  pressLater(QStringLiteral("Ja"));
  EXPECT_TRUE(dialogs.askYesNo(IKVPrereqDialogs::pdkInformation, "Installiert?\r\n\r\nhttp://x/"));
  EXPECT_EQ(shown, QStringLiteral("Installiert?\n\nhttp://x/"));
  pressLater(QStringLiteral("Nein"));
  EXPECT_FALSE(dialogs.askYesNo(IKVPrereqDialogs::pdkWarning, "Ignorieren?"));
  pressLater(QStringLiteral("OK"));
  dialogs.showError("Der Download ist fehlgeschlagen");
  EXPECT_EQ(shown, QStringLiteral("Der Download ist fehlgeschlagen"));
}

} // namespace
