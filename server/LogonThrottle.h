#pragma once

#include "platform/Locks.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct TLogonThrottleSettings {
  std::chrono::milliseconds FirstDelay{500}; // after the first failure of a key
  std::chrono::milliseconds MaxDelay{30000}; // the delay doubles per failure up to this
  std::chrono::milliseconds ForgetAfter{std::chrono::minutes(15)}; // failures then count no more
  std::size_t MaxKeys = 10000; // keys kept; beyond, the longest quiet one is forgotten
};

// Slows down the guessing of passwords. Each logon attempt names its keys (an account name,
// a session, a client address); every failure of a key makes its next check wait longer: the
// first delay, doubled per further failure, up to the ceiling. A success clears its keys.
//
// Use: reserve() before the check, wait until the ticket's CheckAt, check, then succeeded()
// or failed(); failed() tells when the failure may be answered. A correct logon on a key
// without failures waits for nothing; a failure's answer is held back by its delay.
//
// Concurrent attempts on one key do not run side by side: each reservation takes the key's
// next free check time and moves it on by the delay a failure would bring, so N attempts at
// once are checked one delay apart, as if they came one after the other. When the queue of a
// key reaches further than the ceiling, the attempt is refused without a check (Refused): a
// flood cannot make workers wait without end, at the price that a correct password given
// during such a flood is refused too.
//
// Clients that are answered rather than waited for (the HTTP commands) use admit() instead of
// reserve(), with two kinds of keys. A refusing key (an account name) lets one check through
// per delay, however many attempts arrive at once; while it is slowed by an earlier failure,
// the attempt is refused without a check (Refused, CheckAt telling when a check would run), to
// be answered no earlier than CheckAt. A holding key (a client address, which several clients
// may share) never stops a check, so a right password from it is answered at once; its
// failures only hold back the answer of the next wrong one, by the delay failed() returns.
// Keys without failures let every attempt through.
//
// Threads: any; fCSThrottle is a leaf. The clock is injectable for tests; the throttle never
// sleeps itself.
class TLogonThrottle {
public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  using TTimePoint = std::chrono::steady_clock::time_point;

  struct TTicket {
    std::vector<std::string> Keys;
    TTimePoint CheckAt{}; // when the check may run
    bool Refused = false; // too many attempts queued: answer failure without a check
  };

  explicit TLogonThrottle(TLogonThrottleSettings aSettings = {}, TClock aClock = {});

  TTicket reserve(const std::vector<std::string>& aKeys) EXCLUDES(fCSThrottle);
  TTicket admit(const std::vector<std::string>& aRefusingKeys,
                const std::vector<std::string>& aHoldingKeys = {}) EXCLUDES(fCSThrottle);
  void succeeded(const TTicket& aTicket) EXCLUDES(fCSThrottle);
  // The check passed, or could not be made: aForgotten (keys of the ticket) lose their
  // failures; the ticket's other keys keep theirs but no longer hold back the next attempt
  // beyond their last failure's delay (a client address that logged on correctly).
  void passed(const TTicket& aTicket, const std::vector<std::string>& aForgotten)
      EXCLUDES(fCSThrottle);
  // Counts the failure; returns when its answer may go out.
  TTimePoint failed(const TTicket& aTicket) EXCLUDES(fCSThrottle);
  // The delay the next failure of aKey would bring.
  std::chrono::milliseconds nextDelay(const std::string& aKey) const EXCLUDES(fCSThrottle);

  std::size_t keyCount() const EXCLUDES(fCSThrottle);
  TTimePoint now() const { return fClock(); }

private:
  struct TRecord {
    int Failures = 0;
    TTimePoint NextCheck{};
    TTimePoint LastUse{};
    TTimePoint LastFailure{};
  };
  std::chrono::milliseconds delayFor(int aFailures) const;
  // Failures older than ForgetAfter count no more (a key that is never cleared by a success,
  // such as a client address, starts afresh).
  void forgetOldFailures(TRecord& aRecord, TTimePoint aNow) const;
  void forgetQuietKeys(TTimePoint aNow) REQUIRES(fCSThrottle);

  TLogonThrottleSettings fSettings;
  TClock fClock;
  mutable TCriticalSection fCSThrottle;
  std::map<std::string, TRecord> fRecords GUARDED_BY(fCSThrottle);
};
