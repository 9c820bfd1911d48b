#pragma once

#include "platform/StoppableThread.h"
#include "webframework/WebApplicationRouter.h"
#include "webframework/WebSessionStore.h"

#include <chrono>
#include <functional>
#include <string>

struct TWebApplicationSettings {
  TWebSessionStoreSettings Sessions;
  // How long a request waits while another request of its session is handled.
  std::chrono::milliseconds SessionWait{30000};
  // The data folder whose files are served under "<execution path>/files/"; empty: none.
  std::string FilesFolder;
};

// The page side of the framework: sessions, pages and their events, rendering, static files.
// It answers the router's page requests:
//   <base>/ and <base>/<start command>   a new session; redirected to its page address
//   <exec>/<token>                       GET: the session's active page; POST (or a GET with
//                                        an event, from browsers without script): a submitted
//                                        page, answered with a redirect to the page address
//   <exec>/files/<name>                  a static file of the data folder
// A token that names no live session is answered with the timed-out page, which leads to the
// start page. Pages go out with "Cache-Control: no-store" and "Referrer-Policy: no-referrer".
// Pages answer GET and POST, files GET and HEAD; any other method is answered 405 with the
// Allow header and changes nothing (a HEAD would otherwise open a session).
//
// A submission: when the submitted page is not the active one, OnBackButton decides
// (handled and execute: the submission goes to the then active page; otherwise it is dropped).
// OnCheckPage may put another page in place of the one about to get a submission or to be
// delivered (the application's access rule); the submission is then dropped. The submitted
// values go to the page's shown controls, then the event of the control that fired runs.
// Exceptions from hooks and handlers go to OnException; when it marks them handled the page is
// delivered as it stands, otherwise the answer is 500.
//
// Threads: the hooks are set before the server starts; requests run on the workers, several
// at once, but one at a time per session. The sweeper thread ends timed-out sessions.
class TWebApplication {
public:
  using TNewSessionHandler = std::function<void(TWebSession& aSession)>;
  using TBackButtonHandler = std::function<void(TWebSession& aSession, const std::string& aPageName,
                                                bool& aHandled, bool& aExecute)>;
  using TPageGuard = std::function<TWebPage*(TWebSession& aSession, TWebPage* aPage)>;

  explicit TWebApplication(TWebApplicationSettings aSettings = {},
                           TWebSessionStore::TClock aClock = {});
  ~TWebApplication();
  TWebApplication(const TWebApplication&) = delete;
  TWebApplication& operator=(const TWebApplication&) = delete;

  // Becomes aRouter's page handler; the router's paths give the addresses.
  void attach(TWebApplicationRouter& aRouter);
  TWebPageClasses& pageClasses() { return fClasses; }
  TWebSessionStore& sessions() { return fSessions; }
  const TWebApplicationSettings& getSettings() const { return fSettings; }

  // Ends timed-out sessions every aInterval on a thread of its own (so that their pages and
  // data go without waiting for a request); stopped by stopSweeper or the destructor.
  void startSweeper(std::chrono::milliseconds aInterval = std::chrono::seconds(30));
  void stopSweeper();

  void handlePageRequest(const TWebPageRoute& aRoute, const TWebRequest& aRequest,
                         TWebResponse& aResponse);

  TNewSessionHandler OnNewSession;
  TBackButtonHandler OnBackButton;
  TPageGuard OnCheckPage;
  TWebApplicationRouter::TExceptionHandler OnException;

private:
  void startSession(const TWebRequest& aRequest, TWebResponse& aResponse);
  void serveSession(const std::string& aToken, const TWebRequest& aRequest,
                    TWebResponse& aResponse);
  void serveFile(const std::string& aName, TWebResponse& aResponse) const;
  // Runs a submission; false when an unhandled exception ended it.
  bool submit(TWebSession& aSession, const TWebFields& aFields);
  void deliver(TWebSession& aSession, TWebResponse& aResponse);
  TWebPage* checkedPage(TWebSession& aSession, TWebPage* aPage);
  // Runs aWork; exceptions go to OnException. False when one was not handled.
  bool guarded(TWebSession* aSession, const std::function<void()>& aWork);
  void redirect(const TWebRequest& aRequest, TWebResponse& aResponse,
                const std::string& aLocation) const;
  std::string filesAddress() const;
  std::string sessionAddress(const std::string& aToken) const;

  TWebApplicationSettings fSettings;
  TWebPageClasses fClasses;
  TWebSessionStore fSessions;
  const TWebApplicationRouter* fRouter = nullptr; // not owned; outlives the application
  TStoppableThread fSweeper;
};

// Headers every framework answer carries: no caching, no referrer, no framing.
void setWebPageHeaders(TWebResponse& aResponse);
