#include "server/GatewayStatus.h"

#include "common/LanguageTools.h"
#include "common/SystemTools.h"
#include "common/TextEncoding.h"
#include "common/UniCodeTools.h"
#include "logging/KvLogger.h"
#include "server/Accounts.h"
#include "server/CoreLog.h"
#include "server/HTTPParams.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <chrono>

namespace {

using TJson = nlohmann::ordered_json;

constexpr const char* SC_JSONTYPE = "application/json; charset=utf-8";
constexpr const char* SC_METRICSTYPE = "text/plain; version=0.0.4; charset=utf-8";

// The signal strength in dBm of an AT+CSQ value 0..31 (0 stands for -113 or less, 31 for -51
// or more); nothing for 99 or a value never read.
std::optional<int> signalDbm(int aRssi) {
  if (aRssi < 0 || aRssi > 31) {
    return std::nullopt;
  }
  return -113 + 2 * aRssi;
}

std::string withoutBlanks(const std::string& aText) {
  const auto first = aText.find_first_not_of(" \t");
  const auto last = aText.find_last_not_of(" \t");
  return first == std::string::npos ? std::string() : aText.substr(first, last - first + 1);
}

std::string isoTime(TDateTime aUTC) {
  TFormatSettings settings;
  initGermanFormatSettings(settings);
  return formatDateTime("yyyy\"-\"MM\"-\"dd\"T\"hh\":\"mm\":\"ss\".\"zzz\"Z\"", aUTC, settings);
}

TJson timeOrNull(const std::optional<TDateTime>& aTime) {
  return aTime ? TJson(isoTime(*aTime)) : TJson(nullptr);
}

double unixSeconds(TDateTime aUTC) {
  return std::chrono::duration<double>(aUTC.toSystemClock().time_since_epoch()).count();
}

// A number as short as it can be written and read back exactly.
std::string number(double aValue) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, aValue);
  return error == std::errc() ? std::string(buffer, end) : std::string("NaN");
}

// A label value of the text format: backslash, double quote and line feed escaped.
std::string labelValue(const std::string& aText) {
  std::string escaped;
  for (const char c : aText) {
    if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else if (c == '\n') {
      escaped += "\\n";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// One metric family of the text format.
class TMetricsText {
public:
  void family(const std::string& aName, const char* aType, const std::string& aHelp) {
    fText += "# HELP " + aName + " " + aHelp + "\n# TYPE " + aName + " " + aType + "\n";
  }
  void sample(const std::string& aName, const std::string& aLabels, const std::string& aValue) {
    fText += aName + (aLabels.empty() ? "" : "{" + aLabels + "}") + " " + aValue + "\n";
  }
  void single(const std::string& aName, const char* aType, const std::string& aHelp,
              const std::string& aValue) {
    family(aName, aType, aHelp);
    sample(aName, "", aValue);
  }
  const std::string& text() const { return fText; }

private:
  std::string fText;
};

} // namespace

std::string registrationText(int aStatus) {
  switch (aStatus) {
  case 0:
    return "not registered";
  case 1:
    return "registered, home network";
  case 2:
    return "searching";
  case 3:
    return "registration denied";
  case 4:
    return "unknown";
  case 5:
    return "registered, roaming";
  default:
    return {};
  }
}

std::string gatewayStatusJSON(const TGatewayStatusSnapshot& aStatus) {
  const TGatewayStatusSnapshot::TModem& modem = aStatus.Modem;
  TJson signal = nullptr;
  if (const auto dbm = signalDbm(modem.SignalQuality)) {
    signal = {{"rssi", modem.SignalQuality}, {"dbm", *dbm}, {"bitErrorRate", modem.BitErrorRate}};
  }
  TJson registration = nullptr;
  if (modem.Registration >= 0) {
    registration = {{"status", modem.Registration}, {"text", registrationText(modem.Registration)}};
  }
  TJson storage = nullptr;
  if (modem.StorageTotal >= 0) {
    storage = {{"used", modem.StorageUsed}, {"total", modem.StorageTotal}};
  }
  TJson requests = TJson::array();
  for (const auto& request : aStatus.Requests) {
    requests.push_back(
        {{"command", request.Command}, {"status", request.Status}, {"count", request.Count}});
  }
  TJson unread = nullptr;
  if (aStatus.Unread) {
    unread = TJson::array();
    for (const TUnreadCount& queue : *aStatus.Unread) {
      unread.push_back(
          {{"accountId", queue.AccountID}, {"account", queue.AccountName}, {"count", queue.Count}});
    }
  }
  const TJson document = {
      {"version", aStatus.Version},
      {"uptimeSeconds", aStatus.UptimeSeconds},
      {"modem",
       {{"active", modem.Active},
        {"manufacturer", modem.Manufacturer},
        {"model", modem.Model},
        {"serialNumber", modem.SerialNumber},
        {"port", modem.Port},
        {"signal", signal},
        {"registration", registration},
        {"storage", storage}}},
      {"database",
       {{"connected", aStatus.DatabaseConnected}, {"reconnections", aStatus.Reconnections}}},
      {"counts",
       {{"sent", aStatus.Sent},
        {"sendFailures", aStatus.SendFailures},
        {"received", aStatus.Received},
        {"decodeErrors", aStatus.DecodeErrors},
        {"httpRequests", requests}}},
      {"unread", unread},
      {"lastSend", timeOrNull(aStatus.LastSend)},
      {"lastReceive", timeOrNull(aStatus.LastReceive)},
  };
  return document.dump(-1, ' ', false, TJson::error_handler_t::replace);
}

std::string gatewayStatusMetrics(const TGatewayStatusSnapshot& aStatus) {
  const TGatewayStatusSnapshot::TModem& modem = aStatus.Modem;
  TMetricsText m;
  m.family("parlino_info", "gauge", "The version of the gateway.");
  m.sample("parlino_info", "version=\"" + labelValue(aStatus.Version) + "\"", "1");
  m.single("parlino_uptime_seconds", "gauge", "Seconds since the gateway started.",
           number(aStatus.UptimeSeconds));

  m.single("parlino_modem_active", "gauge", "Whether the modem is active (1) or not (0).",
           modem.Active ? "1" : "0");
  m.family("parlino_modem_info", "gauge", "The identity and the port of the modem.");
  m.sample("parlino_modem_info",
           "manufacturer=\"" + labelValue(modem.Manufacturer) + "\",model=\"" +
               labelValue(modem.Model) + "\",serial_number=\"" + labelValue(modem.SerialNumber) +
               "\",port=\"" + labelValue(modem.Port) + "\"",
           "1");
  if (const auto dbm = signalDbm(modem.SignalQuality)) {
    m.single("parlino_modem_signal_quality", "gauge",
             "Received signal strength as the modem reports it with AT+CSQ (0 to 31).",
             std::to_string(modem.SignalQuality));
    m.single("parlino_modem_signal_dbm", "gauge", "Received signal strength in dBm.",
             std::to_string(*dbm));
  }
  if (modem.Registration >= 0) {
    m.single("parlino_modem_registration_status", "gauge",
             "Network registration from AT+CREG? (0 not registered, 1 home network, "
             "2 searching, 3 denied, 4 unknown, 5 roaming).",
             std::to_string(modem.Registration));
  }
  if (modem.StorageTotal >= 0) {
    m.single("parlino_modem_storage_used_messages", "gauge",
             "Message slots of the modem's storage in use.", std::to_string(modem.StorageUsed));
    m.single("parlino_modem_storage_size_messages", "gauge",
             "Message slots of the modem's storage.", std::to_string(modem.StorageTotal));
  }

  m.single("parlino_database_connected", "gauge",
           "Whether the database is connected (1) or not (0).",
           aStatus.DatabaseConnected ? "1" : "0");
  m.single("parlino_database_reconnections_total", "counter",
           "Database connections restored since the start.", std::to_string(aStatus.Reconnections));

  m.single("parlino_sms_sent_total", "counter", "SMS sent since the start.",
           std::to_string(aStatus.Sent));
  m.single("parlino_sms_send_failures_total", "counter", "Sends that failed since the start.",
           std::to_string(aStatus.SendFailures));
  m.single("parlino_sms_received_total", "counter", "SMS received and stored since the start.",
           std::to_string(aStatus.Received));
  m.single("parlino_sms_decode_errors_total", "counter",
           "Received PDUs that could not be decoded since the start.",
           std::to_string(aStatus.DecodeErrors));
  if (!aStatus.Requests.empty()) {
    m.family("parlino_http_requests_total", "counter",
             "HTTP requests of the commands since the start, by command and status.");
    for (const auto& request : aStatus.Requests) {
      m.sample("parlino_http_requests_total",
               "command=\"" + labelValue(request.Command) + "\",status=\"" +
                   std::to_string(request.Status) + "\"",
               std::to_string(request.Count));
    }
  }
  if (aStatus.Unread) {
    m.family("parlino_sms_unread", "gauge", "SMS queued for an account and not fetched yet.");
    for (const TUnreadCount& queue : *aStatus.Unread) {
      m.sample("parlino_sms_unread",
               "account=\"" + labelValue(queue.AccountName) + "\",account_id=\"" +
                   std::to_string(queue.AccountID) + "\"",
               std::to_string(queue.Count));
    }
  }
  if (aStatus.LastSend) {
    m.single("parlino_last_send_timestamp_seconds", "gauge",
             "Time of the last SMS sent, in seconds since 1970 (UTC).",
             number(unixSeconds(*aStatus.LastSend)));
  }
  if (aStatus.LastReceive) {
    m.single("parlino_last_receive_timestamp_seconds", "gauge",
             "Time of the last SMS received, in seconds since 1970 (UTC).",
             number(unixSeconds(*aStatus.LastReceive)));
  }
  return m.text();
}

bool TGatewayHealth::dispatch(const TWebRequest& aRequest, TWebResponse& aResponse) {
  const std::string path = lowerAscii(aRequest.Path);
  if (path != "/status" && path != "/metrics") {
    return false;
  }
  aResponse.setHeader("Cache-Control", "no-store");
  if (!mayShow(aRequest)) {
    aResponse.Status = 403;
    aResponse.Body.clear();
    return true;
  }
  const TGatewayStatusSnapshot status = fSource.statusSnapshot();
  aResponse.Status = 200;
  if (path == "/status") {
    aResponse.ContentType = SC_JSONTYPE;
    aResponse.Body = gatewayStatusJSON(status);
  } else {
    aResponse.ContentType = SC_METRICSTYPE;
    aResponse.Body = gatewayStatusMetrics(status);
  }
  return true;
}

bool TGatewayHealth::mayShow(const TWebRequest& aRequest) {
  std::string user;
  std::string password;
  bool isMD5 = true;
  const std::string authorization = aRequest.getHeader("Authorization");
  if (lowerAscii(authorization.substr(0, 6)) == "basic ") {
    const std::string credentials = decodeBase64Bytes(withoutBlanks(authorization.substr(6)));
    const auto colon = credentials.find(':');
    if (colon != std::string::npos) {
      user = credentials.substr(0, colon);
      password = credentials.substr(colon + 1);
      isMD5 = false;
    }
  } else {
    const TSMSCommandParams params = readSMSCommandParams(aRequest.QueryFields, aRequest.Body);
    user = params.User;
    password = params.Password;
    isMD5 = readBooleanParam(params.PasswordCoded, true);
  }
  if (user.empty()) {
    return false;
  }
  const std::string digest = isMD5 ? password : encodeMD5(password);
  IGatewayStatusSource::EAccess access = IGatewayStatusSource::EAccess::Refused;
  try {
    access = fSource.checkAdministrator(user, password, isMD5);
  } catch (const std::exception& e) {
    Logger().error(SC_LOGMODULE_SERVERCONTROLLER, std::string("status: ") + e.what());
    access = IGatewayStatusSource::EAccess::Unavailable;
  }
  TScopedLock lock(fCSVerified);
  switch (access) {
  case IGatewayStatusSource::EAccess::Administrator:
    fVerified[user] = digest;
    return true;
  case IGatewayStatusSource::EAccess::Unavailable: {
    const auto found = fVerified.find(user);
    return found != fVerified.end() && found->second == digest;
  }
  case IGatewayStatusSource::EAccess::Refused:
    break;
  }
  fVerified.erase(user);
  return false;
}
