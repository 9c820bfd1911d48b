#include "server/GatewayCounters.h"

#include "common/TextEncoding.h"

namespace {

// The paths the core answers itself; anything else is one "other".
constexpr const char* kCommands[] = {"/sendsms", "/getnewsms", "/clearmemoryserialmodem", "/status",
                                     "/metrics"};

} // namespace

void TGatewayCounters::countReceived(TDateTime aWhenUTC) {
  ++fReceived;
  fLastReceiveMs = aWhenUTC.totalMilliseconds();
}

void TGatewayCounters::countRequest(const std::string& aPath, int aStatus) {
  std::string command = "other";
  const std::string path = lowerAscii(aPath);
  for (const char* known : kCommands) {
    if (path == known) {
      command = known;
    }
  }
  TScopedLock lock(fCSRequests);
  ++fRequests[{command, aStatus}];
}

std::vector<TGatewayCounters::TRequestCount> TGatewayCounters::getRequests() const {
  TScopedLock lock(fCSRequests);
  std::vector<TRequestCount> counts;
  for (const auto& [key, count] : fRequests) {
    counts.push_back({key.first, key.second, count});
  }
  return counts;
}

double TGatewayCounters::getUptimeSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - fStarted).count();
}

std::optional<TDateTime> TGatewayCounters::timeOf(std::int64_t aMs) {
  if (aMs < 0) {
    return std::nullopt;
  }
  return TDateTime::fromMilliseconds(aMs);
}
