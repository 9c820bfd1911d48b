#include "tests/server/DbTestSupport.h"

#include "logging/KvLogger.h"
#include "server/DatabaseSetup.h"
#include "server/FbStatement.h"
#include "tests/support/LocalServices.h"

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

namespace dbtest {

namespace {

std::string environment(const char* aName, const std::string& aDefault) {
  const char* value = std::getenv(aName);
  return value != nullptr && *value != '\0' ? std::string(value) : aDefault;
}

std::string schemaText() {
  return testsupport::readFile(testsupport::sourcePath("db/schema.sql"));
}

} // namespace

std::string engineName(const testing::TestParamInfo<EDbEngine>& aInfo) {
  return aInfo.param == EDbEngine::embedded ? "Embedded" : "Server";
}

TServerLogin serverLogin() {
  return {environment("PARLINO_FB_HOST", "localhost"), environment("PARLINO_FB_USER", "SYSDBA"),
          testsupport::localServerPassword()};
}

void requireEngine(EDbEngine aEngine) {
  if (aEngine == EDbEngine::server && environment("PARLINO_SKIP_FB_SERVER", "0") == "1") {
    GTEST_SKIP() << "PARLINO_SKIP_FB_SERVER=1";
  }
}

TTestDatabase::TTestDatabase(EDbEngine aEngine, bool aWithSchema) : fEngine(aEngine) {
  // A server that runs as its own user must reach the file as well.
  ::chmod(fDir.path().c_str(), 0777);
  fSettings.Name = fDir.file("parlino.fdb");
  fSettings.Encoding = "UTF8";
  if (aEngine == EDbEngine::server) {
    const TServerLogin login = serverLogin();
    fSettings.Host = login.Host;
    fSettings.Username = login.User;
    fSettings.Password = login.Password;
  } else {
    fSettings.Username = "SYSDBA";
    fSettings.Password = "embedded";
  }
  TBizDatabase database;
  database.setSettings(fSettings);
  try {
    database.createDatabase(connectionName());
  } catch (const EFbError& e) {
    if (aEngine == EDbEngine::server) {
      throw EFbError(std::string(e.what()) + " (is the Firebird server running? "
                                             "scripts/test-services start)");
    }
    throw;
  }
  if (aWithSchema) {
    runSQLScript(database, schemaText());
  }
}

TTestDatabase::~TTestDatabase() = default;

void TTestDatabase::exec(const std::string& aSQL, const TSQLParams& aParams) {
  query(aSQL, aParams);
}

std::vector<std::vector<TSQLValue>> TTestDatabase::query(const std::string& aSQL,
                                                         const TSQLParams& aParams) {
  TFbDatabase database;
  database.setDatabaseName(connectionName());
  database.params() = TBizDatabase::connectionParams(fSettings);
  database.open();
  TFbTransaction transaction(&database);
  transaction.startTransaction();
  std::vector<std::vector<TSQLValue>> rows;
  {
    TFbStatement statement(&database, &transaction);
    statement.setSQL(aSQL);
    statement.prepare();
    for (std::size_t i = 0; i < aParams.size(); ++i) {
      statement.setParam(static_cast<int>(i), aParams[i]);
    }
    statement.execQuery();
    while (statement.isOpen() && !statement.eof()) {
      std::vector<TSQLValue> row;
      for (int i = 0; i < statement.fieldCount(); ++i) {
        row.push_back(statement.field(i));
      }
      rows.push_back(std::move(row));
      if (statement.isOpen()) {
        statement.next();
      }
    }
  }
  transaction.commit();
  database.close();
  return rows;
}

TSQLValue TTestDatabase::scalar(const std::string& aSQL, const TSQLParams& aParams) {
  const auto rows = query(aSQL, aParams);
  return rows.empty() || rows[0].empty() ? TSQLValue() : rows[0][0];
}

TCapturedLog::TCapturedLog() : fPreviousLevel(Logger().getCurrentLevel()) {
  Logger().setCurrentLevel(KVLL_TRACE);
  Logger().addAppender(this);
}

TCapturedLog::~TCapturedLog() {
  for (int i = Logger().getAppenderCount() - 1; i >= 0; --i) {
    if (Logger().getAppender(i) == this) {
      Logger().deleteAppender(i);
    }
  }
  Logger().setCurrentLevel(fPreviousLevel);
}

void TCapturedLog::append(const TKvLoggerMessage& aEvent) {
  std::lock_guard lock(fCSLines);
  fLines.push_back({aEvent.getLogLevel(), aEvent.getLogModule(), aEvent.getLogMessage()});
}

std::vector<TCapturedLog::TLine> TCapturedLog::lines() const {
  std::lock_guard lock(fCSLines);
  return fLines;
}

bool TCapturedLog::contains(TKvLoggerLevel aLevel, const std::string& aModule,
                            const std::string& aMessage) const {
  std::lock_guard lock(fCSLines);
  for (const TLine& line : fLines) {
    if (line.Level == aLevel && line.Module == aModule && line.Message == aMessage) {
      return true;
    }
  }
  return false;
}

std::string TCapturedLog::dump() const {
  std::ostringstream out;
  for (const TLine& line : lines()) {
    out << line.Level << " " << line.Module << ": " << line.Message << "\n";
  }
  return out.str();
}

} // namespace dbtest
