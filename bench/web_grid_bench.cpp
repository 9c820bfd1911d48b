// How fast a message list opens and pages on a large table: the received list's data set on
// smsserver_in with N rows (default 100,000) in the embedded engine, in a snapshot transaction
// as the list page holds it, with the page's grid (20 rows) rendered after every step.
// Prints the time of each step in milliseconds; asserts nothing.
//   web_grid_bench [rows]
#include "logging/KvLogger.h"
#include "server/DatabaseSetup.h"
#include "web/FbTableDataSet.h"
#include "webframework/WebDataControls.h"
#include "webframework/WebPage.h"
#include "webframework/WebSession.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

std::string readText(const std::string& aPath) {
  std::ifstream in(aPath);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

double millisecondsOf(const std::function<void()>& aWork) {
  const auto start = TClock::now();
  aWork();
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// The median of aRuns runs.
double medianOf(int aRuns, const std::function<void()>& aWork) {
  std::vector<double> times;
  for (int i = 0; i < aRuns; ++i) {
    times.push_back(millisecondsOf(aWork));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void fillTable(const TBizDatabaseSettings& aSettings, int aRows) {
  TFbDatabase database;
  database.setDatabaseName(TBizDatabase::connectionName(aSettings));
  database.params() = TBizDatabase::connectionParams(aSettings);
  database.open();
  TFbTransaction transaction(&database);
  transaction.startTransaction();
  // Rows in thousands (a recursive query goes at most 1024 deep).
  TFbStatement insert(&database, &transaction);
  insert.setSQL("insert into smsserver_in (ID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, "
                "MESSAGE_DATE, RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSINDEX, SMSSTATE, SMSLENGTH) "
                "with recursive d (i) as (select 0 from rdb$database union all "
                "select i + 1 from d where i < 999) "
                "select a.i * 1000 + b.i + 1, 1, '49171' || (a.i * 1000 + b.i), 'I', '7', "
                "dateadd(a.i * 1000 + b.i second to timestamp '2026-01-01 00:00:00'), "
                "current_timestamp, 'Guten Tag, dies ist die Nachricht Nummer ' || "
                "(a.i * 1000 + b.i + 1) || ' mit etwas Text, wie eine SMS ihn traegt.', '0', "
                "1, 0, 90 from d a cross join d b where a.i * 1000 + b.i < :varRows");
  insert.prepare();
  insert.setParamByName("varRows", aRows);
  insert.execQuery();
  transaction.commit();
}

} // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  Logger().clearAppenders();
  char folder[] = "/tmp/parlino-grid-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  TBizDatabaseSettings settings;
  settings.Name = std::string(folder) + "/grid.fdb";
  settings.Username = "SYSDBA";
  settings.Encoding = "UTF8";
  std::string error;
  if (!setupDatabase(settings, readText(PARLINO_SOURCE_DIR "/db/schema.sql"), "bench", "pw",
                     error)) {
    std::printf("embedded engine not available: %s\n", error.c_str());
    return 1;
  }
  std::printf("filling smsserver_in with %d rows: %.0f ms\n", rows,
              millisecondsOf([&] { fillTable(settings, rows); }));

  // The list page: attachment, snapshot transaction, data set, grid and navigator.
  TFbDatabase database;
  TFbTransaction transaction;
  std::unique_ptr<TFbTableDataSet> table;
  TWebSession session("bench", 1);
  TWebPage page(session, "SMSReceivedForm");
  auto& grid = page.add<TWebDataGrid>("grdMessages");
  grid.Columns = {{"ID", "ID"},
                  {"Originator", "Sender"},
                  {"SMSTYPE", "Typ"},
                  {"message_date", "Datum"},
                  {"SMSText", "Text"}};
  grid.RowLimit = 20;
  auto& navigator = page.add<TWebDataNavigator>("dbnavMessages");
  std::size_t rendered = 0;
  const auto render = [&] {
    grid.prepare();
    TWebRenderContext context(false, "/EXEC/bench", "/EXEC/files", page.getName());
    grid.render(context);
    navigator.render(context);
    rendered = context.out().size();
  };

  std::printf("%-44s %10s\n", "step", "ms");
  const double attach = millisecondsOf([&] {
    database.setDatabaseName(TBizDatabase::connectionName(settings));
    database.params() = TBizDatabase::connectionParams(settings);
    database.open();
    transaction.setDefaultDatabase(&database);
    transaction.startTransaction();
  });
  const double open = millisecondsOf([&] {
    table = std::make_unique<TFbTableDataSet>(
        database, transaction, "SMSSERVER_IN", "ID",
        std::vector<std::string>{"ID", "Originator", "SMSTYPE", "message_date", "SMSText"});
    table->open();
    grid.DataSet = table.get();
    navigator.DataSet = table.get();
  });
  std::printf("%-44s %10.1f\n", "attach and start the snapshot", attach);
  std::printf("%-44s %10.1f\n", "open the data set (read the keys)", open);
  std::printf("%-44s %10.1f\n", "first window rendered", millisecondsOf(render));
  std::printf("%-44s %10.2f\n", "next, rendered (median of 200)", medianOf(200, [&] {
                navigator.click(nbNext);
                render();
              }));
  std::printf("%-44s %10.1f\n", "last, rendered", millisecondsOf([&] {
                navigator.click(nbLast);
                render();
              }));
  std::printf("%-44s %10.2f\n", "prior, rendered (median of 200)", medianOf(200, [&] {
                navigator.click(nbPrior);
                render();
              }));
  std::printf("%-44s %10.2f\n", "next page, rendered (median of 50)", medianOf(50, [&] {
                navigator.click(nbFirst);
                grid.fireEvent("page:next");
                render();
              }));
  std::printf("%-44s %10.1f\n", "jump to the middle, rendered", millisecondsOf([&] {
                table->moveTo(rows / 2);
                render();
              }));
  std::printf("%-44s %10.1f\n", "first, rendered", millisecondsOf([&] {
                navigator.click(nbFirst);
                render();
              }));
  std::printf("%-44s %10.1f\n", "refresh (keys read again), rendered", millisecondsOf([&] {
                navigator.click(nbRefresh);
                render();
              }));
  std::printf("%-44s %10.1f\n", "for comparison: select count(*) of the table", millisecondsOf([&] {
                TFbStatement count(&database, &transaction);
                count.setSQL("select count(*) from SMSSERVER_IN");
                count.execQuery();
              }));
  std::printf("records %d, a rendered window %zu bytes\n", table->recordCount(), rendered);

  table.reset();
  transaction.commit();
  database.close();
  std::filesystem::remove_all(folder);
  return 0;
}
