#include "server/DatabaseSetup.h"

#include "server/FbSQLText.h"

#include <cstdlib>
#include <fstream>

void runSQLScript(TBizDatabase& aDatabase, const std::string& aScript) {
  TScopedLock lock(aDatabase.getCSDatabase());
  TFbTransaction& transaction = aDatabase.getIBBizTransaction();
  for (const std::string& text : splitSQLScript(aScript)) {
    if (!transaction.inTransaction()) {
      transaction.startTransaction();
    }
    {
      TFbStatement statement(&aDatabase.getIBBizDatabase(), &transaction);
      statement.setSQL(text);
      statement.execQuery();
    }
    // Each definition is committed before the next one builds on it.
    transaction.commit();
  }
}

bool setupDatabase(const TBizDatabaseSettings& aSettings, const std::string& aSchemaScript,
                   const std::string& aAdminName, const std::string& aAdminPassword,
                   std::string& aError) {
  const std::string name = TBizDatabase::connectionName(aSettings);
  TBizDatabase database;
  database.setSettings(aSettings);
  std::string step = "creating the database";
  try {
    database.createDatabase(name);
    step = "running the schema";
    runSQLScript(database, aSchemaScript);
    step = "connecting";
    database.connect();
    step = "adding the administration account";
    if (!database.addAccount(aAdminName, encodeMD5(aAdminPassword), true, IC_ACCOUNTTYPE_ADMIN,
                             TDateTime(), 0)) {
      aError = "the administration account \"" + aAdminName + "\" could not be added";
      return false;
    }
    step = "disconnecting";
    database.disconnect();
  } catch (const std::exception& e) {
    aError = step + " " + name + ": " + e.what();
    return false;
  }
  return true;
}

std::string localServerPassword() {
  const char* fromEnvironment = std::getenv("PARLINO_FB_PASSWORD");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  std::ifstream in("/etc/firebird/3.0/SYSDBA.password");
  const std::string prefix = "ISC_PASSWORD=";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      std::string value = line.substr(prefix.size());
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
  }
  return "masterkey";
}
