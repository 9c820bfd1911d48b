#include "server/IBGenerator.h"

#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dbtest::EDbEngine;
using dbtest::TTestDatabase;

class IBGeneratorTest : public dbtest::TDatabaseTest {
protected:
  void SetUp() override {
    TDatabaseTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    fDatabase.setDatabaseName(fDb->connectionName());
    fDatabase.params() = TBizDatabase::connectionParams(fDb->settings());
    fDatabase.open();
  }
  void TearDown() override { TIBGenerator::clearIBGenerators(); }

  std::int64_t storedValue(const std::string& aGenerator) {
    return fDb->scalar("select gen_id(" + aGenerator + ", 0) from rdb$database").asInt64();
  }

  TFbDatabase fDatabase;
  TFbTransaction fTransaction{&fDatabase};
};

TEST_P(IBGeneratorTest, RepairRaisesTheCounterToTheLargestKeyAndWritesItBack) {
  fDb->exec("insert into smsserver_in (ID) values (41)");
  fDb->exec("insert into smsserver_in (ID) values (5000000000)"); // beyond 32 bits
  fDb->exec("set generator smsserver_in_GEN to 7");

  TIBGenerator* generator =
      TIBGenerator::getIBGenerator(&fDatabase, &fTransaction, "smsserver_in_GEN");
  EXPECT_TRUE(fTransaction.inTransaction()); // started for the generator
  EXPECT_EQ(generator->getCurrentValue(), 7);
  generator->CheckAndRepair("smsserver_in", "ID");
  EXPECT_EQ(generator->getCurrentValue(), 5000000000);
  EXPECT_EQ(generator->getLastSavedValue(), 5000000000);
  EXPECT_EQ(generator->getNewValue(), 5000000001);
  EXPECT_TRUE(generator->getUsedGetNewValue());

  // The same connection and name give the same object; disposal writes the counter back.
  EXPECT_EQ(TIBGenerator::getIBGenerator(&fDatabase, &fTransaction, "smsserver_in_GEN"), generator);
  TIBGenerator::freeIBGenerator(generator);
  EXPECT_EQ(generator, nullptr);
  fTransaction.commit();
  EXPECT_EQ(storedValue("smsserver_in_GEN"), 5000000001);
}

TEST_P(IBGeneratorTest, RepairNeverLowersTheCounterAndKeysComeFromMemory) {
  fDb->exec("insert into ACCOUNTS (accountid, accountname) values (3, 'a')");
  fDb->exec("set generator ACCOUNTS_GEN to 10");
  TIBGenerator* generator = TIBGenerator::getIBGenerator(&fDatabase, &fTransaction, "ACCOUNTS_GEN");
  generator->CheckAndRepair("ACCOUNTS", "accountid");
  EXPECT_EQ(generator->getCurrentValue(), 10);
  for (int i = 11; i <= 13; ++i) {
    EXPECT_EQ(generator->getNewValue(), i);
  }
  fTransaction.commit();
  EXPECT_EQ(storedValue("ACCOUNTS_GEN"), 10); // nothing written while handing out keys
  fTransaction.startTransaction();
  TIBGenerator::freeIBGenerator(generator);
  fTransaction.commit();
  EXPECT_EQ(storedValue("ACCOUNTS_GEN"), 13);
}

TEST_P(IBGeneratorTest, ErrorsNameTheStatement) {
  try {
    TIBGenerator::getIBGenerator(&fDatabase, &fTransaction, "NO_SUCH_GEN");
    FAIL() << "no error";
  } catch (const EFbError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("NO_SUCH_GEN"), std::string::npos) << message;
    EXPECT_NE(message.find(" Problem beim Generator \"SELECT GEN_ID(NO_SUCH_GEN,0) FROM "
                           "RDB$DATABASE;\""),
              std::string::npos)
        << message;
  }
  EXPECT_EQ(TIBGenerator::openGeneratorCount(), 0);

  TIBGenerator* generator = TIBGenerator::getIBGenerator(&fDatabase, &fTransaction, "ACCOUNTS_GEN");
  try {
    generator->CheckAndRepair("no_such_table", "ID");
    FAIL() << "no error";
  } catch (const EFbError& e) {
    EXPECT_NE(std::string(e.what()).find(" Problem beim Generator \"select max(ID) from "
                                         "no_such_table where ID > 0 \""),
              std::string::npos)
        << e.what();
  }
}

TEST_P(IBGeneratorTest, DisposalRemovesTheGeneratorEvenWhenTheWriteBackFails) {
  TIBGenerator* generator = TIBGenerator::getIBGenerator(&fDatabase, &fTransaction, "ACCOUNTS_GEN");
  fDatabase.close(); // the write-back cannot reach the database any more
  EXPECT_THROW(TIBGenerator::freeIBGenerator(generator), EFbError);
  EXPECT_EQ(generator, nullptr);
  EXPECT_EQ(TIBGenerator::openGeneratorCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, IBGeneratorTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

} // namespace
