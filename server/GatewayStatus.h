#pragma once

#include "common/DateTime.h"
#include "platform/Locks.h"
#include "server/AdminOperations.h"
#include "server/GatewayCounters.h"
#include "webframework/WebRequest.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The gateway's state at one moment, as "/status" and "/metrics" show it. Plain data.
struct TGatewayStatusSnapshot {
  struct TModem {
    bool Active = false;
    std::string Manufacturer; // empty when not known
    std::string Model;
    std::string SerialNumber;
    std::string Port;       // the serial device, "/dev/parlino/COM1"
    int SignalQuality = -1; // AT+CSQ: 0..31, 99 not known; -1 never read
    int BitErrorRate = -1;
    int Registration = -1; // AT+CREG?: 0..5; -1 never read
    int StorageUsed = -1;
    int StorageTotal = -1;
  };
  std::string Version;
  double UptimeSeconds = 0;
  TModem Modem;
  bool DatabaseConnected = false;
  int Reconnections = 0;
  std::uint64_t Sent = 0;
  std::uint64_t SendFailures = 0;
  std::uint64_t Received = 0;
  std::uint64_t DecodeErrors = 0;
  std::vector<TGatewayCounters::TRequestCount> Requests;
  // The unread queue per account; absent when the database could not be read.
  std::optional<std::vector<TUnreadCount>> Unread;
  std::optional<TDateTime> LastSend; // UTC
  std::optional<TDateTime> LastReceive;
};

// The snapshot as the JSON document of "/status" (nlohmann-json):
//   {"version":"0.1","uptimeSeconds":12.5,"modem":{"active":true,"manufacturer":"ACME",
//    "model":"M1","serialNumber":"1","port":"/dev/parlino/COM1","signal":{"rssi":21,
//    "dbm":-71,"bitErrorRate":99},"registration":{"status":1,"text":"registered, home
//    network"},"storage":{"used":0,"total":10}},"database":{"connected":true,
//    "reconnections":0},"counts":{"sent":1,"sendFailures":0,"received":2,"decodeErrors":0,
//    "httpRequests":[{"command":"/sendsms","status":200,"count":1}]},"unread":[{"accountId":2,
//    "account":"anna","count":1}],"lastSend":"2026-03-04T05:06:07.089Z","lastReceive":null}
// Values not known are null ("signal" when the modem never said or said 99).
std::string gatewayStatusJSON(const TGatewayStatusSnapshot& aStatus);
// The snapshot in the Prometheus text format (version 0.0.4): every family with HELP and
// TYPE, counters ending in "_total", label values escaped; families whose value is not
// known are left out.
std::string gatewayStatusMetrics(const TGatewayStatusSnapshot& aStatus);
// "registered, home network" and the other texts of the AT+CREG? status; "" for others.
std::string registrationText(int aStatus);

// Where the status comes from, and who may see it. Implemented by the server core; tests
// use an in-memory source.
class IGatewayStatusSource {
public:
  enum class EAccess { Administrator, Refused, Unavailable };
  virtual ~IGatewayStatusSource() = default;
  // Whether the account may see the status: an active administration account (type 255)
  // whose password matches (aPassword is the digest when aIsMD5). Unavailable: the accounts
  // cannot be read now (no database).
  virtual EAccess checkAdministrator(const std::string& aUser, const std::string& aPassword,
                                     bool aIsMD5) = 0;
  virtual TGatewayStatusSnapshot statusSnapshot() = 0;
};

// "/status" and "/metrics" on the HTTP port. The account comes as smsusr and smspwd (the
// digest unless smspwdcoded is false) or with HTTP basic authentication (name and plain
// password). An administration account gets the status; anyone else 403 and an empty body.
// While the database cannot be read, credentials that passed while it could are still
// taken (monitoring goes on during an outage); nothing else is.
// Threads: any number of HTTP workers. fCSVerified, a leaf, guards the credentials that
// passed. The source is not owned and outlives the handler.
class TGatewayHealth {
public:
  explicit TGatewayHealth(IGatewayStatusSource& aSource) : fSource(aSource) {}

  // Answers the request when its path is "/status" or "/metrics" (any case); false for any
  // other path, which is left alone.
  bool dispatch(const TWebRequest& aRequest, TWebResponse& aResponse) EXCLUDES(fCSVerified);

private:
  bool mayShow(const TWebRequest& aRequest) EXCLUDES(fCSVerified);

  IGatewayStatusSource& fSource;
  TCriticalSection fCSVerified;
  std::map<std::string, std::string> fVerified GUARDED_BY(fCSVerified); // name -> digest
};
