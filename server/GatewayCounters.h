#pragma once

#include "common/DateTime.h"
#include "platform/Locks.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the gateway counts since its start for its status and metrics: SMS received and
// stored, PDUs that could not be decoded, the times of the last send and the last receive,
// and the HTTP requests of the core's hook by command and status. (Sends and failed sends
// are counted by the modem's manager.)
// Threads: any. The numbers are atomics; fCSRequests, a leaf, guards the request counts.
class TGatewayCounters {
public:
  struct TRequestCount {
    std::string Command; // "/sendsms", "/getnewsms", ..., or "other"
    int Status = 0;
    std::uint64_t Count = 0;
  };

  TGatewayCounters() : fStarted(std::chrono::steady_clock::now()) {}

  void countReceived(TDateTime aWhenUTC);
  void countDecodeError() { ++fDecodeErrors; }
  void countSent(TDateTime aWhenUTC) { fLastSendMs = aWhenUTC.totalMilliseconds(); }
  // aPath as requested; commands are told apart without regard to case, any other path is
  // counted as "other" (so that random paths cannot grow the table).
  void countRequest(const std::string& aPath, int aStatus) EXCLUDES(fCSRequests);

  std::uint64_t getReceived() const { return fReceived; }
  std::uint64_t getDecodeErrors() const { return fDecodeErrors; }
  std::optional<TDateTime> getLastSend() const { return timeOf(fLastSendMs); }
  std::optional<TDateTime> getLastReceive() const { return timeOf(fLastReceiveMs); }
  // By command, then status.
  std::vector<TRequestCount> getRequests() const EXCLUDES(fCSRequests);
  double getUptimeSeconds() const;

private:
  static std::optional<TDateTime> timeOf(std::int64_t aMs);

  std::chrono::steady_clock::time_point fStarted;
  std::atomic<std::uint64_t> fReceived{0};
  std::atomic<std::uint64_t> fDecodeErrors{0};
  std::atomic<std::int64_t> fLastSendMs{-1};
  std::atomic<std::int64_t> fLastReceiveMs{-1};
  mutable TCriticalSection fCSRequests;
  std::map<std::pair<std::string, int>, std::uint64_t> fRequests GUARDED_BY(fCSRequests);
};
