#include "server/DatabaseSetup.h"

#include "server/FbSQLText.h"

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
