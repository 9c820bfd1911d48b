#include "platform/Files.h"
#include "prereq/KVPrereqFirebirdSetup.h"
#include "tests/prereq/PrereqFakes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace prereqfakes;
using Calls = std::vector<std::string>;

namespace {

constexpr const char* SC_INSTALLERURL = "http://downloads.example/firebird/setup.run";

class KVPrereqResolveTest : public ::testing::Test {
protected:
  testsupport::TTempDir fTemp;
  TFakeMachine fMachine{fTemp.path()};
  TKVPrereqFirebirdSetup fPrereq{fMachine.Wired, TKVPrereqFirebirdSettings{}};
  TRecordingAdapter fAdapter;

  void SetUp() override {
    fPrereq.setDownloadLinkDirect(SC_INSTALLERURL);
    fPrereq.setURLUser("https://firebird.example/downloads/");
  }
  // The message of the error the direct action raises; "" when it raises none.
  std::string directActionError() {
    try {
      (void)fPrereq.handleResolveDirect(fAdapter);
    } catch (const EKVPrereqError& error) {
      return error.what();
    }
    return {};
  }
};

TEST_F(KVPrereqResolveTest, DirectActionDownloadsIntoTheTempFolderAndRunsTheInstaller) {
  fMachine.Download.Body = "#!/bin/sh\n#\n";
  EXPECT_TRUE(fPrereq.handleResolveDirect(fAdapter));
  EXPECT_EQ(fAdapter.Calls, (Calls{"begin", "text Verbinde...", "progress 0 0 0",
                                   "text Download...", "progress 0 0 12", "progress 6 -1 -1",
                                   "progress 12 -1 -1", "text Installation...", "end"}));
  const std::string file = fTemp.file("setup.run");
  EXPECT_EQ(fMachine.Download.URLs, Calls{SC_INSTALLERURL});
  EXPECT_EQ(fMachine.Download.Files, Calls{file});
  ASSERT_EQ(fMachine.Shell.Calls.size(), 1u);
  EXPECT_EQ(fMachine.Shell.Calls[0].Program, file);
  EXPECT_TRUE(fMachine.Shell.Calls[0].Arguments.empty());
  EXPECT_TRUE(fMachine.Shell.Calls[0].Wait);
  EXPECT_GT(fMachine.WaitSteps, 0); // the window repaints while the installer runs
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
}

TEST_F(KVPrereqResolveTest, OnlyExitCodeZeroResolves) {
  const std::pair<int, const char*> cases[] = {
      {0, ""},
      {1, "Das Installationsprogramm $ endete mit dem Fehlercode 1."},
      {255, "Das Installationsprogramm $ endete mit dem Fehlercode 255."},
      {-1, "Das Installationsprogramm $ konnte nicht gestartet werden."},
  };
  for (const auto& [exitCode, message] : cases) {
    fAdapter.Calls.clear();
    fMachine.Shell.ExitCode = exitCode;
    std::string expected = message;
    if (const auto at = expected.find('$'); at != std::string::npos) {
      expected.replace(at, 1, fTemp.file("setup.run"));
    }
    EXPECT_EQ(directActionError(), expected) << exitCode;
    EXPECT_EQ(fAdapter.Calls.back(), "end") << exitCode;
  }
  fPrereq.setLanguageCode("en");
  fMachine.Shell.ExitCode = 2;
  EXPECT_EQ(directActionError(),
            "The installer " + fTemp.file("setup.run") + " ended with exit code 2.");
}

TEST_F(KVPrereqResolveTest, AFailedDownloadLeavesNoFileAndRaisesAfterEndAction) {
  fMachine.Download.Failure = platform::TDownloadResult::failure(404, "server replied: Not Found");
  EXPECT_EQ(directActionError(), std::string("Der Download von ") + SC_INSTALLERURL +
                                     " ist fehlgeschlagen: server replied: Not Found");
  EXPECT_FALSE(platform::fileExists(fTemp.file("setup.run")));
  EXPECT_EQ(fAdapter.Calls.back(), "end");
  EXPECT_TRUE(fMachine.Shell.Calls.empty());
}

TEST_F(KVPrereqResolveTest, AnAddressWithoutFileOrWithoutTextDoesNothing) {
  fPrereq.setDownloadLinkDirect("");
  EXPECT_FALSE(fPrereq.handleResolveDirect(fAdapter));
  EXPECT_TRUE(fAdapter.Calls.empty());
  for (const char* link : {"http://downloads.example/", "http://downloads.example/.."}) {
    fPrereq.setDownloadLinkDirect(link);
    EXPECT_EQ(directActionError(),
              std::string("Die Adresse ") + link + " nennt keine Datei zum Herunterladen.");
    EXPECT_EQ(fAdapter.Calls.back(), "end");
  }
  EXPECT_TRUE(fMachine.Download.URLs.empty());
}

// The installers run for real here: a script, and an archive with its install.sh.
class KVPrereqInstallerTest : public KVPrereqResolveTest {
protected:
  std::unique_ptr<platform::IShell> fShell = platform::createPosixShell();
  testsupport::TTempDir fSource;

  void SetUp() override {
    KVPrereqResolveTest::SetUp();
    fMachine.Wired.Shell = fShell.get();
  }
  // A .tar.gz of aFiles (relative path → content) as bytes.
  std::string archiveOf(const std::vector<std::pair<std::string, std::string>>& aFiles) {
    for (const auto& [path, content] : aFiles) {
      (void)platform::forceDirectories(platform::extractFileDir(fSource.file(path)));
      testsupport::writeFile(fSource.file(path), content);
      (void)platform::makeExecutable(fSource.file(path));
    }
    const std::string archive = fSource.file("archive.tar.gz");
    std::vector<std::string> arguments = {"-czf", archive, "-C", fSource.path()};
    for (const auto& file : aFiles) {
      arguments.push_back(file.first);
    }
    EXPECT_EQ(fShell->execute("tar", arguments, {}, true, {}), 0);
    return testsupport::readFile(archive);
  }
};

TEST_F(KVPrereqInstallerTest, ADownloadedProgramIsMadeExecutableAndItsExitCodeCounts) {
  fMachine.Download.Body = "#!/bin/sh\nexit 0\n";
  EXPECT_TRUE(fPrereq.handleResolveDirect(fAdapter));
  fMachine.Download.Body = "#!/bin/sh\nexit 3\n";
  EXPECT_EQ(directActionError(), "Das Installationsprogramm " + fTemp.file("setup.run") +
                                     " endete mit dem Fehlercode 3.");
}

TEST_F(KVPrereqInstallerTest, AnArchiveIsUnpackedAndItsInstallScriptRunsInItsFolder) {
  const std::string marker = fSource.file("installed-in");
  fMachine.Download.Body =
      archiveOf({{"Firebird-3.0.12.33787-0.amd64/install.sh", "#!/bin/sh\npwd > " + marker + "\n"},
                 {"Firebird-3.0.12.33787-0.amd64/buildroot.tar.gz", "payload"}});
  fPrereq.setDownloadLinkDirect("https://downloads.example/Firebird-3.0.12.33787-0.amd64.tar.gz");
  EXPECT_TRUE(fPrereq.handleResolveDirect(fAdapter));
  // Unpacked into a new folder named after the archive.
  const std::string ranIn = testsupport::readFile(marker);
  EXPECT_EQ(ranIn.rfind(fTemp.file("Firebird-3.0.12.33787-0.amd64-"), 0), 0u) << ranIn;
  EXPECT_TRUE(ranIn.ends_with("/Firebird-3.0.12.33787-0.amd64\n")) << ranIn;
}

TEST_F(KVPrereqInstallerTest, AnArchiveWithoutInstallScriptOrBrokenFails) {
  fPrereq.setDownloadLinkDirect("https://downloads.example/product.tar.gz");
  fMachine.Download.Body = archiveOf({{"product/readme.txt", "no installer here"}});
  EXPECT_EQ(directActionError(),
            "Das Archiv " + fTemp.file("product.tar.gz") + " enthält kein install.sh.");
  fMachine.Download.Body = "not an archive";
  EXPECT_EQ(directActionError().rfind("Das Archiv " + fTemp.file("product.tar.gz") +
                                          " konnte nicht entpackt werden (Fehlercode ",
                                      0),
            0u);
  EXPECT_EQ(fAdapter.Calls.back(), "end");
}

TEST_F(KVPrereqResolveTest, UserActionOpensThePageAndAsksTheUser) {
  for (const bool answer : {true, false}) {
    fAdapter.Calls.clear();
    fMachine.Dialogs.Answers = {answer};
    EXPECT_EQ(fPrereq.handleResolveUser(fAdapter), answer);
    EXPECT_EQ(fAdapter.Calls,
              (Calls{"begin", "text Öffnen...", "progress 0 0 2", "text Warte auf Nutzer",
                     "progress 1 0 2", "text Fertig!", "progress 2 0 2", "end"}));
  }
  EXPECT_EQ(fMachine.Shell.Opened,
            (Calls{"https://firebird.example/downloads/", "https://firebird.example/downloads/"}));
  ASSERT_EQ(fMachine.Dialogs.Questions.size(), 2u);
  EXPECT_EQ(fMachine.Dialogs.Questions[0].first, IKVPrereqDialogs::pdkInformation);
  EXPECT_EQ(fMachine.Dialogs.Questions[0].second, fPrereq.getManualInstallText());

  fPrereq.setURLUser("");
  fAdapter.Calls.clear();
  EXPECT_FALSE(fPrereq.handleResolveUser(fAdapter));
  EXPECT_TRUE(fAdapter.Calls.empty());
  EXPECT_TRUE(fPrereq.handleResolveNone(fAdapter));
}

TEST_F(KVPrereqResolveTest, ManualInstallTextNamesThePageAndTheBitness) {
  const std::string page = "https://firebird.example/downloads/";
  const std::string german =
      "Bitte installieren Sie die Firebird Datenbank manuell! Haben Sie "
      "diese erfolgreich installiert, dann drücken Sie bitte \"Ja\".\r\n\r\n" +
      page + "\r\n\r\n";
  const std::string english = "Please install firebird manually! After successfully installation "
                              "press \"Yes\" please.\r\n\r\n" +
                              page + "\r\n\r\n";
  EXPECT_EQ(fPrereq.getManualInstallText(),
            german + "Bitte laden Sie die 64 Bit Version herunter, da Sie ein 64 Bit "
                     "Betriebssystem nutzen.");
  fMachine.System.Is64 = false;
  EXPECT_EQ(fPrereq.getManualInstallText(),
            german + "Bitte laden Sie die 32 Bit Version (x86) herunter, da Sie ein 32 Bit "
                     "Betriebssystem nutzen.");
  fPrereq.setLanguageCode("en");
  EXPECT_EQ(fPrereq.getManualInstallText(),
            english + "You should download the 32 Bit Version (x86) of firebird, because you are "
                      "using a 32 Bit OS.");
  fMachine.System.Is64 = true;
  EXPECT_EQ(fPrereq.getManualInstallText(),
            english + "You should download the 64 Bit Version of firebird, because you are using "
                      "a 64 Bit OS.");
  // Without an answer on the bitness the English text leaves the advice out; the German one
  // reports the error.
  fMachine.System.Is64 = std::nullopt;
  EXPECT_EQ(fPrereq.getManualInstallText(), english);
  fPrereq.setLanguageCode("");
  EXPECT_THROW((void)fPrereq.getManualInstallText(), EKVPrereqError);
}

} // namespace
