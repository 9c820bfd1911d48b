#pragma once

#include "platform/Locks.h"
#include "webframework/WebSession.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct TWebSessionStoreSettings {
  std::chrono::milliseconds Timeout{std::chrono::minutes(15)}; // idle time until a session ends
  std::size_t MaxSessions = 1000;
};

// The live sessions by token. A session ends after Timeout without a request; when the store
// is full, a new session pushes out the session idle the longest. Sessions a request holds
// (claimed) are never ended or pushed out.
// Threads: any worker; fCSSessions is a leaf, held only to look up, count and move entries;
// sessions are destroyed (pages, data) outside it, by the last holder of the session.
class TWebSessionStore {
public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  // A new secret token; empty when none can be made.
  using TTokenSource = std::function<std::string()>;

  // A session held for one request; ends the hold (the session's idle time starts) when it
  // goes.
  class TClaim {
  public:
    TClaim() = default;
    TClaim(TWebSessionStore* aStore, std::shared_ptr<TWebSession> aSession)
        : fStore(aStore), fSession(std::move(aSession)) {}
    ~TClaim() { release(); }
    TClaim(TClaim&& aOther) noexcept
        : fStore(std::exchange(aOther.fStore, nullptr)), fSession(std::move(aOther.fSession)) {}
    TClaim& operator=(TClaim&& aOther) noexcept;
    TClaim(const TClaim&) = delete;
    TClaim& operator=(const TClaim&) = delete;

    explicit operator bool() const { return fSession != nullptr; }
    TWebSession* operator->() const { return fSession.get(); }
    TWebSession& operator*() const { return *fSession; }
    TWebSession* get() const { return fSession.get(); }
    void release();

  private:
    TWebSessionStore* fStore = nullptr;
    std::shared_ptr<TWebSession> fSession;
  };

  explicit TWebSessionStore(TWebSessionStoreSettings aSettings = {}, TClock aClock = {},
                            TTokenSource aTokenSource = {});
  ~TWebSessionStore();
  TWebSessionStore(const TWebSessionStore&) = delete;
  TWebSessionStore& operator=(const TWebSessionStore&) = delete;

  // 128 bits from the system's cryptographic source as 32 hexadecimal digits.
  static std::string newToken();

  // A new session with a fresh token, claimed. Empty when the store is full of claimed
  // sessions or no token could be made.
  TClaim create();
  // The live session of aToken, claimed; empty when there is none (never was, pushed out, or
  // timed out: aTimedOut tells the last, and that session ends now).
  TClaim claim(const std::string& aToken, bool* aTimedOut = nullptr);
  // Ends every session idle for Timeout or longer; returns how many ended.
  std::size_t sweep();
  // Ends every session (the server stops).
  void clear();

  std::size_t count() const;
  const TWebSessionStoreSettings& getSettings() const { return fSettings; }

private:
  struct TEntry {
    std::shared_ptr<TWebSession> Session;
    std::chrono::steady_clock::time_point LastAccess;
    int Claims = 0;
  };
  using TEntries = std::map<std::string, TEntry>;

  void unclaim(const std::string& aToken) EXCLUDES(fCSSessions);
  bool expired(const TEntry& aEntry, std::chrono::steady_clock::time_point aNow) const;
  // Moves the ended sessions out, for destruction after the lock is let go.
  void collectExpired(std::chrono::steady_clock::time_point aNow,
                      std::vector<std::shared_ptr<TWebSession>>& aEnded) REQUIRES(fCSSessions);

  TWebSessionStoreSettings fSettings;
  TClock fClock;
  TTokenSource fTokenSource;
  mutable TCriticalSection fCSSessions;
  TEntries fEntries GUARDED_BY(fCSSessions);
  std::uint64_t fNextSerial GUARDED_BY(fCSSessions) = 1;
};
