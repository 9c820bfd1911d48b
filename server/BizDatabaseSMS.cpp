// The SMS store of the core's database side: sent, received and unread SMS and the pattern
// tests that route them.
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "logging/KvLogger.h"
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
  const std::int64_t result =
      onConnection("saveSMSOut", "db", true, std::int64_t{-1}, [&]() REQUIRES(fCSDatabase) {
        const std::int64_t key = aID > 0 ? aID : fSMSOutGenerator->getNewValue();
        TFbStatement& insert = preparedStatement(
            "insert into smsserver_out (ID, SMSTYPE, RECIPIENT, SMSTEXT, CREATE_DATE, "
            "ORIGINATOR, SMSENCODING, STATUS_REPORT, FLASH_SMS, SRC_PORT, DST_PORT, PRIORITY, "
            "STATUS, ERRORS, GATEWAY_ID, SMSPDUDATA) values (:varID, :varSMSTYPE, "
            ":varRECIPIENT, :varSMSTEXT, :varCREATE_DATE, :varORIGINATOR, :varSMSENCODING, "
            ":varSTATUS_REPORT, :varFLASH_SMS, :varSRC_PORT, :varDST_PORT, :varPRIORITY, "
            ":varSTATUS, :varERRORS, :varGATEWAY_ID, :varSMSPDUDATA)");
        bindParameter(insert, {key, "O", aRecipient, aText, aCreateDate, "0", encodingText(aType),
                               0, 0, 0, 0, 0, "S", 0, "0", aDataPDU});
        insert.execQuery();
        restartTransaction("saveSMSOut");
        return key;
      });
  if (result < 0) {
    restartWhenNotConnected("saveSMSOut");
  }
  return result;
}

void TBizDatabase::insertSMSIn(std::int64_t aKey, TVTSMSManagerMessageType aType,
                               const std::string& aOriginator, const std::string& aText,
                               const std::string& aDataPDU, TDateTime aMessageDate,
                               TDateTime aReceiveDate, int aIndex, int aState, int aLength) {
  TFbStatement& insert = preparedStatement(
      "insert into smsserver_in (ID, PROCESS, ORIGINATOR, SMSTYPE, SMSENCODING, MESSAGE_DATE, "
      "RECEIVE_DATE, SMSTEXT, GATEWAY_ID, SMSPDUDATA, SMSINDEX, SMSSTATE, SMSLENGTH) values "
      "(:varID, :varPROCESS, :varORIGINATOR, :varSMSTYPE, :varSMSENCODING, :varMESSAGE_DATE, "
      ":varRECEIVE_DATE, :varSMSTEXT, :varGATEWAY_ID, :varSMSPDUDATA, :varSMSINDEX, "
      ":varSMSSTATE, :varSMSLENGTH)");
  bindParameter(insert, {aKey, 1, aOriginator, "I", encodingText(aType), aMessageDate, aReceiveDate,
                         aText, "0", aDataPDU, aIndex, aState, aLength});
  insert.execQuery();
}

void TBizDatabase::insertSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                                   const std::string& aOriginator, const std::string& aText,
                                   const std::string& aDataPDU, TDateTime aMessageDate,
                                   TDateTime aReceiveDate, int aIndex, int aState, int aLength) {
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
}

std::int64_t TBizDatabase::saveSMSIn(TVTSMSManagerMessageType aType, const std::string& aOriginator,
                                     std::int64_t aID, const std::string& aText,
                                     const std::string& aDataPDU, TDateTime aMessageDate,
                                     TDateTime aReceiveDate, int aIndex, int aState, int aLength) {
  const std::int64_t result =
      onConnection("saveSMSIn", "db", true, std::int64_t{-1}, [&]() REQUIRES(fCSDatabase) {
        const std::int64_t key = aID > 0 ? aID : fSMSInGenerator->getNewValue();
        insertSMSIn(key, aType, aOriginator, aText, aDataPDU, aMessageDate, aReceiveDate, aIndex,
                    aState, aLength);
        restartTransaction("saveSMSIn");
        return key;
      });
  if (result < 0) {
    restartWhenNotConnected("saveSMSIn");
  }
  return result;
}

void TBizDatabase::saveSMSUnRead(int aAccountID, TVTSMSManagerMessageType aType, std::int64_t aID,
                                 const std::string& aOriginator, const std::string& aText,
                                 const std::string& aDataPDU, TDateTime aMessageDate,
                                 TDateTime aReceiveDate, int aIndex, int aState, int aLength) {
  const bool saved = onConnection("saveSMSUnRead", "db", true, false, [&]() REQUIRES(fCSDatabase) {
    insertSMSUnRead(aAccountID, aType, aID, aOriginator, aText, aDataPDU, aMessageDate,
                    aReceiveDate, aIndex, aState, aLength);
    restartTransaction("saveSMSUnRead");
    return true;
  });
  if (!saved) {
    restartWhenNotConnected("saveSMSUnRead");
  }
}

std::int64_t TBizDatabase::saveReceivedSMS(const TVTSMSManagerMessage& aSMS,
                                           TDateTime aReceiveDate) {
  return onConnection("saveSMSIn", "db", true, std::int64_t{-1}, [&]() REQUIRES(fCSDatabase) {
    ensureTransaction();
    try {
      // Who gets a copy is read in the same transaction that stores them.
      std::vector<std::string> accounts;
      appendAccountsLocked(accounts);
      std::vector<int> copies;
      for (const std::string& line : accounts) {
        int account = -1;
        if (!tryParseInteger(std::string_view(line).substr(0, line.find('=')), account)) {
          account = -1;
        }
        if (patternMatchesLocked("SMSSERVER_INPATTERNS", aSMS.getRecipient(), account)) {
          copies.push_back(account);
        }
      }
      const std::int64_t key = fSMSInGenerator->getNewValue();
      insertSMSIn(key, aSMS.getMessageType(), aSMS.getRecipient(), aSMS.getTheMessage(),
                  aSMS.getMessageDataPDU(), aSMS.getMessageTimestamp(), aReceiveDate,
                  aSMS.getMessageIndex(), aSMS.getMessageState(), aSMS.getMessageLength());
      for (const int account : copies) {
        try {
          insertSMSUnRead(account, aSMS.getMessageType(), key, aSMS.getRecipient(),
                          aSMS.getTheMessage(), aSMS.getMessageDataPDU(),
                          aSMS.getMessageTimestamp(), aReceiveDate, aSMS.getMessageIndex(),
                          aSMS.getMessageState(), aSMS.getMessageLength());
        } catch (const EFbError& e) {
          if (e.isConnectionLost()) {
            throw;
          }
          // The statement failed alone (Firebird undoes just it): the other copies go on.
          logDatabase(KVLL_ERROR, "smsmodem",
                      std::string("error writing sms to unread table: ") + e.what());
        }
      }
      commitAndStart();
      return key;
    } catch (...) {
      rollbackAndStart(); // neither the row nor any copy stays
      throw;
    }
  });
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
  const std::size_t before = aToStrings->size();
  return guarded("retrieveSMSUnRead", false, true, [&]() REQUIRES(fCSDatabase) {
    aToStrings->resize(before); // a run again after a lost connection starts afresh
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

bool TBizDatabase::patternMatchesLocked(const std::string& aTable, const std::string& aNumber,
                                        std::int64_t aAccountID) {
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
}

bool TBizDatabase::anyPatternMatches(const char* aOperation, const std::string& aTable,
                                     const std::string& aNumber, std::int64_t aAccountID) {
  return guarded(aOperation, false, true, [&]() REQUIRES(fCSDatabase) {
    return patternMatchesLocked(aTable, aNumber, aAccountID);
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
