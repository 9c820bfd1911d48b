#include "common/TextEncoding.h"
#include "server/ServerController.h"
#include "tests/server/DbTestSupport.h"
#include "web/FbTableDataSet.h"
#include "web/Navigation.h"
#include "web/SMSListForms.h"
#include "web/SendSMSForm.h"
#include "webframework/WebSessionStore.h"

#include <gtest/gtest.h>

namespace {

using dbtest::EDbEngine;
using dbtest::TCapturedLog;
using dbtest::TTestDatabase;

// A session of the administration pages whose idle time a test moves on by hand.
struct TPageSession {
  explicit TPageSession(std::chrono::minutes aTimeout = std::chrono::minutes(15))
      : Store({aTimeout, 10}, [this] { return Now; }) {
    registerAdministrationPageClasses(Classes);
    Claim = Store.create();
    Claim->setPageClasses(&Classes);
  }
  template <class TForm>
  TForm& create(const std::string& aClassName) {
    return dynamic_cast<TForm&>(*Claim->createPage(aClassName));
  }
  std::chrono::steady_clock::time_point Now = std::chrono::steady_clock::now();
  TWebPageClasses Classes;
  TWebSessionStore Store;
  TWebSessionStore::TClaim Claim;
};

TEST(SMSListFormTest, EditsBecomePermanentWhenTheSessionEnds) {
  TTestDatabase database(EDbEngine::embedded);
  database.exec("insert into smsserver_out (ID, RECIPIENT, SMSTEXT) values (1, '4917', 'eins')");
  database.exec("insert into smsserver_out (ID, RECIPIENT, SMSTEXT) values (2, '4918', 'zwei')");
  TIWServerController controller;
  controller.database().setSettings(database.settings());

  TPageSession session;
  auto& page = session.create<TSMSSentForm>("TSMSSentForm");
  ASSERT_TRUE(page.isOpen());
  EXPECT_FALSE(page.lblDatabaseNotice->Visible);
  EXPECT_EQ(page.grdMessages->Caption, "Gesendete SMS");
  page.dataSet()->deleteRecord();
  EXPECT_EQ(page.dataSet()->recordCount(), 1);
  EXPECT_EQ(database.scalar("select count(*) from smsserver_out").asInt64(), 2);

  session.Claim.release();
  session.Now += std::chrono::minutes(16);
  EXPECT_EQ(session.Store.sweep(), 1u);
  EXPECT_EQ(database.scalar("select count(*) from smsserver_out").asInt64(), 1);
  EXPECT_EQ(database.scalar("select SMSTEXT from smsserver_out").asString(), "zwei");
}

bool hasErrorLine(const TCapturedLog& aLog, const std::string& aModule, const std::string& aStart) {
  for (const auto& line : aLog.lines()) {
    if (line.Level == KVLL_ERROR && line.Module == aModule && line.Message.rfind(aStart, 0) == 0) {
      return true;
    }
  }
  return false;
}

TEST(SMSListFormTest, AFailedCommitIsLoggedAndNothingIsWritten) {
  TTestDatabase database(EDbEngine::embedded);
  database.exec("insert into smsserver_in (ID, SMSTEXT) values (1, 'eins')");
  // The database refuses to commit a transaction that has deleted the row.
  database.exec("create exception E_KEEP_ROW 'the row stays'");
  database.exec("create trigger T_KEEP_ROW on transaction commit as begin "
                "if (not exists (select 1 from smsserver_in where ID = 1)) then "
                "exception E_KEEP_ROW; end");
  TIWServerController controller;
  controller.database().setSettings(database.settings());
  TCapturedLog log;
  {
    TPageSession session;
    auto& page = session.create<TSMSReceivedForm>("TSMSReceivedForm");
    ASSERT_TRUE(page.isOpen());
    page.dataSet()->deleteRecord();
  } // the session ends
  EXPECT_TRUE(hasErrorLine(log, "web",
                           "SMSReceivedForm: the changes made in the list of SMSSERVER_IN "
                           "could not be committed"))
      << log.dump();
  EXPECT_EQ(database.scalar("select count(*) from smsserver_in").asInt64(), 1);
}

TEST(SMSListFormTest, APageWhoseRowsCannotBeReadShowsTheNotice) {
  TTestDatabase database(EDbEngine::embedded);
  database.exec("insert into smsserver_in (ID, SMSTEXT) values (1, 'eins')");
  TIWServerController controller;
  controller.database().setSettings(database.settings());
  TCapturedLog log;
  TPageSession session;
  auto& page = session.create<TSMSReceivedForm>("TSMSReceivedForm");
  ASSERT_TRUE(page.isOpen());
  page.database()->close(); // the connection is gone
  page.onRender();
  EXPECT_FALSE(page.isOpen());
  EXPECT_TRUE(page.lblDatabaseNotice->Visible);
  EXPECT_FALSE(page.grdMessages->Visible);
  EXPECT_FALSE(page.dbnavMessages->Visible);
  EXPECT_TRUE(hasErrorLine(log, "servercontroller", "exception of type")) << log.dump();
}

TEST(SMSListFormTest, AnUnreachableDatabaseGivesANoticeAndReachesTheExceptionHook) {
  TCapturedLog log;
  testsupport::TTempDir dir;
  TBizDatabaseSettings settings;
  settings.Name = dir.file("missing.fdb");
  settings.Username = "SYSDBA";
  TIWServerController controller;
  controller.database().setSettings(settings);

  TPageSession session;
  auto& page = session.create<TSMSReceivedForm>("TSMSReceivedForm");
  EXPECT_FALSE(page.isOpen());
  EXPECT_TRUE(page.lblDatabaseNotice->Visible);
  EXPECT_EQ(page.lblDatabaseNotice->Caption, "Die Datenbank ist nicht erreichbar. Die Nachrichten "
                                             "können zur Zeit nicht angezeigt werden.");
  EXPECT_FALSE(page.grdMessages->Visible);
  EXPECT_FALSE(page.dbnavMessages->Visible);
  bool logged = false;
  for (const auto& line : log.lines()) {
    logged = logged || (line.Level == KVLL_ERROR && line.Module == "servercontroller" &&
                        line.Message.find("missing.fdb") != std::string::npos);
  }
  EXPECT_TRUE(logged) << log.dump();
  page.onRender(); // nothing to read
}

TEST(SendSMSFormTest, TheTextIsEveryLineFollowedByCRLF) {
  EXPECT_EQ(buildSMSMessageText({}), "");
  EXPECT_EQ(buildSMSMessageText({""}), "\r\n");
  EXPECT_EQ(buildSMSMessageText({"Hallo", "", "Welt"}), "Hallo\r\n\r\nWelt\r\n");
  // 158 characters and the line end are 160 units; a character outside the basic plane
  // counts twice.
  EXPECT_EQ(utf16Length(buildSMSMessageText({std::string(158, 'x')})), 160u);
  EXPECT_EQ(utf16Length(buildSMSMessageText({"\xF0\x9F\x98\x80"})), 4u);
}

} // namespace
