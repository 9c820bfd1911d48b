#include "server/BizDatabase.h"
#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using dbtest::EDbEngine;

class DbInitTest : public testing::TestWithParam<EDbEngine> {
protected:
  void SetUp() override {
    dbtest::requireEngine(GetParam());
    ::chmod(fDir.path().c_str(), 0777);
  }

  int runDbInit(const std::vector<std::string>& aArguments) {
    testsupport::TChildProcess process(testsupport::buildPath("tools/dbinit/parlino-dbinit"),
                                       aArguments, fDir.path(), fDir.file("output.txt"));
    return process.wait();
  }

  testsupport::TTempDir fDir;
};

TEST_P(DbInitTest, MakesADatabaseTheServerConnectsTo) {
  TBizDatabaseSettings settings;
  settings.Name = fDir.file("new.fdb");
  settings.Encoding = "UTF8";
  std::vector<std::string> arguments{"--admin", "root", "Grüße!"};
  if (GetParam() == EDbEngine::server) {
    const dbtest::TServerLogin login = dbtest::serverLogin();
    settings.Host = login.Host;
    settings.Username = login.User;
    settings.Password = login.Password;
    arguments.insert(arguments.end(), {"--user", login.User, "--password", login.Password});
  } else {
    settings.Username = "SYSDBA";
  }
  arguments.insert(arguments.begin(), TBizDatabase::connectionName(settings));
  ASSERT_EQ(runDbInit(arguments), 0) << testsupport::readFile(fDir.file("output.txt"));
  // Only the database appeared: no log file of the tool.
  EXPECT_EQ(testsupport::listDirectory(fDir.path()),
            (std::vector<std::string>{"new.fdb", "output.txt"}));

  TBizDatabase database;
  database.connect(settings);
  int type = 0;
  EXPECT_TRUE(database.login("root", "Grüße!", type));
  EXPECT_EQ(type, 255);
  std::string result;
  int id = 0;
  EXPECT_TRUE(database.checkAccount("root", "Grüße!", ACT_CLEARSMSMEMORY, result, id, false));
  // The generator knows the administrator's key.
  EXPECT_TRUE(database.addAccount("second", "x", true, 1, TDateTime(), 0));
  std::vector<std::string> accounts;
  ASSERT_TRUE(database.retrieveAccounts(&accounts));
  EXPECT_EQ(accounts.size(), 2u);
  database.disconnect();

  // A second run refuses to touch the existing database.
  EXPECT_EQ(runDbInit(arguments), 1);
  EXPECT_NE(testsupport::readFile(fDir.file("output.txt")).find("creating the database"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Engines, DbInitTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

TEST(DbInitUsageTest, MissingArgumentsShowTheUsage) {
  testsupport::TTempDir dir;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"x.fdb"},
        std::vector<std::string>{"x.fdb", "--admin", "onlyname"}}) {
    testsupport::TChildProcess process(testsupport::buildPath("tools/dbinit/parlino-dbinit"),
                                       arguments, dir.path(), dir.file("output.txt"));
    EXPECT_EQ(process.wait(), 2);
  }
  EXPECT_NE(testsupport::readFile(dir.file("output.txt")).find("usage: parlino-dbinit"),
            std::string::npos);
  EXPECT_FALSE(testsupport::listDirectory(dir.path()).size() > 1);
}

} // namespace
