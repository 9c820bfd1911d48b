// What the core's database side checks of the schema when it connects: additions that
// databases made with an older schema lack are made here, and a connection character set
// that cannot carry every character of the text columns is reported.
#include "common/TextEncoding.h"
#include "logging/KvLogger.h"
#include "server/BizDatabase.h"
#include "server/PIBSql.h"

namespace {

constexpr const char* SC_MODULE = "connect.schema";

// As in db/schema.sql.
constexpr const char* SC_CREATEPARTSTABLE =
    "CREATE TABLE SMSSERVER_PARTS ("
    " MESSAGEKEY VARCHAR(100) CHARACTER SET UTF8 NOT NULL,"
    " PARTNUMBER INTEGER NOT NULL,"
    " RECEIVE_DATE TIMESTAMP,"
    " SMSPDUDATA VARCHAR(512) CHARACTER SET UTF8,"
    " CONSTRAINT PK_SMSSERVER_PARTS PRIMARY KEY (MESSAGEKEY, PARTNUMBER))";
constexpr int IC_PDUCOLUMNLENGTH = 8000;
const char* const kPDUTables[] = {"SMSSERVER_IN", "SMSSERVER_UNREAD", "SMSSERVER_OUT"};

// Names in the system tables are blank-padded upper case.
std::string systemName(const TSQLValue& aValue) {
  std::string name = aValue.asString();
  while (!name.empty() && name.back() == ' ') {
    name.pop_back();
  }
  return name;
}

// One row of a query on the system tables, or none.
std::vector<TSQLValue> firstRow(TFbDatabase& aDatabase, TFbTransaction& aTransaction,
                                const std::string& aSQL, const TSQLParams& aParams) {
  TFbStatement statement(&aDatabase, &aTransaction);
  statement.setSQL(aSQL);
  bindParameter(statement, aParams);
  statement.execQuery();
  std::vector<TSQLValue> row;
  if (!statement.eof()) {
    for (int i = 0; i < statement.fieldCount(); ++i) {
      row.push_back(statement.field(i));
    }
  }
  return row;
}

// A column's length in characters and its character set; an empty row when it is missing.
std::vector<TSQLValue> describeColumn(TFbDatabase& aDatabase, TFbTransaction& aTransaction,
                                      const std::string& aTable, const std::string& aColumn) {
  return firstRow(aDatabase, aTransaction,
                  "select f.RDB$CHARACTER_LENGTH, cs.RDB$CHARACTER_SET_NAME "
                  "from RDB$RELATION_FIELDS rf "
                  "join RDB$FIELDS f on f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE "
                  "left join RDB$CHARACTER_SETS cs "
                  "on cs.RDB$CHARACTER_SET_ID = f.RDB$CHARACTER_SET_ID "
                  "where rf.RDB$RELATION_NAME = :varTABLE and rf.RDB$FIELD_NAME = :varCOLUMN",
                  {aTable, aColumn});
}

// Runs one definition in a transaction of its own. False (logged, with the statement an
// operator can run instead) when it fails.
bool define(TFbDatabase& aDatabase, const std::string& aSQL, const std::string& aWhat) {
  TFbTransaction transaction(&aDatabase);
  try {
    transaction.startTransaction();
    {
      TFbStatement statement(&aDatabase, &transaction);
      statement.setSQL(aSQL);
      statement.execQuery();
    }
    transaction.commit();
    Logger().info(SC_MODULE, aWhat);
    return true;
  } catch (const std::exception& e) {
    Logger().error(SC_MODULE, "the database lacks what this version needs (" + aWhat +
                                  "): " + e.what() + "; run \"" + aSQL + "\" on it");
    return false;
  }
}

} // namespace

void TBizDatabase::upgradeSchema() {
  try {
    TFbTransaction transaction(&IBBizDatabase);
    transaction.startTransaction();
    const bool hasParts =
        !firstRow(IBBizDatabase, transaction,
                  "select 1 from RDB$RELATIONS where RDB$RELATION_NAME = :varTABLE",
                  {"SMSSERVER_PARTS"})
             .empty();
    std::vector<std::string> narrow;
    for (const char* table : kPDUTables) {
      const auto column = describeColumn(IBBizDatabase, transaction, table, "SMSPDUDATA");
      if (!column.empty() && column[0].asInt64() < IC_PDUCOLUMNLENGTH) {
        narrow.push_back(table);
      }
    }
    const auto text = describeColumn(IBBizDatabase, transaction, "SMSSERVER_IN", "SMSTEXT");
    transaction.commit();
    if (text.empty()) {
      return; // not a database of the gateway (or an empty one): nothing is added to it
    }

    if (!hasParts) {
      define(IBBizDatabase, SC_CREATEPARTSTABLE,
             "added the table SMSSERVER_PARTS for the parts of long SMS");
    }
    for (const std::string& table : narrow) {
      define(IBBizDatabase,
             "ALTER TABLE " + table + " ALTER COLUMN SMSPDUDATA TYPE VARCHAR(" +
                 std::to_string(IC_PDUCOLUMNLENGTH) + ")",
             "widened " + table + ".SMSPDUDATA to " + std::to_string(IC_PDUCOLUMNLENGTH) +
                 " characters for the PDUs of long SMS");
    }
    const std::string encoding = fSettings.Encoding.empty() ? "NONE" : fSettings.Encoding;
    if (text.size() == 2 && systemName(text[1]) == "UTF8" && lowerAscii(encoding) != "utf8") {
      Logger().warn(SC_MODULE, "the connection character set \"" + encoding +
                                   "\" cannot carry every character of the UTF8 text columns "
                                   "(emoji among them): set the option DatabaseEncoding to "
                                   "\"UTF8\"");
    }
  } catch (const std::exception& e) {
    Logger().error(SC_MODULE, std::string("the schema could not be checked: ") + e.what());
  }
}
