// The kept parts of long SMS on the core's database side: the table SMSSERVER_PARTS holds each
// part received until its message is whole, so that a restart loses none.
#include "server/BizDatabase.h"
#include "server/PIBSql.h"

namespace {

void readParts(TFbStatement& aRows, std::vector<TSMSStoredPart>& aParts) {
  while (!aRows.eof()) {
    TSMSStoredPart part;
    part.MessageKey = aRows.fieldByName("MESSAGEKEY").asString();
    part.Number = aRows.fieldByName("PARTNUMBER").asInteger();
    part.Received = aRows.fieldByName("RECEIVE_DATE").asDateTime();
    part.PDU = aRows.fieldByName("SMSPDUDATA").asString();
    aParts.push_back(std::move(part));
    aRows.next();
  }
}

} // namespace

TSMSPartSaveResult TBizDatabase::saveSMSPart(const TSMSStoredPart& aPart) {
  return guarded("saveSMSPart", psNotConnected, false, [&]() REQUIRES(fCSDatabase) {
    {
      // This connection is the only writer of the table, so its transaction sees every part.
      TFbStatement& kept =
          preparedStatement("select count(*) from SMSSERVER_PARTS where MESSAGEKEY = "
                            ":varMESSAGEKEY and PARTNUMBER = :varPARTNUMBER");
      bindParameter(kept, {aPart.MessageKey, aPart.Number});
      kept.execQuery();
      if (kept.field(0).asInt64() > 0) {
        return psDuplicate;
      }
    }
    TFbStatement& insert = preparedStatement(
        "insert into SMSSERVER_PARTS (MESSAGEKEY, PARTNUMBER, RECEIVE_DATE, SMSPDUDATA) values "
        "(:varMESSAGEKEY, :varPARTNUMBER, :varRECEIVE_DATE, :varSMSPDUDATA)");
    bindParameter(insert, {aPart.MessageKey, aPart.Number, aPart.Received, aPart.PDU});
    insert.execQuery();
    restartTransaction("saveSMSPart");
    return psSaved;
  });
}

bool TBizDatabase::retrieveSMSParts(const std::string& aMessageKey,
                                    std::vector<TSMSStoredPart>& aParts) {
  return guarded("retrieveSMSParts", false, false, [&]() REQUIRES(fCSDatabase) {
    const std::string columns =
        "select MESSAGEKEY, PARTNUMBER, RECEIVE_DATE, SMSPDUDATA from SMSSERVER_PARTS ";
    if (aMessageKey.empty()) {
      TFbStatement& rows = preparedStatement(columns + "order by MESSAGEKEY, PARTNUMBER");
      rows.execQuery();
      readParts(rows, aParts);
    } else {
      TFbStatement& rows =
          preparedStatement(columns + "where MESSAGEKEY = :varMESSAGEKEY order by PARTNUMBER");
      bindParameter(rows, {aMessageKey});
      rows.execQuery();
      readParts(rows, aParts);
    }
    return true;
  });
}

bool TBizDatabase::deleteSMSParts(const std::string& aMessageKey) {
  return guarded("deleteSMSParts", false, false, [&]() REQUIRES(fCSDatabase) {
    {
      TFbStatement& statement =
          preparedStatement("delete from SMSSERVER_PARTS where MESSAGEKEY = :varMESSAGEKEY");
      bindParameter(statement, {aMessageKey});
      statement.execQuery();
    }
    restartTransaction("deleteSMSParts");
    return true;
  });
}
