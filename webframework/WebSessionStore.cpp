#include "webframework/WebSessionStore.h"

#include "logging/KvLogger.h"
#include "platform/RandomSource.h"

namespace {
constexpr std::size_t kTokenBytes = 16; // 128 bits
constexpr const char* kModule = "webframework";
} // namespace

TWebSessionStore::TClaim& TWebSessionStore::TClaim::operator=(TClaim&& aOther) noexcept {
  if (this != &aOther) {
    release();
    fStore = std::exchange(aOther.fStore, nullptr);
    fSession = std::move(aOther.fSession);
  }
  return *this;
}

void TWebSessionStore::TClaim::release() {
  if (fStore != nullptr && fSession) {
    fStore->unclaim(fSession->getToken());
  }
  fStore = nullptr;
  fSession.reset(); // may destroy a session that ended meanwhile
}

TWebSessionStore::TWebSessionStore(TWebSessionStoreSettings aSettings, TClock aClock,
                                   TTokenSource aTokenSource)
    : fSettings(aSettings), fClock(std::move(aClock)), fTokenSource(std::move(aTokenSource)) {
  if (!fClock) {
    fClock = [] { return std::chrono::steady_clock::now(); };
  }
  if (!fTokenSource) {
    fTokenSource = &TWebSessionStore::newToken;
  }
  if (fSettings.MaxSessions == 0) {
    fSettings.MaxSessions = 1;
  }
}

TWebSessionStore::~TWebSessionStore() {
  clear();
}

std::string TWebSessionStore::newToken() {
  return platform::cryptoRandomHex(kTokenBytes);
}

bool TWebSessionStore::expired(const TEntry& aEntry,
                               std::chrono::steady_clock::time_point aNow) const {
  return aEntry.Claims == 0 && aNow - aEntry.LastAccess >= fSettings.Timeout;
}

void TWebSessionStore::collectExpired(std::chrono::steady_clock::time_point aNow,
                                      std::vector<std::shared_ptr<TWebSession>>& aEnded) {
  for (auto it = fEntries.begin(); it != fEntries.end();) {
    if (expired(it->second, aNow)) {
      aEnded.push_back(std::move(it->second.Session));
      it = fEntries.erase(it);
    } else {
      ++it;
    }
  }
}

TWebSessionStore::TClaim TWebSessionStore::create() {
  const std::string token = fTokenSource();
  if (token.empty()) {
    Logger().error(kModule, "no session token from the random source");
    return {};
  }
  std::vector<std::shared_ptr<TWebSession>> ended; // destroyed after the lock
  std::shared_ptr<TWebSession> session;
  {
    TScopedLock lock(fCSSessions);
    const auto now = fClock();
    collectExpired(now, ended);
    if (fEntries.size() >= fSettings.MaxSessions) {
      auto oldest = fEntries.end();
      for (auto it = fEntries.begin(); it != fEntries.end(); ++it) {
        if (it->second.Claims == 0 &&
            (oldest == fEntries.end() || it->second.LastAccess < oldest->second.LastAccess)) {
          oldest = it;
        }
      }
      if (oldest == fEntries.end()) {
        return {};
      }
      ended.push_back(std::move(oldest->second.Session));
      fEntries.erase(oldest);
    }
    if (fEntries.count(token) != 0) {
      return {}; // 128 random bits do not repeat; a broken source must not join two browsers
    }
    session = std::make_shared<TWebSession>(token, fNextSerial++);
    fEntries[token] = TEntry{session, now, 1};
  }
  return TClaim(this, std::move(session));
}

TWebSessionStore::TClaim TWebSessionStore::claim(const std::string& aToken, bool* aTimedOut) {
  if (aTimedOut != nullptr) {
    *aTimedOut = false;
  }
  std::shared_ptr<TWebSession> ended; // destroyed after the lock
  std::shared_ptr<TWebSession> session;
  {
    TScopedLock lock(fCSSessions);
    const auto found = fEntries.find(aToken);
    if (found == fEntries.end()) {
      return {};
    }
    const auto now = fClock();
    if (expired(found->second, now)) {
      ended = std::move(found->second.Session);
      fEntries.erase(found);
      if (aTimedOut != nullptr) {
        *aTimedOut = true;
      }
      return {};
    }
    ++found->second.Claims;
    found->second.LastAccess = now;
    session = found->second.Session;
  }
  return TClaim(this, std::move(session));
}

void TWebSessionStore::unclaim(const std::string& aToken) {
  TScopedLock lock(fCSSessions);
  const auto found = fEntries.find(aToken);
  if (found != fEntries.end()) {
    --found->second.Claims;
    found->second.LastAccess = fClock();
  }
}

std::size_t TWebSessionStore::sweep() {
  std::vector<std::shared_ptr<TWebSession>> ended;
  {
    TScopedLock lock(fCSSessions);
    collectExpired(fClock(), ended);
  }
  return ended.size();
}

void TWebSessionStore::clear() {
  TEntries entries;
  {
    TScopedLock lock(fCSSessions);
    entries.swap(fEntries);
  }
}

std::size_t TWebSessionStore::count() const {
  TScopedLock lock(fCSSessions);
  return fEntries.size();
}
