#include "prereq/KVPrereqFirebirdSetup.h"

#include "prereq/KVPrereqRegistry.h"
#include "tests/prereq/PrereqFakes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace prereqfakes;

namespace {

class KVPrereqFirebirdSetupTest : public ::testing::Test {
protected:
  testsupport::TTempDir fTemp;
  TFakeMachine fMachine{fTemp.path()};
  TKVPrereqFirebirdSettings fSettings;
};

TEST_F(KVPrereqFirebirdSetupTest, ServerCheckOutcomesAndSuggestions) {
  struct TCase {
    const char* name;
    bool clientLoads;
    platform::TServiceState serverState;
    bool firebirdSatisfied;
    bool clientSatisfied;
  };
  const TCase cases[] = {
      {"all there", true, platform::svsRunning, true, true},
      {"server stopped", true, platform::svsStopped, false, true},
      {"server starting", true, platform::svsStartPending, false, true},
      {"no server unit", true, platform::svsUnknown, false, true},
      {"no client library", false, platform::svsRunning, false, false},
      {"nothing", false, platform::svsUnknown, false, false},
  };
  for (const auto& c : cases) {
    TFakeMachine machine(fTemp.path());
    if (!c.clientLoads) {
      machine.Libraries.Loadable.clear();
    }
    machine.Services.States["firebird3.0.service"] = c.serverState;
    TKVPrereqFirebirdSetup firebird(machine.Wired, fSettings);
    TKVPrereqFirebirdClientSetup client(machine.Wired, fSettings);
    EXPECT_EQ(firebird.executeCheck({}), c.firebirdSatisfied) << c.name;
    EXPECT_EQ(client.executeCheck({}), c.clientSatisfied) << c.name;
    EXPECT_EQ(firebird.Suggestion(), c.firebirdSatisfied ? "" : "Installieren") << c.name;
    // The check offers every action, satisfied or not; the client prerequisite offers none.
    EXPECT_TRUE(firebird.CanResolveDirect() && firebird.CanResolveUser() &&
                firebird.CanResolveNone())
        << c.name;
    EXPECT_EQ(firebird.ResolveCaptionDirect(), "Installieren...") << c.name;
    EXPECT_EQ(firebird.ResolveCaptionUser(), "Selbst downloaden...") << c.name;
    EXPECT_FALSE(client.CanResolveDirect() || client.CanResolveUser() || client.CanResolveNone())
        << c.name;
    EXPECT_EQ(client.Caption() + client.Suggestion() + client.Description(), "") << c.name;
  }
}

TEST_F(KVPrereqFirebirdSetupTest, AServerRunningUnderAnyOfItsUnitNamesCounts) {
  fMachine.Services.States = {{"firebird3.0.service", platform::svsStopped},
                              {"firebird.service", platform::svsRunning}};
  EXPECT_EQ(firebirdServerState(fMachine.Wired, fSettings), platform::svsRunning);
  fMachine.Services.States = {{"firebird-superserver.service", platform::svsStopPending}};
  EXPECT_EQ(firebirdServerState(fMachine.Wired, fSettings), platform::svsStopPending);
  fMachine.Services.States.clear();
  EXPECT_EQ(firebirdServerState(fMachine.Wired, fSettings), platform::svsUnknown);
}

TEST_F(KVPrereqFirebirdSetupTest, TextsInBothLanguages) {
  TKVPrereqFirebirdSetup firebird(fMachine.Wired, fSettings);
  EXPECT_EQ(firebird.getCommand(), "firebird");
  EXPECT_EQ(firebird.Caption(), "Firebird Datenbank Server- und Clientkomponenten");
  EXPECT_EQ(firebird.Description(),
            "Das Datenbanksystem \"Firebird\" wird für dieses Produkt benötigt. Bitte installieren "
            "Sie dieses vor der Installation des Produktes.");
  firebird.setLanguageCode("en");
  EXPECT_EQ(firebird.Caption(), "Firebird database server and client components");
  EXPECT_EQ(firebird.Description(), "The firebird database system is needed. Server and client "
                                    "components lokal on this system.Please install firebird.");
  fMachine.Libraries.Loadable.clear();
  EXPECT_FALSE(firebird.executeCheck({}));
  EXPECT_EQ(firebird.Suggestion(), "Install");
  // Any code but "en" is German.
  firebird.setLanguageCode("de");
  EXPECT_EQ(firebird.getCaptionLng("EN"), "Firebird Datenbank Server- und Clientkomponenten");
  TKVPrereqFirebirdClientSetup client(fMachine.Wired, fSettings);
  EXPECT_EQ(client.getCommand(), "firebirdclient");
}

TEST_F(KVPrereqFirebirdSetupTest, TheInstallerMatchesTheSystemsBitness) {
  TKVPrereqFirebirdSetup firebird(fMachine.Wired, fSettings);
  (void)firebird.executeCheck({});
  EXPECT_EQ(TKVPrereqThirdpatrySetup::downloadFileName(firebird.DownloadLinkDirect()),
            "Firebird-3.0.12.33787-0.amd64.tar.gz");
  EXPECT_EQ(firebird.URLUser(), fSettings.URLUser);
  fMachine.System.Is64 = false;
  (void)firebird.executeCheck({});
  EXPECT_EQ(TKVPrereqThirdpatrySetup::downloadFileName(firebird.DownloadLinkDirect()),
            "Firebird-3.0.12.33787-0.i686.tar.gz");
  // A system that cannot tell its bitness fails the check with an error.
  fMachine.System.Is64 = std::nullopt;
  EXPECT_THROW((void)firebird.executeCheck({}), EKVPrereqError);
}

TEST_F(KVPrereqFirebirdSetupTest, RegistryFindsCommandWordsInAnyCase) {
  TKVPrereqRegistry registry(fMachine.Wired, fSettings);
  ASSERT_NE(registry.find("FireBird"), nullptr);
  EXPECT_EQ(registry.find("FireBird")->getCommand(), "firebird");
  ASSERT_NE(registry.find("FIREBIRDCLIENT"), nullptr);
  EXPECT_EQ(registry.find("firebirdclient")->getCommand(), "firebirdclient");
  EXPECT_EQ(registry.find("postgres"), nullptr);
  EXPECT_EQ(registry.find(""), nullptr);
}

} // namespace
