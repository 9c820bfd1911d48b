#include "web/FbTableDataSet.h"

#include "tests/server/DbTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dbtest::EDbEngine;
using dbtest::TTestDatabase;

// Fills smsserver_in with the rows 1..aCount: sender 4917<i>, one minute apart, "Text <i>".
void insertReceived(TTestDatabase& aDatabase, int aCount) {
  aDatabase.exec("insert into smsserver_in (ID, ORIGINATOR, SMSTYPE, MESSAGE_DATE, SMSTEXT) "
                 "with recursive n (i) as (select 1 from rdb$database union all "
                 "select i + 1 from n where i < " +
                 std::to_string(aCount) +
                 ") select i, '4917' || i, 'I', "
                 "dateadd(i minute to timestamp '2026-12-11 10:00:00'), 'Text ' || i from n");
}

// One attachment with a snapshot transaction, as a list page holds it.
struct TAttachment {
  explicit TAttachment(const TTestDatabase& aDatabase, int aLockTimeout = 0) {
    Database.setDatabaseName(aDatabase.connectionName());
    Database.params() = TBizDatabase::connectionParams(aDatabase.settings());
    Database.open();
    Transaction.setDefaultDatabase(&Database);
    Transaction.setLockTimeout(aLockTimeout);
    Transaction.startTransaction();
  }
  std::unique_ptr<TFbTableDataSet> received() {
    auto table = std::make_unique<TFbTableDataSet>(
        Database, Transaction, "smsserver_in", "ID",
        std::vector<std::string>{"ID", "Originator", "SMSTYPE", "message_date", "SMSText"});
    table->setDisplayLabel(0, "ID");
    table->setDisplayLabel(2, "Typ");
    table->setDisplayLabel(3, "Datum");
    table->open();
    return table;
  }
  TFbDatabase Database;
  TFbTransaction Transaction;
};

TEST(FbTableDataSetTest, ReadsRowsByWindowInKeyOrder) {
  TTestDatabase database(EDbEngine::embedded);
  insertReceived(database, 250);
  database.exec("insert into smsserver_in (ID, ORIGINATOR, SMSTEXT) values (0, null, "
                "'<script>alert(1)</script>')");
  TAttachment page(database);
  auto table = page.received();
  table->WindowSize = 40;
  ASSERT_EQ(table->recordCount(), 251);
  EXPECT_EQ(table->getRecNo(), 0);
  EXPECT_EQ(table->fieldText(0, 4), "<script>alert(1)</script>");
  EXPECT_EQ(table->fieldText(0, 1), ""); // NULL
  EXPECT_EQ(table->fieldText(0, 3), "");
  EXPECT_EQ(table->fieldText(1, 3), "11.12.2026 10:01:00");
  table->moveTo(1000);
  EXPECT_EQ(table->getRecNo(), 250);
  EXPECT_EQ(table->fieldText(250, 0), "250");
  EXPECT_EQ(table->fieldText(250, 1), "4917250");
  EXPECT_EQ(table->fieldText(250, 4), "Text 250");
  table->fetchWindow(120, 20);
  EXPECT_EQ(table->fieldText(139, 4), "Text 139");
  EXPECT_EQ(table->fieldText(3, 4), "Text 3");
}

TEST(FbTableDataSetTest, ShowsTheTableAsItStoodWhenTheTransactionStarted) {
  TTestDatabase database(EDbEngine::embedded);
  insertReceived(database, 3);
  TAttachment page(database);
  auto table = page.received();
  database.exec("insert into smsserver_in (ID, SMSTEXT) values (4, 'später')");
  database.exec("delete from smsserver_in where ID = 1");
  table->refresh();
  EXPECT_EQ(table->recordCount(), 3);
  EXPECT_EQ(table->fieldText(0, 4), "Text 1");
  TAttachment later(database);
  EXPECT_EQ(later.received()->recordCount(), 3);
  EXPECT_EQ(later.received()->fieldText(2, 4), "später");
}

TEST(FbTableDataSetTest, EditsStayInTheTransactionAndWriteOnlyWhatChanged) {
  TTestDatabase database(EDbEngine::embedded);
  insertReceived(database, 5);
  // Milliseconds the grid does not show must survive a change of another field.
  database.exec("update smsserver_in set MESSAGE_DATE = timestamp '2026-12-11 10:05:00.123' "
                "where ID = 5");
  TAttachment page(database);
  auto table = page.received();
  table->moveTo(4);
  table->edit();
  table->setEditText(4, "geändert <b>");
  table->post();
  EXPECT_EQ(table->getState(), dsBrowse);
  EXPECT_EQ(table->fieldText(4, 4), "geändert <b>");

  table->deleteRecord();
  EXPECT_EQ(table->recordCount(), 4);
  EXPECT_EQ(table->getRecNo(), 3);

  int keys = 100;
  table->OnNewKey = [&keys] { return std::int64_t{keys++}; };
  table->insert();
  table->setEditText(1, "+4930123");
  table->setEditText(3, " 24.12.2026 18:30 ");
  table->post();
  EXPECT_EQ(table->getRecNo(), 4);
  EXPECT_EQ(table->fieldText(4, 0), "100");
  EXPECT_EQ(table->fieldText(4, 3), "24.12.2026 18:30:00");

  // A typed key moves the record to its place.
  table->moveTo(0);
  table->edit();
  table->setEditText(0, "50");
  table->post();
  EXPECT_EQ(table->getRecNo(), 3);

  // Nothing reaches another connection before the commit.
  EXPECT_EQ(database.scalar("select count(*) from smsserver_in").asInt64(), 5);
  page.Transaction.commit();
  const auto rows =
      database.query("select ID, SMSTEXT, MESSAGE_DATE from smsserver_in order by ID");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0][0].asInt64(), 2);
  EXPECT_EQ(rows[2][0].asInt64(), 4);
  EXPECT_EQ(rows[3][0].asInt64(), 50);
  EXPECT_EQ(rows[4][0].asInt64(), 100);
  EXPECT_EQ(database.scalar("select count(*) from smsserver_in where ID = 5").asInt64(), 0);
}

TEST(FbTableDataSetTest, RefusesWhatDoesNotFitAndWritesNothing) {
  TTestDatabase database(EDbEngine::embedded);
  insertReceived(database, 2);
  TAttachment page(database);
  auto table = page.received();
  struct TCase {
    int Field;
    std::string Text;
    std::string Message;
  };
  const TCase cases[] = {
      {0, "12a",
       "Der Wert \"12a\" passt nicht in die Spalte \"ID\": erwartet wird eine ganze Zahl"},
      {3, "31.02.2026", "passt nicht in die Spalte \"Datum\": erwartet wird ein Datum mit Uhrzeit"},
      {3, "gestern", "passt nicht in die Spalte \"Datum\""},
      {2, "IO", "Der Text für die Spalte \"Typ\" ist 2 Zeichen lang; die Spalte fasst höchstens 1"},
      {0, "1", "Der Datensatz konnte nicht gespeichert werden: violation of PRIMARY or UNIQUE KEY"},
  };
  for (const TCase& c : cases) {
    table->moveTo(1);
    table->edit();
    table->setEditText(c.Field, c.Text);
    try {
      table->post();
      ADD_FAILURE() << c.Text << " was taken";
    } catch (const EWebDataSetError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("Es wurde nichts gespeichert."), std::string::npos);
    }
    EXPECT_EQ(table->getState(), dsEdit) << c.Text;
    table->cancel();
  }
  // Without a key source an empty key is refused.
  table->insert();
  EXPECT_THROW(table->post(), EWebDataSetError);
  table->cancel();
  page.Transaction.commit();
  const auto rows =
      database.query("select ID, SMSTYPE, MESSAGE_DATE from smsserver_in where ID = 2");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1].asString(), "I");
  EXPECT_EQ(database.scalar("select count(*) from smsserver_in").asInt64(), 2);
}

class FbTableDataSetLockTest : public testing::TestWithParam<EDbEngine> {};

TEST_P(FbTableDataSetLockTest, ARowAnotherPageHoldsIsRefusedAfterTheLockTimeout) {
  dbtest::requireEngine(GetParam());
  if (IsSkipped()) {
    return;
  }
  TTestDatabase database(GetParam());
  insertReceived(database, 2);
  TAttachment first(database, 1);
  TAttachment second(database, 1);
  auto holder = first.received();
  auto waiter = second.received();
  holder->deleteRecord();
  try {
    waiter->deleteRecord();
    ADD_FAILURE() << "a held row was deleted";
  } catch (const EWebDataSetError& e) {
    EXPECT_NE(std::string(e.what()).find("Der Datensatz konnte nicht gelöscht werden: jemand "
                                         "anderes bearbeitet ihn gerade"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(waiter->recordCount(), 2);
  waiter->moveTo(1);
  waiter->deleteRecord(); // a row nobody holds
  EXPECT_EQ(waiter->recordCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, FbTableDataSetLockTest,
                         testing::Values(EDbEngine::embedded, EDbEngine::server),
                         dbtest::engineName);

TEST(FbColumnValueTest, TextsAreReadAsTheColumnTakesThem) {
  const TFbColumnInfo integer = describeFbColumn("ID", 16, 0, 0, true);
  const TFbColumnInfo small = describeFbColumn("N", 7, 0, 0, false);
  const TFbColumnInfo stamp = describeFbColumn("D", 35, 0, 0, false);
  const TFbColumnInfo text = describeFbColumn("T", 37, 0, 3, false);
  struct TCase {
    const TFbColumnInfo* Column;
    std::string Text;
    bool Fits;
    std::string Shown; // the value read, as the grid shows it
  };
  const TCase cases[] = {
      {&integer, " 42 ", true, "42"},
      {&integer, "+7", true, "7"},
      {&integer, "-9223372036854775808", true, "-9223372036854775808"},
      {&integer, "9223372036854775808", false, ""},
      {&integer, "12a", false, ""},
      {&integer, "4 2", false, ""},
      {&small, "-", false, ""},
      {&integer, "+-1", false, ""},
      {&integer, "", false, ""}, // not null
      {&small, "32768", false, ""},
      {&small, "", true, ""},
      {&stamp, "1.2.2026", true, "01.02.2026 00:00:00"},
      {&stamp, "01.02.2026 7:05", true, "01.02.2026 07:05:00"},
      {&stamp, "29.02.2026 10:00:00", false, ""},
      {&stamp, "2026-02-01", false, ""},
      {&text, "äöü", true, "äöü"},
      {&text, " ab ", false, ""},
      {&text, "<a>", true, "<a>"},
  };
  for (const TCase& c : cases) {
    TSQLValue value;
    std::string error;
    EXPECT_EQ(parseColumnText(*c.Column, "Spalte", c.Text, value, error), c.Fits) << c.Text;
    if (c.Fits) {
      EXPECT_EQ(formatColumnValue(*c.Column, value), c.Shown) << c.Text;
    } else {
      EXPECT_NE(error.find("\"Spalte\""), std::string::npos) << c.Text << ": " << error;
    }
  }
}

} // namespace
