// The SMS store of the core's database side: sent, received and unread SMS and the pattern
// tests that route them.
#include "common/TextEncoding.h"
#include "server/BizDatabase.h"
#include "server/PIBSql.h"
#include "server/SMSPatterns.h"

namespace {

// Binary data is stored as "8", every other type (text, 16-bit text) as "7".
const char* encodingText(TVTSMSManagerMessageType aType) {
  return aType == VTSMSMMT_DATA ? "8" : "7";
}

TVTSMSManagerMessageType typeOfEncoding(std::string aEncoding) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!aEncoding.empty() && blank(aEncoding.back())) {
    aEncoding.pop_back();
  }
  while (!aEncoding.empty() && blank(aEncoding.front())) {
    aEncoding.erase(0, 1);
  }
  return aEncoding == "7" ? VTSMSMMT_TEXT : VTSMSMMT_DATA;
}

} // namespace

std::int64_t TBizDatabase::saveSMSOut(TVTSMSManagerMessageType aType, const std::string& aRecipient,
                                      std::int64_t aID, const std::string& aText,
                                      const std::string& aDataPDU, TDateTime aCreateDate,
                                      const std::string& /*aOriginator*/, int /*aIndex*/,
                                      int /*aState*/, int /*aLength*/) {
  std::int64_t result = -1;
  TScopedLock lock(fCSDatabase);
  if (fConnected) {
    const std::int64_t key = aID > 0 ? aID : fSMSOutGenerator->getNewValue();
    result = key;
    TFbStatement& insert = preparedStatement(
        "insert into smsserver_out (ID, SMSTYPE, RECIPIENT, SMSTEXT, CREATE_DATE, ORIGINATOR, "
        "SMSENCODING, STATUS_REPORT, FLASH_SMS, SRC_PORT, DST_PORT, PRIORITY, STATUS, ERRORS, "
        "GATEWAY_ID, SMSPDUDATA) values (:varID, :varSMSTYPE, :varRECIPIENT, :varSMSTEXT, "
        ":varCREATE_DATE, :varORIGINATOR, :varSMSENCODING, :varSTATUS_REPORT, :varFLASH_SMS, "
        ":varSRC_PORT, :varDST_PORT, :varPRIORITY, :varSTATUS, :varERRORS, :varGATEWAY_ID, "
        ":varSMSPDUDATA)");
    bindParameter(insert, {key, "O", aRecipient, aText, aCreateDate, "0", encodingText(aType), 0, 0,
                           0, 0, 0, "S", 0, "0", aDataPDU});
    insert.execQuery();
  } else {
    warnNotConnected("saveSMSOut", "db");
  }
  restartTransaction("saveSMSOut");
  return result;
}

std::int64_t TBizDatabase::saveSMSIn(TVTSMSManagerMessageType aType, const std::string& aOriginator,
                                     std::int64_t aID, const std::string& aText,
                                     const std::string& aDataPDU, TDateTime aMessageDate,
                                     TDateTime aReceiveDate, int aIndex, int aState, int aLength) {
  std::int64_t result = -1;
  TScopedLock lock(fCSDatabase);
  if (fConnected) {
    const std::int64_t key = aID > 0 ? aID : fSMSInGenerator->getNewValue();
    result = key;
    TFbStatement& insert = preparedStatement(
        "insert into smsserver_in (ID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, MESSAGE_DATE, "
        "RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSPDUDATA, SMSINDEX, SMSSTATE, SMSLENGTH) values "
        "(:varID, :varPROCESS, :varORIGINATOR, :varSMSTYPE, :varSMSENCODING, :varMESSAGE_DATE, "
        ":varRECEIVE_DATE, :varSMSTEXT, :varGATEWAY_ID, :varSMSPDUDATA, :varSMSINDEX, "
        ":varSMSSTATE, :varSMSLENGTH)");
    bindParameter(insert, {key, 1, aOriginator, "I", encodingText(aType), aMessageDate,
                           aReceiveDate, aText, "0", aDataPDU, aIndex, aState, aLength});
    insert.execQuery();
  } else {
    warnNotConnected("saveSMSIn", "db");
  }
  restartTransaction("saveSMSIn");
  return result;
}

void TBizDatabase::saveSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                                 const std::string& aOriginator, const std::string& aText,
                                 const std::string& aDataPDU, TDateTime aMessageDate,
                                 TDateTime aReceiveDate, int aIndex, int aState, int aLength) {
  TScopedLock lock(fCSDatabase);
  if (fConnected) {
    TFbStatement& insert = preparedStatement(
        "insert into smsserver_unread (ID, ACCOUNTID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, "
        "MESSAGE_DATE, RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSPDUDATA, SMSINDEX, SMSSTATE, "
        "SMSLENGTH) values (:varID, :varACCOUNTID, :varPROCESS, :varORIGINATOR, :varSMSTYPE, "
        ":varSMSENCODING, :varMESSAGE_DATE, :varRECEIVE_DATE, :varSMSTEXT, :varGATEWAY_ID, "
        ":varSMSPDUDATA, :varSMSINDEX, :varSMSSTATE, :varSMSLENGTH)");
    bindParameter(insert, {aID, static_cast<std::int64_t>(aAccountID), 1, aOriginator, "I",
                           encodingText(aType), aMessageDate, aReceiveDate, aText, "0", aDataPDU,
                           aIndex, aState, aLength});
    insert.execQuery();
  } else {
    warnNotConnected("saveSMSUnRead", "db");
  }
  restartTransaction("saveSMSUnRead");
}

bool TBizDatabase::deleteSMSUnRead(std::int64_t aID, std::int64_t aAccountID) {
  return guarded("deleteSMSUnRead", false, true, [&]() REQUIRES(fCSDatabase) {
    {
      TFbStatement& statement = preparedStatement(
          "delete from smsserver_unread where (ID = :varID) and (ACCOUNTID = :varACCOUNTID)");
      statement.setParamByName("varID", aID);
      statement.setParamByName("varACCOUNTID", aAccountID);
      statement.execQuery();
    }
    restartTransaction("deleteSMSUnRead");
    return true;
  });
}

bool TBizDatabase::retrieveSMSUnRead(TSMSList* aToStrings, std::int64_t aAccountID) {
  if (aToStrings == nullptr) {
    return false;
  }
  return guarded("retrieveSMSUnRead", false, true, [&]() REQUIRES(fCSDatabase) {
    TFbStatement& rows =
        preparedStatement("select * from smsserver_unread where ACCOUNTID = :varACCOUNTID "
                          "order by MESSAGE_DATE");
    rows.setParamByName("varACCOUNTID", aAccountID);
    rows.execQuery();
    while (!rows.eof()) {
      auto message = std::make_unique<TVTSMSManagerMessage>();
      message->setRecipient(rows.fieldByName("ORIGINATOR").asString());
      message->setTheMessage(rows.fieldByName("SMSTEXT").asString());
      message->setMessageType(typeOfEncoding(rows.fieldByName("SMSENCODING").asString()));
      message->setMessageTimestamp(rows.fieldByName("MESSAGE_DATE").asDateTime());
      message->setMessageIndex(-1);
      message->setMessageState(-1);
      message->setMessageLength(
          static_cast<int>(utf8ToCodePoints(message->getTheMessage()).size()));
      aToStrings->push_back({rows.fieldByName("ID").asString(), std::move(message)});
      rows.next();
    }
    return true;
  });
}

bool TBizDatabase::anyPatternMatches(const char* aOperation, const std::string& aTable,
                                     const std::string& aNumber, std::int64_t aAccountID) {
  return guarded(aOperation, false, true, [&]() REQUIRES(fCSDatabase) {
    TFbStatement& patterns =
        preparedStatement("select * from " + aTable + " where ACCOUNTID = :varACCOUNTID");
    patterns.setParamByName("varACCOUNTID", aAccountID);
    patterns.execQuery();
    while (!patterns.eof()) {
      if (matchPattern(aNumber, patterns.fieldByName("PATTERN").asString())) {
        return true;
      }
      patterns.next();
    }
    return false;
  });
}

bool TBizDatabase::checkSMSForSend(const std::string& aRecipient, std::int64_t aAccountID) {
  return anyPatternMatches("checkSMSForSend", "SMSSERVER_OUTPATTERNS", aRecipient, aAccountID);
}

bool TBizDatabase::checkSMSForUnread(const TVTSMSManagerMessage* aSMS, std::int64_t aAccountID) {
  if (aSMS == nullptr) {
    return false;
  }
  return anyPatternMatches("checkSMSForUnread", "SMSSERVER_INPATTERNS", aSMS->getRecipient(),
                           aAccountID);
}
