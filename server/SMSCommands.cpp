#include "server/SMSCommands.h"

#include "common/AttributedDocument.h"
#include "common/LanguageTools.h"
#include "common/TextEncoding.h"
#include "common/TextTools.h"
#include "common/UniCodeTools.h"
#include "logging/KvLogger.h"
#include "server/CoreLog.h"

#include <nlohmann/json.hpp>

namespace {

constexpr int kBase64BufferSize = 500;
constexpr const char* SC_JSONCONTENTTYPE = "application/json; charset=utf-8";

std::string parameterMissing(const std::string& aName) {
  return "400:HTTP-Parameter <" + aName + "> not found, but required.";
}

std::string textTooLong(const ESMSTooManyParts& aError) {
  return "400:message too long: the text needs " + std::to_string(aError.partsNeeded()) +
         " SMS, at most " + std::to_string(aError.maxParts()) + " are allowed";
}

std::string bytesAsHex(const std::vector<std::uint8_t>& aBytes) {
  return encodeHexBytes(
      std::string_view(reinterpret_cast<const char*>(aBytes.data()), aBytes.size()));
}

enum class ESMSKind { Text, Binary, Push };

// "txt", "bin" or "push" in any case; anything else is text.
ESMSKind kindOf(const std::string& aType) {
  const std::string type = lowerAscii(aType);
  if (type == "bin") {
    return ESMSKind::Binary;
  }
  return type == "push" ? ESMSKind::Push : ESMSKind::Text;
}

// What goes to the modem: the text of a text SMS, the bytes of a binary or push SMS, decoded
// from the message as the coding says. Only the form the kind needs is made.
struct TSendRequest {
  ESMSKind Kind = ESMSKind::Text;
  std::string Text;
  std::vector<std::uint8_t> Data;
};

TSendRequest buildSendRequest(ESMSKind aKind, const std::string& aCoding,
                              const std::string& aMessage) {
  TSendRequest request;
  request.Kind = aKind;
  const std::string coding = lowerAscii(aCoding);
  if (aKind == ESMSKind::Text) {
    if (coding == "base64") {
      request.Text = decodeBase64(aMessage);
    } else if (coding == "base16") {
      // Hexadecimal data give no text, but a message that is no hexadecimal text is refused
      // as for the data kinds.
      std::vector<std::uint8_t> unused;
      DecodeHexStringToBA(aMessage, unused);
    } else {
      request.Text = aMessage;
    }
    return request;
  }
  if (coding == "base64") {
    request.Data.resize(kBase64BufferSize);
    request.Data.resize(static_cast<std::size_t>(
        decodeBase64Buf(aMessage, request.Data.data(), kBase64BufferSize)));
  } else if (coding == "base16") {
    DecodeHexStringToBA(aMessage, request.Data);
  } else {
    const std::string bytes = utf8ToLatin1(aMessage);
    request.Data.assign(bytes.begin(), bytes.end());
  }
  return request;
}

std::int64_t readKey(const std::string& aText) {
  std::int64_t key = -1;
  return tryParseInteger(aText, key) ? key : -1;
}

// An account name as a log line shows it: at most 40 characters (the formatter escapes control
// characters).
std::string shownName(const std::string& aName) {
  const std::u32string characters = utf8ToCodePoints(aName);
  if (characters.size() <= 40) {
    return "\"" + aName + "\"";
  }
  return "\"" + codePointsToUtf8(characters.substr(0, 40)) + "...\"";
}

const char* const kCheckModule = "db.checkaccount";

} // namespace

void setSMSCommandAnswer(TWebResponse& aResponse, const std::string& aBody) {
  aResponse.ContentType = "text/txt";
  aResponse.setHeader("Content-Encoding", "ISO-8859-1");
  aResponse.setHeader("encoding", "ISO-8859-1");
  aResponse.Body = utf8ToLatin1(aBody);
}

void TSMSCommands::dispatch(const TWebRequest& aRequest, TWebResponse& aResponse) {
  TKvLogger& logger = Logger();
  const std::string& path = aRequest.Path;
  if (logger.isTrace()) {
    logger.trace(SC_LOGMODULE_SERVERCONTROLLER, "new request \"" + path + "\"...");
  }
  const std::string command = lowerAscii(path);
  using THandler = std::string (TSMSCommands::*)(const TSMSCommandParams&, TWebResponse&);
  THandler handler = nullptr;
  if (command == "/sendsms") {
    handler = &TSMSCommands::processSendSMSSerialModem;
  } else if (command == "/getnewsms") {
    handler = &TSMSCommands::processGetNewSMSSerialModem;
  } else if (command == "/clearmemoryserialmodem") {
    handler = &TSMSCommands::processClearMemorySerialModem;
  }
  if (handler == nullptr) {
    aResponse.Status = 501;
    setSMSCommandAnswer(aResponse, "404");
    if (logger.isWarn()) {
      logger.warn(SC_LOGMODULE_SERVERCONTROLLER, "UNKNOWN request \"" + path + "\", sc=501");
    }
    return;
  }
  if (aRequest.Method != "GET" && aRequest.Method != "POST") {
    // A HEAD is a GET without the body, but a command is no document: running it would
    // deliver or send for an answer nobody reads.
    aResponse.Status = 405;
    aResponse.setHeader("Allow", "GET, POST");
    setSMSCommandAnswer(aResponse, "405");
    if (logger.isWarn()) {
      logger.warn(SC_LOGMODULE_SERVERCONTROLLER,
                  "request \"" + path + "\" with method " + aRequest.Method + " refused, sc=405");
    }
    return;
  }
  try {
    TSMSCommandParams params = readSMSCommandParams(aRequest.QueryFields, aRequest.Body);
    params.ClientAddress = aRequest.RemoteAddr;
    const std::string body = (this->*handler)(params, aResponse);
    if (aResponse.ContentType == SC_JSONCONTENTTYPE) {
      aResponse.Body = body; // UTF-8, as it is
    } else {
      setSMSCommandAnswer(aResponse, body);
    }
    if (logger.isTrace()) {
      logger.trace(SC_LOGMODULE_SERVERCONTROLLER, "request \"" + path + "\" processed, sc=200");
    }
  } catch (const std::exception& e) {
    logger.error(SC_LOGMODULE_HTTPCOMMAND, e.what());
    setSMSCommandAnswer(aResponse, std::string("500:") + e.what());
    logger.error(SC_LOGMODULE_SERVERCONTROLLER,
                 "error processing request \"" + path + "\", sc=501: " + e.what(), KVLCAT_RUNNING,
                 &e);
  }
}

std::string TSMSCommands::processSendSMSSerialModem(const TSMSCommandParams& aParams,
                                                    TWebResponse& aResponse) {
  aResponse.Status = 500;
  if (!fModem.isActive()) {
    aResponse.Status = 404;
    return {};
  }
  std::string refusal;
  int accountId = 0;
  if (!checkAccount(aParams, ACT_SENDSMS, readBooleanParam(aParams.PasswordCoded, true), aResponse,
                    refusal, accountId)) {
    return refusal;
  }
  if (const TParamFault fault = checkSendSMSParams(aParams)) {
    return refuseParam("/sendsms", aParams, fault, aResponse);
  }
  if (aParams.Receiver.empty()) {
    aResponse.Status = 400;
    return parameterMissing("receiver");
  }
  const std::string receiver = normaliseReceiver(aParams.Receiver);
  if (aParams.Message.empty()) {
    aResponse.Status = 400;
    return parameterMissing("message");
  }
  const TSendRequest request =
      buildSendRequest(kindOf(aParams.Type), aParams.Coding, aParams.Message);
  if (checkParamValue(request.Text, IC_MAXMESSAGELENGTH, true) != EParamFault::None) {
    // A decoded text is held to the rules of a plain one.
    return refuseParam("/sendsms", aParams, {"message", EParamFault::ControlCharacters}, aResponse);
  }

  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logger.trace(SC_LOGMODULE_SENDSMSSERIAL, "SMS-TYPE is: \"" + aParams.Type + "\"");
  }
  if (!fStore.checkSMSForSend(receiver, accountId)) {
    aResponse.Status = 403;
    if (logger.isTrace()) {
      logger.trace(SC_LOGMODULE_SENDSMSSERIAL, "send forbidden for recipient=" + receiver +
                                                   " and accountid=" + std::to_string(accountId));
    }
    return "403:no rights to send";
  }
  bool sent = false;
  switch (request.Kind) {
  case ESMSKind::Binary:
    sent = sendMessageSerialModemBinary(receiver, request.Data);
    break;
  case ESMSKind::Push:
    sent = sendMessageSerialModemPush(receiver, request.Data);
    break;
  case ESMSKind::Text:
    try {
      sent = sendMessageSerialModemText(receiver, request.Text);
    } catch (const ESMSTooManyParts& e) {
      aResponse.Status = 400;
      return textTooLong(e);
    }
    break;
  }
  if (!sent) {
    return {};
  }
  aResponse.Status = 200;
  return "200";
}

bool TSMSCommands::sendMessageSerialModemText(const std::string& aReceiver,
                                              const std::string& aMessage) {
  try {
    const int result = fModem.sendSMSText(aReceiver, aMessage, fMaxSMSParts);
    TKvLogger& logger = Logger();
    if (logger.isTrace()) {
      logger.trace(SC_LOGMODULE_SENDSMSSERIAL,
                   result == 0 ? "text sms sent to \"" + aReceiver + "\" text=\"" + aMessage +
                                     "\" successfully"
                               : "fail to send text sms to \"" + aReceiver + "\" text=\"" +
                                     aMessage + "\" -> mobile service provider contract?");
    }
    return result == 0;
  } catch (const ESMSTooManyParts&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
}

bool TSMSCommands::sendMessageSerialModemData(const std::string& aReceiver,
                                              const std::vector<std::uint8_t>& aMessage,
                                              bool aPush) {
  try {
    const int result =
        aPush ? fModem.sendSMSPush(aReceiver, aMessage) : fModem.sendSMSBinary(aReceiver, aMessage);
    TKvLogger& logger = Logger();
    if (logger.isTrace()) {
      const std::string kind = aPush ? "push" : "binary";
      const std::string hex = bytesAsHex(aMessage);
      logger.trace(SC_LOGMODULE_SENDSMSSERIAL,
                   result == 0 ? kind + " sms sent to \"" + aReceiver + "\" data=\"" + hex +
                                     "\" successfully"
                               : "fail to send " + kind + " sms to \"" + aReceiver + "\" text=\"" +
                                     hex + "\" -> mobile service provider contract?");
    }
    return result == 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool TSMSCommands::sendMessageSerialModemBinary(const std::string& aReceiver,
                                                const std::vector<std::uint8_t>& aMessage) {
  return sendMessageSerialModemData(aReceiver, aMessage, false);
}

bool TSMSCommands::sendMessageSerialModemPush(const std::string& aReceiver,
                                              const std::vector<std::uint8_t>& aMessage) {
  return sendMessageSerialModemData(aReceiver, aMessage, true);
}

bool TSMSCommands::checkAccount(const TSMSCommandParams& aParams, TKVSMSSAction aAction,
                                bool aIsMD5, TWebResponse& aResponse, std::string& aRefusal,
                                int& aAccountId) {
  aAccountId = -1;
  const TParamFault fault = checkCredentialParams(aParams);
  const std::string accountKey = "account:" + aParams.User;
  std::vector<std::string> accountKeys;
  if (!fault || fault.Name != "smsusr") {
    accountKeys.push_back(accountKey);
  }
  // Clients of several accounts may share an address: a wrong password from one of them holds
  // back only wrong answers from that address, never a right one.
  const TLogonThrottle::TTicket ticket =
      fThrottle.admit(accountKeys, {"address:" + aParams.ClientAddress});
  if (ticket.Refused) {
    aResponse.Status = 403;
    aRefusal = std::to_string(SSMS_UNAUTHORIZED);
    aResponse.HoldUntil = ticket.CheckAt;
    Logger().warn(kCheckModule, "account " + shownName(aParams.User) + " from " +
                                    aParams.ClientAddress +
                                    " refused unchecked, too many failed logons -> fail");
    return false;
  }
  bool passes = false;
  if (fault) {
    // Such a name or password belongs to no account; it never goes to the database.
    aRefusal = std::to_string(SSMS_UNAUTHORIZED);
    Logger().warn(kCheckModule, "account " + shownName(aParams.User) +
                                    " refused: " + paramFaultText(fault) + " -> fail");
  } else {
    try {
      passes = fStore.checkAccount(aParams.User, aParams.Password, aAction, aRefusal, aAccountId,
                                   aIsMD5);
    } catch (...) {
      fThrottle.passed(ticket, {}); // the database could not tell; the error goes on
      throw;
    }
  }
  if (passes) {
    fThrottle.passed(ticket, {accountKey});
    return true;
  }
  aResponse.Status = 403;
  if (aRefusal == std::to_string(SSMS_UNAUTHORIZED)) {
    aResponse.HoldUntil = fThrottle.failed(ticket);
  } else {
    // The password was right (the account may not do this), or the database could not tell.
    fThrottle.passed(ticket, aRefusal == std::to_string(SSMS_FORBIDDEN)
                                 ? std::vector<std::string>{accountKey}
                                 : std::vector<std::string>{});
  }
  return false;
}

std::string TSMSCommands::refuseParam(const char* aCommand, const TSMSCommandParams& aParams,
                                      const TParamFault& aFault, TWebResponse& aResponse) {
  aResponse.Status = 400;
  const std::string text = paramFaultText(aFault);
  Logger().warn(SC_LOGMODULE_SERVERCONTROLLER, std::string("request \"") + aCommand + "\" from " +
                                                   aParams.ClientAddress +
                                                   " refused, sc=400: " + text);
  return "400:" + text;
}

TCriticalSection& TSMSCommands::unreadLockOf(int aAccountId) {
  TScopedLock lock(fCSUnreadAccounts);
  auto& entry = fUnreadAccountLocks[aAccountId];
  if (!entry) {
    entry = std::make_unique<TCriticalSection>();
  }
  return *entry;
}

std::set<std::int64_t> TSMSCommands::heldBackOf(int aAccountId) const {
  TScopedLock lock(fCSUnreadAccounts);
  const auto found = fHeldBack.find(aAccountId);
  return found == fHeldBack.end() ? std::set<std::int64_t>() : found->second;
}

void TSMSCommands::answerWritten(int aAccountId, const std::vector<std::int64_t>& aKeys,
                                 bool aComplete) {
  TKvLogger& logger = Logger();
  if (aComplete) {
    for (std::size_t i = 0; i < aKeys.size(); ++i) {
      try {
        fStore.deleteSMSUnRead(aKeys[i], aAccountId);
      } catch (const std::exception& e) {
        // Delivered, but still queued: the client may get it once more.
        logger.error(SC_LOGMODULE_GETNEWSMS, "sms id=\"" + std::to_string(aKeys[i]) +
                                                 "\" delivered, but not deleted: " + e.what());
      }
      if (logger.isTrace()) {
        logger.trace(SC_LOGMODULE_GETNEWSMS, "sms id=\"" + std::to_string(aKeys[i]) +
                                                 "\", index=\"" + std::to_string(i) + "\" deleted");
      }
    }
  } else {
    logger.warn(SC_LOGMODULE_GETNEWSMS, "the answer with " + std::to_string(aKeys.size()) +
                                            " sms for accountid=" + std::to_string(aAccountId) +
                                            " was not written completely: they stay queued");
  }
  TScopedLock lock(fCSUnreadAccounts);
  auto found = fHeldBack.find(aAccountId);
  if (found != fHeldBack.end()) {
    for (const std::int64_t key : aKeys) {
      found->second.erase(key);
    }
    if (found->second.empty()) {
      fHeldBack.erase(found);
    }
  }
}

std::string TSMSCommands::processGetNewSMSSerialModem(const TSMSCommandParams& aParams,
                                                      TWebResponse& aResponse) {
  aResponse.Status = 500;
  std::string refusal;
  int accountId = 0;
  if (!checkAccount(aParams, ACT_RECEIVESMS, readBooleanParam(aParams.PasswordCoded, true),
                    aResponse, refusal, accountId)) {
    return refusal;
  }
  if (const TParamFault fault = checkGetNewSMSParams(aParams)) {
    return refuseParam("/getnewsms", aParams, fault, aResponse);
  }
  // One fetch per account at a time; SMS of an answer still on its way are left out, so that
  // two requests of the same account cannot both deliver the same queued SMS.
  TScopedLock accountLock(unreadLockOf(accountId));
  fStore.claimCommitTransaction();
  TSMSList unread;
  fStore.retrieveSMSUnRead(&unread, accountId);
  const std::set<std::int64_t> heldBack = heldBackOf(accountId);
  std::erase_if(
      unread, [&](const TSMSListItem& aItem) { return heldBack.count(readKey(aItem.Text)) != 0; });
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logger.trace(SC_LOGMODULE_GETNEWSMS,
                 "found \"" + std::to_string(unread.size()) + "\" unread sms");
  }
  TAttributedDocument document;
  std::vector<const TVTSMSManagerMessage*> messages;
  std::vector<std::int64_t> keys;
  for (std::size_t i = 0; i < unread.size(); ++i) {
    const TVTSMSManagerMessage& sms = *unread[i].Object;
    const std::string index = std::to_string(i);
    TAttributedDocument record;
    record.addStringAttribute("sender", "Sender", sms.getRecipient());
    record.addStringAttribute("message", "Message", sms.getTheMessage());
    record.addStringAttribute("data", "Data", sms.getMessageDataPDU());
    record.addIntegerAttribute("msgtype", "MsgType", static_cast<int>(sms.getMessageType()));
    record.addIntegerAttribute("msgindex", "MsgIndex", -1);
    record.addIntegerAttribute("msgstate", "MsgState", -1);
    record.addIntegerAttribute("msglength", "MsgLength",
                               static_cast<int>(utf8ToCodePoints(sms.getTheMessage()).size()));
    record.addDateTimeAttribute("msgtime", "MsgTime", sms.getMessageTimestamp());
    document.addRecordAttribute(index, index, record);
    if (logger.isTrace()) {
      logger.trace(SC_LOGMODULE_GETNEWSMS,
                   "unread sms loaded sender=\"" + sms.getRecipient() + "\", time=\"" +
                       coreDateTimeText(sms.getMessageTimestamp()) + "\", msg=\"" +
                       sms.getTheMessage() + "\", index=" + index +
                       ", type=" + (sms.getMessageType() != VTSMSMMT_TEXT ? "binary" : "text"));
    }
    messages.push_back(&sms);
    keys.push_back(readKey(unread[i].Text));
  }
  if (!keys.empty()) {
    {
      TScopedLock lock(fCSUnreadAccounts);
      fHeldBack[accountId].insert(keys.begin(), keys.end());
    }
    // Deleted only once the answer has gone out whole.
    aResponse.OnWritten = [this, accountId, keys](bool aComplete) {
      answerWritten(accountId, keys, aComplete);
    };
  }
  if (lowerAscii(aParams.Format) == "json") {
    aResponse.Status = keys.empty() ? 200 : 201;
    aResponse.ContentType = SC_JSONCONTENTTYPE;
    return unreadSMSAsJSON(messages);
  }
  const std::string content = document.getContent();
  if (content.empty()) {
    aResponse.Status = 200;
    return "200";
  }
  aResponse.Status = 201;
  return "201:" + content;
}

std::string unreadSMSAsJSON(const std::vector<const TVTSMSManagerMessage*>& aMessages) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TVTSMSManagerMessage* sms : aMessages) {
    list.push_back({
        {"sender", sms->getRecipient()},
        {"message", sms->getTheMessage()},
        {"data", sms->getMessageDataPDU()},
        {"msgtype", static_cast<int>(sms->getMessageType())},
        {"msgindex", -1},
        {"msgstate", -1},
        {"msglength", static_cast<int>(utf8ToCodePoints(sms->getTheMessage()).size())},
        {"msgtime", formatDateTime("yyyy\"-\"MM\"-\"dd\"T\"hh\":\"mm\":\"ss\".\"zzz",
                                   sms->getMessageTimestamp(), settings)},
    });
  }
  nlohmann::ordered_json document = {{"messages", list}};
  // Texts that are no valid UTF-8 (they should not occur) are written with U+FFFD.
  return document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string TSMSCommands::processClearMemorySerialModem(const TSMSCommandParams& aParams,
                                                        TWebResponse& aResponse) {
  aResponse.Status = 500;
  std::string refusal;
  int accountId = 0;
  // The password is always taken as the digest here.
  if (!checkAccount(aParams, ACT_CLEARSMSMEMORY, true, aResponse, refusal, accountId)) {
    return refusal;
  }
  if (fModem.clearMemory() != 0) {
    aResponse.Status = 404;
    return "404";
  }
  aResponse.Status = 200;
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logger.trace(SC_LOGMODULE_SENDSMSSERIAL,
                 "sms memory clear done from accountid=" + std::to_string(accountId));
  }
  return "200";
}

std::string describeWebRequest(const TWebRequest* aRequest) {
  if (aRequest == nullptr) {
    return "Request is \"nil\"!";
  }
  const TWebRequest& r = *aRequest;
  const std::pair<const char*, std::string> items[] = {
      {"Method", r.Method},
      {"ProtocolVersion", r.ProtocolVersion},
      {"URL", r.Path},
      {"Query", r.QueryText},
      {"PathInfo", r.Path},
      {"PathTranslated", r.Path},
      {"Authorization", r.getHeader("Authorization")},
      {"CacheControl", r.getHeader("Cache-Control")},
      {"Cookie", r.getHeader("Cookie")},
      {"From", r.getHeader("From")},
      {"Host", r.getHeader("Host")},
      {"Referer", r.getHeader("Referer")},
      {"UserAgent", r.getHeader("User-Agent")},
      {"ContentEncoding", r.getHeader("Content-Encoding")},
      {"ContentType", r.ContentType},
      {"ContentLength", std::to_string(r.Body.size())},
      {"ContentVersion", r.getHeader("Content-Version")},
      {"Content", r.Body},
      {"Connection", r.getHeader("Connection")},
      {"DerivedFrom", r.getHeader("Derived-From")},
      {"Title", r.getHeader("Title")},
      {"RemoteAddr", r.RemoteAddr},
      {"RemoteHost", r.RemoteAddr},
      {"ScriptName", ""},
      {"ServerPort", std::to_string(r.LocalPort)},
      {"InternalPathInfo", r.Path},
      {"InternalScriptName", ""},
  };
  std::string text;
  for (const auto& [name, value] : items) {
    text += std::string(name) + "=" + value + ";";
  }
  return text;
}
