#include "server/FbStatement.h"

#include "server/PIBSql.h"
#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dbtest::EDbEngine;
using dbtest::TTestDatabase;

// A typed table of its own, so that the layer is tested apart from the server's schema.
class FbStatementTest : public testing::TestWithParam<EDbEngine> {
protected:
  void SetUp() override {
    dbtest::requireEngine(GetParam());
    if (IsSkipped()) {
      return;
    }
    fDb = std::make_unique<TTestDatabase>(GetParam(), false);
    fDb->exec("create table t (id integer not null primary key, big bigint, txt varchar(100) "
              "character set utf8, ts timestamp, flag boolean, num double precision, "
              "memo blob sub_type text character set utf8)");
    fDatabase.setDatabaseName(fDb->connectionName());
    fDatabase.params() = TBizDatabase::connectionParams(fDb->settings());
    fDatabase.setDefaultTransaction(&fTransaction);
    fDatabase.open();
    fTransaction.startTransaction();
  }

  std::unique_ptr<TFbStatement> run(const std::string& aSQL, const TSQLParams& aParams = {}) {
    auto statement = std::make_unique<TFbStatement>(&fDatabase, &fTransaction);
    statement->setSQL(aSQL);
    bindParameter(*statement, aParams);
    statement->execQuery();
    return statement;
  }

  std::unique_ptr<TTestDatabase> fDb;
  TFbDatabase fDatabase;
  TFbTransaction fTransaction{&fDatabase};
};

TEST_P(FbStatementTest, TypedValuesGoInAndComeBackUnchanged) {
  const TDateTime when = TDateTime::encode(2024, 2, 29, 23, 59, 58, 987);
  const std::string text = "NULL";
  run("insert into t (id, big, txt, ts, flag, num) values (:id, :big, :txt, :ts, :flag, :num)",
      {1, std::int64_t{9'000'000'000'123}, text, when, true, 2.5});
  run("insert into t (id, txt, ts) values (:0, :1, :2)", {2, "Grüße € 😀", TSQLValue()});

  auto rows = run("select * from t order by id");
  ASSERT_FALSE(rows->eof());
  EXPECT_EQ(rows->fieldByName("ID").asInteger(), 1);
  EXPECT_EQ(rows->fieldByName("big").asInt64(), 9'000'000'000'123);
  // The word NULL is a text like any other.
  EXPECT_EQ(rows->fieldByName("txt").kind(), TSQLValue::svkText);
  EXPECT_EQ(rows->fieldByName("txt").asString(), "NULL");
  EXPECT_EQ(rows->fieldByName("ts").asDateTime(), when);
  EXPECT_TRUE(rows->fieldByName("flag").asBoolean());
  EXPECT_DOUBLE_EQ(rows->fieldByName("num").asDouble(), 2.5);
  rows->next();
  ASSERT_FALSE(rows->eof());
  EXPECT_EQ(rows->fieldByName("txt").asString(), "Grüße € 😀");
  EXPECT_TRUE(rows->fieldByName("ts").isNull());
  EXPECT_TRUE(rows->fieldByName("big").isNull());
  rows->next();
  EXPECT_TRUE(rows->eof());
}

TEST_P(FbStatementTest, TextsConvertToTheColumnTypesAndBlobsReadAsText) {
  run("insert into t (id, big, ts, memo) values (:0, :1, :2, :3)",
      {"7", "123", "2023-05-06 07:08:09", std::string(20000, 'x')});
  auto row = run("select id, big, ts, memo from t where txt is null");
  ASSERT_FALSE(row->eof());
  EXPECT_EQ(row->field(0).asInteger(), 7);
  EXPECT_EQ(row->field(1).asInt64(), 123);
  EXPECT_EQ(row->field(2).asDateTime(), TDateTime::encode(2023, 5, 6, 7, 8, 9));
  EXPECT_EQ(row->field(3).asString(), std::string(20000, 'x'));
}

TEST_P(FbStatementTest, ParametersByNameAndAffectedRows) {
  for (int id = 1; id <= 3; ++id) {
    run("insert into t (id, txt) values (:0, :1)", {id, "a"});
  }
  auto update = std::make_unique<TFbStatement>(&fDatabase, &fTransaction);
  update->setSQL("update t set txt = :v where id >= :low and txt = :v");
  update->prepare();
  ASSERT_EQ(update->paramCount(), 3);
  update->setParamByName("V", "a"); // both places, compared without regard to case
  update->setParamByName("low", 2);
  update->execQuery();
  EXPECT_EQ(update->rowsAffected(), 2);
  EXPECT_THROW(update->setParamByName("missing", 1), EFbError);
  EXPECT_EQ(run("delete from t where id > 100")->rowsAffected(), 0);
}

TEST_P(FbStatementTest, ErrorsAreRaisedWithTheLibraryText) {
  try {
    run("select * from no_such_table");
    FAIL() << "no error";
  } catch (const EFbError& e) {
    EXPECT_NE(std::string(e.what()).find("NO_SUCH_TABLE"), std::string::npos) << e.what();
    EXPECT_EQ(e.getSQLCode(), -204);
  }
  run("insert into t (id) values (:0)", {1});
  EXPECT_THROW(run("insert into t (id) values (:0)", {1}), EFbError); // primary key
  EXPECT_THROW(run("insert into t (id) values (:0)", {1, 2}), EFbError);
  // The transaction survives failed statements.
  EXPECT_EQ(run("select count(*) from t")->field(0).asInteger(), 1);
}

TEST_P(FbStatementTest, PreparedStatementRunsOnlyItsOwnText) {
  const std::string sql = "insert into t (id, txt) values (:0, :1)";
  std::unique_ptr<TFbStatement> statement;
  TFbStatement* first = execParamSQL(fDatabase, statement, sql, {1, "one"});
  EXPECT_NE(dynamic_cast<TPIBSql*>(first), nullptr);
  EXPECT_EQ(execParamSQL(fDatabase, statement, sql, {2, "two"}), first); // reused
  try {
    execParamSQL(fDatabase, statement, "delete from t", {});
    FAIL() << "no error";
  } catch (const EFbError& e) {
    EXPECT_STREQ(e.what(),
                 "Das preparierte SQL-Statement stimmt nicht mit dem auszuführenden überein");
  }
  EXPECT_EQ(run("select count(*) from t")->field(0).asInteger(), 2);
}

TEST_P(FbStatementTest, EndingTheTransactionOrConnectionWithOpenCursorsIsSafe) {
  run("insert into t (id) values (1)");
  auto open = run("select id from t");
  ASSERT_FALSE(open->eof());
  fTransaction.commit();
  EXPECT_FALSE(open->isOpen());
  fTransaction.startTransaction();
  auto again = run("select id from t");
  fDatabase.close(); // frees the statements prepared on it
  EXPECT_FALSE(again->isPrepared());
  EXPECT_FALSE(fTransaction.inTransaction());
}

INSTANTIATE_TEST_SUITE_P(Engines, FbStatementTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

} // namespace
