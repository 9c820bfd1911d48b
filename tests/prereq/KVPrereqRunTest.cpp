#include "prereq/KVPrereqRun.h"

#include "prereq/KVPrereqCommandLine.h"
#include "prereq/KVPrereqSettings.h"
#include "tests/prereq/PrereqFakes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace prereqfakes;
using Texts = std::vector<std::string>;

namespace {

TEST(KVPrereqCommandLineTest, EntriesValuesAndWords) {
  const Texts params = parseCommandLine(
      {" App=Parlino Server ", "AUTOCLOSE", "PreReqs=FireBird,x", "autoresolve=7", "a=b=c", ""});
  EXPECT_EQ(params, (Texts{"app=Parlino Server", "autoclose", "prereqs=FireBird,x", "autoresolve=7",
                           "a=b=c", ""}));
  EXPECT_EQ(commandLineValue(params, "APP"), "Parlino Server");
  EXPECT_EQ(commandLineValue(params, "a"), "b=c");
  EXPECT_EQ(commandLineValue(params, "autoclose"), "");
  EXPECT_EQ(commandLineValue(params, "missing"), "");
  EXPECT_TRUE(commandLineHasWord(params, "AutoClose"));
  EXPECT_FALSE(commandLineHasWord(params, "app"));
  EXPECT_EQ(commandLineValue(parseCommandLine({"app=first", "APP=second"}), "app"), "first");

  const std::pair<const char*, int> numbers[] = {
      {"autoresolve=7", 7},  {"AUTORESOLVE= -3 ", -3}, {"autoresolve=", -1},
      {"autoresolve=x", -1}, {"autoresolve=7x", -1},   {"other=1", -1},
  };
  for (const auto& [argument, number] : numbers) {
    EXPECT_EQ(commandLineInteger(parseCommandLine({argument}), "autoresolve", -1), number)
        << argument;
  }
  EXPECT_EQ(splitCommaText("a,,b"), (Texts{"a", "", "b"}));
  EXPECT_EQ(splitCommaText(""), Texts{});
}

class KVPrereqRunTest : public ::testing::Test {
protected:
  testsupport::TTempDir fTemp;
  TFakeMachine fMachine{fTemp.path()};
  TKVPrereqRegistry fRegistry{fMachine.Wired, TKVPrereqFirebirdSettings{}};

  // The command words of the prerequisites left to solve after checking aArguments.
  Texts toSolve(const Texts& aArguments) {
    TKVPrereqRun run(aArguments);
    run.check(fRegistry);
    Texts words;
    for (const auto& entry : run.PreReqsToSolve()) {
      words.push_back(entry.first);
    }
    return words;
  }
};

TEST_F(KVPrereqRunTest, ChecksTheRequestedPrerequisitesInOrderInAnyCase) {
  fMachine.Libraries.Loadable.clear();
  EXPECT_EQ(toSolve({"prereqs=firebird,firebirdclient"}), (Texts{"firebird", "firebirdclient"}));
  EXPECT_EQ(toSolve({"PREREQS=FirebirdClient,FIREBIRD"}), (Texts{"firebirdclient", "firebird"}));
  EXPECT_EQ(toSolve({"prereqs=oracle,,firebirdclient,"}), (Texts{"firebirdclient"}));
  EXPECT_EQ(toSolve({"prereqs="}), Texts{});
  EXPECT_EQ(toSolve({}), Texts{});
  fMachine.Libraries.Loadable.insert("libfbclient.so.2");
  fMachine.Services.States.clear();
  EXPECT_EQ(toSolve({"prereqs=firebird,firebirdclient"}), Texts{"firebird"});
}

TEST_F(KVPrereqRunTest, AutoCloseEndsAtOnceOnlyWhenNothingIsMissing) {
  const struct {
    Texts arguments;
    bool serverRuns;
    bool endsAtOnce;
  } cases[] = {
      {{"prereqs=firebird,firebirdclient", "autoclose"}, true, true},
      {{"prereqs=firebird,firebirdclient", "AutoClose"}, true, true},
      {{"prereqs=firebird,firebirdclient"}, true, false},
      {{"prereqs=firebird", "autoclose=1"}, true, false},
      {{"prereqs=firebird", "autoclose"}, false, false},
      {{"autoclose"}, false, true},
  };
  for (const auto& c : cases) {
    fMachine.Services.States["firebird3.0.service"] =
        c.serverRuns ? platform::svsRunning : platform::svsStopped;
    TKVPrereqRun run(c.arguments);
    EXPECT_FALSE(run.EndsAtOnce()); // not before the checks
    run.check(fRegistry);
    EXPECT_EQ(run.EndsAtOnce(), c.endsAtOnce) << c.arguments.back();
  }
}

TEST_F(KVPrereqRunTest, AppNameAndInformationLine) {
  EXPECT_EQ(TKVPrereqRun({"APP=Parlino"}).AppInfoText(),
            "Das Programm Parlino benötigt die folgenden Voraussetzungen:");
  EXPECT_EQ(TKVPrereqRun({"app="}).AppName(), "<Unbekannt>");
  EXPECT_EQ(TKVPrereqRun({}).AppInfoText(),
            "Das Programm <Unbekannt> benötigt die folgenden Voraussetzungen:");
  EXPECT_EQ(TKVPrereqRun({"autoresolve=2"}).AutoResolve(), 2);
  EXPECT_EQ(TKVPrereqRun({}).AutoResolve(), -1);
}

TEST(KVPrereqSettingsTest, FileThenCommandLine) {
  TKVPrereqFirebirdSettings settings;
  readPrereqSettingsText("\xEF\xBB\xBF# addresses of the Firebird installers\r\n"
                         "[Firebird]\r\n"
                         "  FIREBIRDURLUSER = https://mirror.example/firebird/ \r\n"
                         "FirebirdDownloadLink64=http://mirror.example/fb64.tar.gz\n"
                         "FirebirdServerUnits= a.service , ,b.service\n"
                         "; FirebirdClientLibrary=commented.so\n"
                         "Unknown=1\n"
                         "no equals sign\n"
                         "FirebirdClientLibrary=libfbclient.so.3",
                         settings);
  EXPECT_EQ(settings.URLUser, "https://mirror.example/firebird/");
  EXPECT_EQ(settings.DownloadLinkDirect64, "http://mirror.example/fb64.tar.gz");
  EXPECT_EQ(settings.DownloadLinkDirect32, TKVPrereqFirebirdSettings{}.DownloadLinkDirect32);
  EXPECT_EQ(settings.ServerUnits, (Texts{"a.service", "b.service"}));
  EXPECT_EQ(settings.ClientLibrary, "libfbclient.so.3");

  applyPrereqSettingsArguments(
      parseCommandLine({"FirebirdDownloadLink32=http://127.0.0.1:8080/fb32.tar.gz",
                        "firebirddownloadlink32=http://second/", "prereqs=firebird"}),
      settings);
  EXPECT_EQ(settings.DownloadLinkDirect32, "http://127.0.0.1:8080/fb32.tar.gz");

  testsupport::TTempDir temp;
  testsupport::writeFile(temp.file("tomvek.conf"), "FirebirdURLUser=file:///x\n");
  EXPECT_TRUE(readPrereqSettingsFile(temp.file("tomvek.conf"), settings));
  EXPECT_EQ(settings.URLUser, "file:///x");
  EXPECT_TRUE(readPrereqSettingsFile(temp.file("missing.conf"), settings));
  EXPECT_FALSE(readPrereqSettingsFile(temp.path(), settings)); // a folder cannot be read
}

} // namespace
