#pragma once

#include "server/BizDatabase.h"

#include <string>

// Setting up a new database for the server: create the file, run the schema script, add the
// administration account (type 255, active, no expiry). Used by parlino-dbinit and the tests.
// Runs on the calling thread; returns false with a message in aError on any failure.
bool setupDatabase(const TBizDatabaseSettings& aSettings, const std::string& aSchemaScript,
                   const std::string& aAdminName, const std::string& aAdminPassword,
                   std::string& aError);

// Runs the statements of a script on the open connection of aDatabase, each committed on its
// own. Raises EFbError.
void runSQLScript(TBizDatabase& aDatabase, const std::string& aScript);
