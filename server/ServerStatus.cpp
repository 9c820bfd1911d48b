// The core as the source of "/status" and "/metrics": who may see them and what they show.
#include "modem/VTSMSManagerSerialModem.h"
#include "server/AdminOperations.h"
#include "server/CoreLog.h"
#include "server/ServerController.h"

#ifndef PARLINO_VERSION
#define PARLINO_VERSION "unknown"
#endif

namespace {

// The modem's identity as the status shows it: "" where the modem did not answer ("[?] ").
std::string known(const std::string& aInfo) {
  return aInfo.rfind("[?]", 0) == 0 ? std::string() : aInfo;
}

} // namespace

IGatewayStatusSource::EAccess TIWServerController::checkAdministrator(const std::string& aUser,
                                                                      const std::string& aPassword,
                                                                      bool aIsMD5) {
  if (!fDatabase->isConnected()) {
    return EAccess::Unavailable;
  }
  int accountId = 0;
  bool active = false;
  int type = 0;
  TDateTime created;
  TDateTime expiration;
  std::int64_t extra = 0;
  if (!fDatabase->getAccountByName(aUser, aPassword, aIsMD5, accountId, active, type, created,
                                   expiration, extra)) {
    return fDatabase->isConnected() ? EAccess::Refused : EAccess::Unavailable;
  }
  const std::optional<TDateTime> expiry =
      expiration.value() > 0 ? std::optional<TDateTime>(expiration) : std::nullopt;
  return type == IC_ACCOUNTTYPE_ADMIN && active && notExpired(expiry) ? EAccess::Administrator
                                                                      : EAccess::Refused;
}

TGatewayStatusSnapshot TIWServerController::statusSnapshot() {
  TGatewayStatusSnapshot status;
  status.Version = PARLINO_VERSION;
  status.UptimeSeconds = fCounters.getUptimeSeconds();
  TVTSMSManagerSerialModem& modem = *SMSSerialModem;
  status.Modem.Active = modem.getActive();
  status.Modem.Manufacturer = known(modem.getModemVendorInfo());
  status.Modem.Model = known(modem.getModemModelInfo());
  status.Modem.SerialNumber = known(modem.getModemSerialNumberInfo());
  status.Modem.Port = modem.serialPort().devicePath();
  const TVTModemNetworkStatus network = modem.getNetworkStatus();
  status.Modem.SignalQuality = network.SignalQuality;
  status.Modem.BitErrorRate = network.BitErrorRate;
  status.Modem.Registration = network.Registration;
  status.Modem.StorageUsed = network.StorageUsed;
  status.Modem.StorageTotal = network.StorageTotal;
  status.DatabaseConnected = fDatabase->isConnected();
  status.Reconnections = fDatabase->getReconnectionCount();
  status.Sent = modem.getSentCount();
  status.SendFailures = modem.getSendFailureCount();
  status.Received = fCounters.getReceived();
  status.DecodeErrors = fCounters.getDecodeErrors();
  status.Requests = fCounters.getRequests();
  try {
    std::vector<TUnreadCount> unread;
    if (retrieveUnreadCounts(*fDatabase, unread)) {
      status.Unread = std::move(unread);
    }
  } catch (const std::exception& e) {
    logToFile(KVLL_ERROR, SC_LOGMODULE_SERVERCONTROLLER,
              std::string("status: the unread queues cannot be read: ") + e.what());
  }
  status.LastSend = fCounters.getLastSend();
  status.LastReceive = fCounters.getLastReceive();
  return status;
}
