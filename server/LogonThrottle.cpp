#include "server/LogonThrottle.h"

#include <algorithm>

TLogonThrottle::TLogonThrottle(TLogonThrottleSettings aSettings, TClock aClock)
    : fSettings(aSettings), fClock(std::move(aClock)) {
  if (!fClock) {
    fClock = [] { return std::chrono::steady_clock::now(); };
  }
}

std::chrono::milliseconds TLogonThrottle::delayFor(int aFailures) const {
  if (aFailures <= 0) {
    return std::chrono::milliseconds(0);
  }
  std::chrono::milliseconds delay = fSettings.FirstDelay;
  for (int i = 1; i < aFailures && delay < fSettings.MaxDelay; ++i) {
    delay *= 2;
  }
  return std::min(delay, fSettings.MaxDelay);
}

void TLogonThrottle::forgetOldFailures(TRecord& aRecord, TTimePoint aNow) const {
  if (aRecord.Failures > 0 && aNow - aRecord.LastFailure >= fSettings.ForgetAfter) {
    aRecord.Failures = 0;
  }
}

void TLogonThrottle::forgetQuietKeys(TTimePoint aNow) {
  for (auto it = fRecords.begin(); it != fRecords.end();) {
    const bool quiet =
        it->second.NextCheck <= aNow && aNow - it->second.LastUse >= fSettings.ForgetAfter;
    it = quiet ? fRecords.erase(it) : std::next(it);
  }
  while (fRecords.size() >= fSettings.MaxKeys && !fRecords.empty()) {
    auto oldest =
        std::min_element(fRecords.begin(), fRecords.end(), [](const auto& a, const auto& b) {
          return a.second.LastUse < b.second.LastUse;
        });
    fRecords.erase(oldest);
  }
}

TLogonThrottle::TTicket TLogonThrottle::reserve(const std::vector<std::string>& aKeys) {
  TTicket ticket;
  ticket.Keys = aKeys;
  TScopedLock lock(fCSThrottle);
  const TTimePoint now = fClock();
  ticket.CheckAt = now;
  for (const std::string& key : aKeys) {
    const auto found = fRecords.find(key);
    if (found != fRecords.end()) {
      ticket.CheckAt = std::max(ticket.CheckAt, found->second.NextCheck);
    }
  }
  if (ticket.CheckAt - now > fSettings.MaxDelay) {
    ticket.Refused = true;
    return ticket;
  }
  if (fRecords.size() >= fSettings.MaxKeys) {
    forgetQuietKeys(now);
  }
  for (const std::string& key : aKeys) {
    TRecord& record = fRecords[key];
    forgetOldFailures(record, now);
    // The next attempt checks no earlier than this one's failure would allow.
    record.NextCheck = ticket.CheckAt + delayFor(record.Failures + 1);
    record.LastUse = now;
  }
  return ticket;
}

TLogonThrottle::TTicket TLogonThrottle::admit(const std::vector<std::string>& aRefusingKeys,
                                              const std::vector<std::string>& aHoldingKeys) {
  TTicket ticket;
  ticket.Keys = aRefusingKeys;
  ticket.Keys.insert(ticket.Keys.end(), aHoldingKeys.begin(), aHoldingKeys.end());
  TScopedLock lock(fCSThrottle);
  const TTimePoint now = fClock();
  ticket.CheckAt = now;
  for (const std::string& key : aRefusingKeys) {
    const auto found = fRecords.find(key);
    if (found != fRecords.end()) {
      ticket.CheckAt = std::max(ticket.CheckAt, found->second.NextCheck);
    }
  }
  if (ticket.CheckAt > now) {
    ticket.Refused = true;
    return ticket;
  }
  for (const std::string& key : aRefusingKeys) {
    const auto found = fRecords.find(key);
    if (found != fRecords.end()) {
      forgetOldFailures(found->second, now);
    }
    if (found != fRecords.end() && found->second.Failures > 0) {
      // Until this check is done, the key lets no other check through.
      found->second.NextCheck = now + delayFor(found->second.Failures + 1);
      found->second.LastUse = now;
    }
  }
  return ticket;
}

void TLogonThrottle::passed(const TTicket& aTicket, const std::vector<std::string>& aForgotten) {
  TScopedLock lock(fCSThrottle);
  for (const std::string& key : aTicket.Keys) {
    const auto found = fRecords.find(key);
    if (found == fRecords.end()) {
      continue;
    }
    const bool forgotten = std::find(aForgotten.begin(), aForgotten.end(), key) != aForgotten.end();
    if (forgotten || found->second.Failures == 0) {
      fRecords.erase(found);
    } else {
      found->second.NextCheck = found->second.LastFailure + delayFor(found->second.Failures);
    }
  }
}

void TLogonThrottle::succeeded(const TTicket& aTicket) {
  TScopedLock lock(fCSThrottle);
  for (const std::string& key : aTicket.Keys) {
    fRecords.erase(key);
  }
}

TLogonThrottle::TTimePoint TLogonThrottle::failed(const TTicket& aTicket) {
  TScopedLock lock(fCSThrottle);
  const TTimePoint now = fClock();
  if (fRecords.size() + aTicket.Keys.size() > fSettings.MaxKeys) {
    forgetQuietKeys(now);
  }
  std::chrono::milliseconds delay(0);
  for (const std::string& key : aTicket.Keys) {
    TRecord& record = fRecords[key];
    forgetOldFailures(record, now);
    ++record.Failures;
    record.LastUse = now;
    record.LastFailure = now;
    const std::chrono::milliseconds keyDelay = delayFor(record.Failures);
    record.NextCheck = std::max(record.NextCheck, now + keyDelay);
    delay = std::max(delay, keyDelay);
  }
  return now + delay;
}

std::chrono::milliseconds TLogonThrottle::nextDelay(const std::string& aKey) const {
  TScopedLock lock(fCSThrottle);
  const auto found = fRecords.find(aKey);
  return delayFor(found == fRecords.end() ? 1 : found->second.Failures + 1);
}

std::size_t TLogonThrottle::keyCount() const {
  TScopedLock lock(fCSThrottle);
  return fRecords.size();
}
