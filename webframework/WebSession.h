#pragma once

#include "platform/Locks.h"
#include "webframework/WebClientType.h"
#include "webframework/WebPage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The application's data of one session (one slot per session); freed with the session,
// after its pages.
class TWebSessionData {
public:
  virtual ~TWebSessionData() = default;
};

class TWebSession;
using TWebPageFactory = std::function<std::unique_ptr<TWebPage>(TWebSession& aSession)>;

// The page kinds an application offers, by class name ("TMainForm"). Filled before the server
// starts, read by any number of threads afterwards.
class TWebPageClasses {
public:
  void registerClass(const std::string& aClassName, TWebPageFactory aFactory);
  const TWebPageFactory* find(const std::string& aClassName) const;

private:
  std::map<std::string, TWebPageFactory> fFactories;
};

// One browser's session: its token, its client type, its pages (at most one live page per
// class name), the page the browser sees next (the active page), notices for the next
// delivery, and the application's data slot.
// Threads: the framework lets one request of a session in at a time (enter/leave); page
// operations run only inside such a request, on its worker thread. The token is a secret:
// log lines name a session by its serial number.
class TWebSession {
public:
  TWebSession(std::string aToken, std::uint64_t aSerial);
  ~TWebSession(); // the pages first, then the data
  TWebSession(const TWebSession&) = delete;
  TWebSession& operator=(const TWebSession&) = delete;

  const std::string& getToken() const { return fToken; }
  std::uint64_t getSerial() const { return fSerial; }

  TWebClientType getClientType() const { return fClientType; }
  void setClientType(TWebClientType aType) { fClientType = aType; }
  void setPageClasses(const TWebPageClasses* aClasses) { fClasses = aClasses; }
  // The address of the session's page ("/EXEC/<token>").
  const std::string& getPageAddress() const { return fPageAddress; }
  void setPageAddress(std::string aAddress) { fPageAddress = std::move(aAddress); }

  // The address of the client whose request the session handles now (set per request).
  const std::string& getClientAddress() const { return fClientAddress; }
  void setClientAddress(std::string aAddress) { fClientAddress = std::move(aAddress); }

  TWebSessionData* getData() const { return fData.get(); }
  void setData(std::unique_ptr<TWebSessionData> aData) { fData = std::move(aData); }

  // The live page of that class, or null.
  TWebPage* findPage(const std::string& aClassName) const;
  // A new page of that class, owned by the session; a live page of the class is released.
  // Null when the class is unknown; what its constructor raises passes on.
  TWebPage* createPage(const std::string& aClassName);
  // Makes the page the one the browser sees next.
  void showPage(TWebPage& aPage);
  void setActivePage(TWebPage& aPage) { showPage(aPage); }
  TWebPage* getActivePage() const { return fActivePage; }
  // Destroys the page once the current request has been answered.
  void releasePage(TWebPage& aPage);

  // A notice with one text on the next page delivered.
  void showMessage(const std::string& aText) { fMessage = aText; }
  // Opens the address in a new browser window with the next page delivered.
  void newWindow(const std::string& aURL) { fNewWindowURL = aURL; }
  std::string takeMessage() { return std::exchange(fMessage, {}); }
  std::string takeNewWindowURL() { return std::exchange(fNewWindowURL, {}); }
  // Destroys the released pages (the end of a request).
  void destroyReleasedPages();

  // Waits up to aWait until no other request of the session is in; false on time-out.
  bool enter(std::chrono::milliseconds aWait) EXCLUDES(fCSRequest);
  void leave() EXCLUDES(fCSRequest);

private:
  const std::string fToken;
  const std::uint64_t fSerial;
  TWebClientType fClientType = ctUnknown;
  const TWebPageClasses* fClasses = nullptr; // not owned; outlives the session
  std::string fPageAddress;
  std::string fClientAddress;
  std::unique_ptr<TWebSessionData> fData;
  std::map<std::string, std::unique_ptr<TWebPage>> fPages;
  std::vector<std::unique_ptr<TWebPage>> fReleased;
  TWebPage* fActivePage = nullptr; // one of fPages, or null
  std::string fMessage;
  std::string fNewWindowURL;

  TCriticalSection fCSRequest; // leaf
  TConditionVariable fRequestLeft;
  bool fInRequest GUARDED_BY(fCSRequest) = false;
};

// The session of the request the calling thread handles, or null.
TWebSession* currentWebSession();

// Makes aSession the current one of this thread for one scope.
class TWebCurrentSessionScope {
public:
  explicit TWebCurrentSessionScope(TWebSession* aSession);
  ~TWebCurrentSessionScope();
  TWebCurrentSessionScope(const TWebCurrentSessionScope&) = delete;
  TWebCurrentSessionScope& operator=(const TWebCurrentSessionScope&) = delete;

private:
  TWebSession* fPrevious;
};
