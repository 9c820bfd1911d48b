// The HTTP command interface of the core: "/sendsms", "/getnewsms", "/clearmemoryserialmodem".
#include "common/AttributedDocument.h"
#include "common/LanguageTools.h"
#include "common/TextEncoding.h"
#include "common/UniCodeTools.h"
#include "logging/KvLogger.h"
#include "modem/VTSMSManagerSerialModem.h"
#include "server/HTTPParams.h"
#include "server/ServerController.h"

#include <charconv>

namespace {

constexpr const char* kModule = "servercontroller";
constexpr int kBase64BufferSize = 500;

std::string parameterMissing(const std::string& aName) {
  return "400:HTTP-Parameter <" + aName + "> not found, but required.";
}

std::string bytesAsHex(const std::vector<std::uint8_t>& aBytes) {
  return encodeHexBytes(
      std::string_view(reinterpret_cast<const char*>(aBytes.data()), aBytes.size()));
}

std::vector<std::uint8_t> latin1Bytes(const std::string& aText) {
  const std::string bytes = utf8ToLatin1(aText);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The answer headers every command carries; the body goes out one byte per character.
void setCommandAnswer(TWebResponse& aResponse, const std::string& aBody) {
  aResponse.ContentType = "text/txt";
  aResponse.setHeader("Content-Encoding", "ISO-8859-1");
  aResponse.setHeader("encoding", "ISO-8859-1");
  aResponse.Body = utf8ToLatin1(aBody);
}

std::string defaultDateTimeText(TDateTime aValue) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  return formatDateTime("dd.MM.yyyy hh:mm:ss", aValue, settings);
}

std::int64_t readKey(const std::string& aText) {
  std::int64_t key = -1;
  const auto [end, ec] = std::from_chars(aText.data(), aText.data() + aText.size(), key);
  return ec == std::errc() && end == aText.data() + aText.size() ? key : -1;
}

} // namespace

std::string TIWServerController::getHTTPParam(const TWebRequest& ARequestInfo,
                                              const std::string& aParamName) const {
  try {
    return ::getHTTPParam(ARequestInfo.QueryFields, ARequestInfo.Body, aParamName);
  } catch (const std::exception&) {
    return {};
  }
}

void TIWServerController::IWServerControllerBaseInvalidCommand(const TWebRequest& ARequest,
                                                               TWebResponse& AResponse) {
  TKvLogger& logger = Logger();
  const std::string path = ARequest.Path;
  if (logger.isTrace()) {
    logger.trace(kModule, "new request \"" + path + "\"...");
  }
  const std::string command = lowerAscii(path);
  using THandler = std::string (TIWServerController::*)(const TWebRequest&, TWebResponse&);
  THandler handler = nullptr;
  if (command == "/sendsms") {
    handler = &TIWServerController::processSendSMSSerialModem;
  } else if (command == "/getnewsms") {
    handler = &TIWServerController::processGetNewSMSSerialModem;
  } else if (command == "/clearmemoryserialmodem") {
    handler = &TIWServerController::processClearMemorySerialModem;
  }
  if (handler == nullptr) {
    AResponse.Status = 501;
    setCommandAnswer(AResponse, "404");
    if (logger.isWarn()) {
      logger.warn(kModule, "UNKNOWN request \"" + path + "\", sc=501");
    }
    return;
  }
  try {
    const std::string body = (this->*handler)(ARequest, AResponse);
    setCommandAnswer(AResponse, body);
    if (logger.isTrace()) {
      logger.trace(kModule, "request \"" + path + "\" processed, sc=200");
    }
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, "httpcommand", e.what());
    setCommandAnswer(AResponse, std::string("500:") + e.what());
    logger.error(kModule, "error processing request \"" + path + "\", sc=501: " + e.what(),
                 KVLCAT_RUNNING, &e);
  }
}

std::string TIWServerController::processSendSMSSerialModem(const TWebRequest& ARequestInfo,
                                                           TWebResponse& AResponseInfo) {
  AResponseInfo.Status = 500;
  bool active = false;
  {
    std::lock_guard lock(*fCSSerialConnection);
    active = SMSSerialModem->getActive();
  }
  if (!active) {
    AResponseInfo.Status = 404;
    return {};
  }
  const std::string user = getHTTPParam(ARequestInfo, "smsusr");
  const std::string password = getHTTPParam(ARequestInfo, "smspwd");
  const bool isMD5 = readBooleanParam(getHTTPParam(ARequestInfo, "smspwdcoded"), true);
  std::string checkText;
  int accountId = 0;
  if (!fDatabase->checkAccount(user, password, ACT_SENDSMS, checkText, accountId, isMD5)) {
    AResponseInfo.Status = 403;
    return checkText;
  }
  std::string receiver = getHTTPParam(ARequestInfo, "receiver");
  if (receiver.empty()) {
    AResponseInfo.Status = 400;
    return parameterMissing("receiver");
  }
  receiver = normaliseReceiver(receiver);
  const std::string message = getHTTPParam(ARequestInfo, "message");
  if (message.empty()) {
    AResponseInfo.Status = 400;
    return parameterMissing("message");
  }

  std::string text;
  std::vector<std::uint8_t> data;
  const std::string coding = lowerAscii(getHTTPParam(ARequestInfo, "coding"));
  if (coding == "base64") {
    text = decodeBase64(message);
    data.resize(kBase64BufferSize);
    data.resize(static_cast<std::size_t>(decodeBase64Buf(message, data.data(), kBase64BufferSize)));
  } else if (coding == "base16") {
    DecodeHexStringToBA(message, data);
  } else {
    text = message;
    data = latin1Bytes(message);
  }

  TKvLogger& logger = Logger();
  const std::string type = getHTTPParam(ARequestInfo, "type");
  if (logger.isTrace()) {
    logger.trace("sendsmsserial", "SMS-TYPE is: \"" + type + "\"");
  }
  if (!fDatabase->checkSMSForSend(receiver, accountId)) {
    AResponseInfo.Status = 403;
    if (logger.isTrace()) {
      logger.trace("sendsmsserial", "send forbidden for recipient=" + receiver +
                                        " and accountid=" + std::to_string(accountId));
    }
    return "403:no rights to send";
  }
  const std::string kind = lowerAscii(type);
  bool sent = false;
  if (kind == "bin") {
    sent = sendMessageSerialModemBinary(receiver, data);
  } else if (kind == "push") {
    sent = sendMessageSerialModemPush(receiver, data);
  } else {
    sent = sendMessageSerialModemText(receiver, text);
  }
  if (!sent) {
    return {};
  }
  AResponseInfo.Status = 200;
  return "200";
}

bool TIWServerController::sendMessageSerialModemText(const std::string& aReceiver,
                                                     const std::string& aMessage) {
  try {
    int result = 0;
    {
      std::lock_guard lock(*fCSSerialConnection);
      result = SMSSerialModem->sendSMSText(aReceiver, aMessage);
    }
    TKvLogger& logger = Logger();
    if (logger.isTrace()) {
      logger.trace("sendsmsserial", result == 0
                                        ? "text sms sent to \"" + aReceiver + "\" text=\"" +
                                              aMessage + "\" successfully"
                                        : "fail to send text sms to \"" + aReceiver + "\" text=\"" +
                                              aMessage + "\" -> mobile service provider contract?");
    }
    return result == 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool TIWServerController::sendMessageSerialModemData(const std::string& aReceiver,
                                                     const std::vector<std::uint8_t>& aMessage,
                                                     bool aPush) {
  try {
    int result = 0;
    {
      std::lock_guard lock(*fCSSerialConnection);
      result = aPush ? SMSSerialModem->sendSMSPush(aReceiver, aMessage)
                     : SMSSerialModem->sendSMSBinary(aReceiver, aMessage);
    }
    TKvLogger& logger = Logger();
    if (logger.isTrace()) {
      const std::string kind = aPush ? "push" : "binary";
      const std::string hex = bytesAsHex(aMessage);
      logger.trace("sendsmsserial", result == 0 ? kind + " sms sent to \"" + aReceiver +
                                                      "\" data=\"" + hex + "\" successfully"
                                                : "fail to send " + kind + " sms to \"" +
                                                      aReceiver + "\" text=\"" + hex +
                                                      "\" -> mobile service provider contract?");
    }
    return result == 0;
  } catch (const std::exception&) {
    return false;
  }
}

bool TIWServerController::sendMessageSerialModemBinary(const std::string& aReceiver,
                                                       const std::vector<std::uint8_t>& aMessage) {
  return sendMessageSerialModemData(aReceiver, aMessage, false);
}

bool TIWServerController::sendMessageSerialModemPush(const std::string& aReceiver,
                                                     const std::vector<std::uint8_t>& aMessage) {
  return sendMessageSerialModemData(aReceiver, aMessage, true);
}

std::mutex& TIWServerController::unreadLockOf(int aAccountId) {
  std::lock_guard lock(fCSUnreadAccounts);
  auto& entry = fUnreadAccountLocks[aAccountId];
  if (!entry) {
    entry = std::make_unique<std::mutex>();
  }
  return *entry;
}

std::string TIWServerController::processGetNewSMSSerialModem(const TWebRequest& ARequestInfo,
                                                             TWebResponse& AResponseInfo) {
  AResponseInfo.Status = 500;
  const std::string user = getHTTPParam(ARequestInfo, "smsusr");
  const std::string password = getHTTPParam(ARequestInfo, "smspwd");
  const bool isMD5 = readBooleanParam(getHTTPParam(ARequestInfo, "smspwdcoded"), true);
  std::string checkText;
  int accountId = 0;
  if (!fDatabase->checkAccount(user, password, ACT_RECEIVESMS, checkText, accountId, isMD5)) {
    AResponseInfo.Status = 403;
    return checkText;
  }
  // One fetch-and-delete per account at a time, so that two requests of the same account
  // cannot both deliver the same queued SMS.
  std::lock_guard accountLock(unreadLockOf(accountId));
  fDatabase->claimCommitTransaction();
  TSMSList unread;
  fDatabase->retrieveSMSUnRead(&unread, accountId);
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logToFile(KVLL_TRACE, "getnewsms",
              "found \"" + std::to_string(unread.size()) + "\" unread sms");
  }
  TAttributedDocument document;
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
      logToFile(KVLL_TRACE, "getnewsms",
                "unread sms loaded sender=\"" + sms.getRecipient() + "\", time=\"" +
                    defaultDateTimeText(sms.getMessageTimestamp()) + "\", msg=\"" +
                    sms.getTheMessage() + "\", index=" + index +
                    ", type=" + (sms.getMessageType() != VTSMSMMT_TEXT ? "binary" : "text"));
    }
    const std::int64_t key = readKey(unread[i].Text);
    fDatabase->deleteSMSUnRead(key, accountId);
    if (logger.isTrace()) {
      logToFile(KVLL_TRACE, "getnewsms",
                "sms id=\"" + std::to_string(key) + "\", index=\"" + index + "\" deleted");
    }
  }
  const std::string content = document.getContent();
  if (content.empty()) {
    AResponseInfo.Status = 200;
    return "200";
  }
  AResponseInfo.Status = 201;
  return "201:" + content;
}

std::string TIWServerController::processClearMemorySerialModem(const TWebRequest& ARequestInfo,
                                                               TWebResponse& AResponseInfo) {
  AResponseInfo.Status = 500;
  const std::string user = getHTTPParam(ARequestInfo, "smsusr");
  const std::string password = getHTTPParam(ARequestInfo, "smspwd");
  std::string checkText;
  int accountId = 0;
  if (!fDatabase->checkAccount(user, password, ACT_CLEARSMSMEMORY, checkText, accountId, true)) {
    AResponseInfo.Status = 403;
    return checkText;
  }
  if (SMSSerialModem->deleteSMSs(nullptr) != 0) {
    AResponseInfo.Status = 404;
    return "404";
  }
  AResponseInfo.Status = 200;
  TKvLogger& logger = Logger();
  if (logger.isTrace()) {
    logger.trace("sendsmsserial",
                 "sms memory clear done from accountid=" + std::to_string(accountId));
  }
  return "200";
}

std::string TIWServerController::getLogRequestInfo(const TWebRequest* ARequest) const {
  if (ARequest == nullptr) {
    return "Request is \"nil\"!";
  }
  const TWebRequest& r = *ARequest;
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
