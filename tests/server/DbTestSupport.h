#pragma once

#include "logging/KvLogAppender.h"
#include "logging/KvLoggerTypes.h"
#include "server/BizDatabase.h"
#include "server/SQLValue.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Databases for the tests, on both engines: the embedded engine (a bare path) and the
// Firebird server on localhost (scripts/test-services starts it). The server is reached as
// $PARLINO_FB_HOST (default localhost) with $PARLINO_FB_USER (default SYSDBA) and
// $PARLINO_FB_PASSWORD, by default the ISC_PASSWORD of /etc/firebird/3.0/SYSDBA.password.
// PARLINO_SKIP_FB_SERVER=1 skips the server runs instead of failing them.
namespace dbtest {

enum class EDbEngine { embedded, server };
std::string engineName(const testing::TestParamInfo<EDbEngine>& aInfo);

struct TServerLogin {
  std::string Host;
  std::string User;
  std::string Password;
};
TServerLogin serverLogin();

// A fresh database file in its own temporary folder (readable by a server running as
// another user), created with the schema of db/schema.sql unless told otherwise.
class TTestDatabase {
public:
  explicit TTestDatabase(EDbEngine aEngine, bool aWithSchema = true);
  ~TTestDatabase();
  TTestDatabase(const TTestDatabase&) = delete;
  TTestDatabase& operator=(const TTestDatabase&) = delete;

  EDbEngine engine() const { return fEngine; }
  // The core's settings for this database (character set UTF8).
  const TBizDatabaseSettings& settings() const { return fSettings; }
  std::string connectionName() const { return TBizDatabase::connectionName(fSettings); }
  const std::string& folder() const { return fDir.path(); }

  // Statements on an attachment of their own, each committed: to arrange rows and to look
  // at what the core wrote.
  void exec(const std::string& aSQL, const TSQLParams& aParams = {});
  std::vector<std::vector<TSQLValue>> query(const std::string& aSQL,
                                            const TSQLParams& aParams = {});
  TSQLValue scalar(const std::string& aSQL, const TSQLParams& aParams = {});

private:
  EDbEngine fEngine;
  testsupport::TTempDir fDir;
  TBizDatabaseSettings fSettings;
};

// Skips (or fails) a server run when the server does not answer.
void requireEngine(EDbEngine aEngine);

// A test run on each engine with a fresh database of the schema (fDb), made in SetUp unless
// the engine's run is skipped. A fixture that prepares more calls this SetUp first and returns
// when IsSkipped().
class TDatabaseTest : public testing::TestWithParam<EDbEngine> {
protected:
  void SetUp() override {
    requireEngine(GetParam());
    if (!IsSkipped()) {
      fDb = std::make_unique<TTestDatabase>(GetParam());
    }
  }

  std::unique_ptr<TTestDatabase> fDb;
};

// Captures the log lines of the process logger while it exists, at every level.
class TCapturedLog : public TKvLogAppender {
public:
  struct TLine {
    TKvLoggerLevel Level;
    std::string Module;
    std::string Message;
  };
  TCapturedLog();
  ~TCapturedLog() override;
  void append(const TKvLoggerMessage& aEvent) override;
  std::vector<TLine> lines() const;
  bool contains(TKvLoggerLevel aLevel, const std::string& aModule,
                const std::string& aMessage) const;
  // Module and message of every line, one per line: for failure output.
  std::string dump() const;

private:
  mutable std::mutex fCSLines;
  std::vector<TLine> fLines;
  TKvLoggerLevel fPreviousLevel;
};

} // namespace dbtest
