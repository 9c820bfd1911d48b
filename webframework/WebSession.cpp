#include "webframework/WebSession.h"

namespace {
thread_local TWebSession* tCurrentSession = nullptr;
} // namespace

void TWebPageClasses::registerClass(const std::string& aClassName, TWebPageFactory aFactory) {
  fFactories[aClassName] = std::move(aFactory);
}

const TWebPageFactory* TWebPageClasses::find(const std::string& aClassName) const {
  const auto found = fFactories.find(aClassName);
  return found == fFactories.end() ? nullptr : &found->second;
}

TWebSession::TWebSession(std::string aToken, std::uint64_t aSerial)
    : fToken(std::move(aToken)), fSerial(aSerial) {}

TWebSession::~TWebSession() {
  fActivePage = nullptr;
  fPages.clear();
  fReleased.clear();
  fData.reset();
}

TWebPage* TWebSession::findPage(const std::string& aClassName) const {
  const auto found = fPages.find(aClassName);
  return found == fPages.end() ? nullptr : found->second.get();
}

TWebPage* TWebSession::createPage(const std::string& aClassName) {
  const TWebPageFactory* factory = fClasses == nullptr ? nullptr : fClasses->find(aClassName);
  if (factory == nullptr) {
    return nullptr;
  }
  std::unique_ptr<TWebPage> page = (*factory)(*this);
  if (!page) {
    return nullptr;
  }
  if (TWebPage* old = findPage(aClassName)) {
    releasePage(*old);
  }
  TWebPage* result = page.get();
  fPages[aClassName] = std::move(page);
  return result;
}

void TWebSession::showPage(TWebPage& aPage) {
  fActivePage = &aPage;
}

void TWebSession::releasePage(TWebPage& aPage) {
  for (auto it = fPages.begin(); it != fPages.end(); ++it) {
    if (it->second.get() == &aPage) {
      fReleased.push_back(std::move(it->second));
      fPages.erase(it);
      break;
    }
  }
  if (fActivePage == &aPage) {
    fActivePage = nullptr;
  }
}

void TWebSession::destroyReleasedPages() {
  // A page's destructor may release further pages.
  while (!fReleased.empty()) {
    std::vector<std::unique_ptr<TWebPage>> released;
    released.swap(fReleased);
    released.clear();
  }
}

bool TWebSession::enter(std::chrono::milliseconds aWait) {
  const auto deadline = std::chrono::steady_clock::now() + aWait;
  TUniqueLock lock(fCSRequest);
  while (fInRequest) {
    if (!fRequestLeft.waitUntil(lock, deadline) && fInRequest) {
      return false;
    }
  }
  fInRequest = true;
  return true;
}

void TWebSession::leave() {
  {
    TScopedLock lock(fCSRequest);
    fInRequest = false;
  }
  fRequestLeft.notifyOne();
}

TWebSession* currentWebSession() {
  return tCurrentSession;
}

TWebCurrentSessionScope::TWebCurrentSessionScope(TWebSession* aSession)
    : fPrevious(tCurrentSession) {
  tCurrentSession = aSession;
}

TWebCurrentSessionScope::~TWebCurrentSessionScope() {
  tCurrentSession = fPrevious;
}
