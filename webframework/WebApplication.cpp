#include "webframework/WebApplication.h"

#include "logging/KvLogger.h"
#include "platform/Files.h"
#include "webframework/WebClientType.h"
#include "webframework/WebPageRenderer.h"

namespace {

constexpr const char* kModule = "webframework";
constexpr const char* kFilesSegment = "files";

std::string fieldValue(const TWebFields& aFields, const char* aName) {
  const TWebField* field = findWebField(aFields, aName);
  return field == nullptr ? std::string() : field->Value;
}

bool isSafeFileName(const std::string& aName) {
  if (aName.empty() || aName.size() > 100 || aName.front() == '.') {
    return false;
  }
  for (const char c : aName) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!allowed) {
      return false;
    }
  }
  return true;
}

std::string contentTypeOf(const std::string& aName) {
  const std::size_t dot = aName.rfind('.');
  const std::string extension = dot == std::string::npos ? std::string() : aName.substr(dot + 1);
  if (extension == "png") {
    return "image/png";
  }
  if (extension == "gif") {
    return "image/gif";
  }
  if (extension == "svg") {
    return "image/svg+xml";
  }
  if (extension == "ico") {
    return "image/x-icon";
  }
  if (extension == "css") {
    return "text/css; charset=utf-8";
  }
  if (extension == "js") {
    return "text/javascript; charset=utf-8";
  }
  if (extension == "html") {
    return "text/html; charset=utf-8";
  }
  if (extension == "txt") {
    return "text/plain; charset=utf-8";
  }
  return "application/octet-stream";
}

void answerNotice(TWebResponse& aResponse, int aStatus, const std::string& aTitle,
                  const std::string& aText, const std::string& aLinkCaption,
                  const std::string& aLinkAddress) {
  aResponse = TWebResponse();
  aResponse.Status = aStatus;
  aResponse.ContentType = "text/html; charset=utf-8";
  aResponse.Body = renderWebNoticePage(aTitle, aText, aLinkCaption, aLinkAddress);
  setWebPageHeaders(aResponse);
}

void answerMethodNotAllowed(TWebResponse& aResponse, const std::string& aAllowed) {
  aResponse = TWebResponse();
  aResponse.Status = 405;
  aResponse.ContentType = "text/plain; charset=utf-8";
  aResponse.Body = "405 Method Not Allowed";
  aResponse.setHeader("Allow", aAllowed);
  setWebPageHeaders(aResponse);
}

} // namespace

void setWebPageHeaders(TWebResponse& aResponse) {
  aResponse.setHeader("Cache-Control", "no-store");
  aResponse.setHeader("Pragma", "no-cache");
  aResponse.setHeader("Referrer-Policy", "no-referrer");
  aResponse.setHeader("X-Content-Type-Options", "nosniff");
  aResponse.setHeader("X-Frame-Options", "DENY");
  // Scripts only from our own files: markup that slipped through escaping could not run.
  aResponse.setHeader("Content-Security-Policy",
                      "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
                      "img-src 'self'; object-src 'none'; form-action 'self'; "
                      "frame-ancestors 'none'; base-uri 'none'");
}

TWebApplication::TWebApplication(TWebApplicationSettings aSettings, TWebSessionStore::TClock aClock)
    : fSettings(std::move(aSettings)), fSessions(fSettings.Sessions, std::move(aClock)) {}

TWebApplication::~TWebApplication() {
  stopSweeper();
  fSessions.clear();
}

void TWebApplication::attach(TWebApplicationRouter& aRouter) {
  fRouter = &aRouter;
  aRouter.OnPageRequest = [this](const TWebPageRoute& aRoute, const TWebRequest& aRequest,
                                 TWebResponse& aResponse) {
    handlePageRequest(aRoute, aRequest, aResponse);
  };
}

void TWebApplication::startSweeper(std::chrono::milliseconds aInterval) {
  fSweeper.start([this, aInterval](TStoppableThread& aThread) {
    while (!aThread.waitFor(aInterval)) {
      try {
        fSessions.sweep();
      } catch (const std::exception& e) {
        Logger().error(kModule, std::string("ending timed-out sessions: ") + e.what());
      }
    }
  });
}

void TWebApplication::stopSweeper() {
  fSweeper.stop();
}

std::string TWebApplication::filesAddress() const {
  const std::string exec = fRouter != nullptr ? fRouter->getExecCommandPath() : "/EXEC";
  return exec + "/" + kFilesSegment;
}

std::string TWebApplication::sessionAddress(const std::string& aToken) const {
  const std::string exec = fRouter != nullptr ? fRouter->getExecCommandPath() : "/EXEC";
  return exec + "/" + aToken;
}

void TWebApplication::handlePageRequest(const TWebPageRoute& aRoute, const TWebRequest& aRequest,
                                        TWebResponse& aResponse) {
  std::string rest = aRoute.SubPath;
  while (!rest.empty() && rest.front() == '/') {
    rest.erase(0, 1);
  }
  const std::size_t slash = rest.find('/');
  const std::string first = aRoute.Kind == EWebPageRequest::StartPage ? "" : rest.substr(0, slash);
  // Pages change sessions even when read (a new session, a submitted event): GET and POST
  // only. Files change nothing: GET and HEAD.
  const bool file = first == kFilesSegment;
  const bool allowed = aRequest.Method == "GET" || aRequest.Method == (file ? "HEAD" : "POST");
  if (!allowed) {
    answerMethodNotAllowed(aResponse, file ? "GET, HEAD" : "GET, POST");
  } else if (first.empty()) {
    startSession(aRequest, aResponse);
  } else if (file) {
    serveFile(slash == std::string::npos ? std::string() : rest.substr(slash + 1), aResponse);
  } else {
    serveSession(first, aRequest, aResponse);
  }
}

void TWebApplication::startSession(const TWebRequest& aRequest, TWebResponse& aResponse) {
  TWebSessionStore::TClaim claim = fSessions.create();
  if (!claim) {
    answerNotice(aResponse, 503, "Server ausgelastet",
                 "Zur Zeit kann keine weitere Sitzung eröffnet werden. Bitte versuchen Sie es "
                 "später noch einmal.",
                 {}, {});
    return;
  }
  TWebSession& session = *claim;
  session.setClientAddress(aRequest.RemoteAddr);
  session.setClientType(detectWebClientType(aRequest));
  session.setPageClasses(&fClasses);
  session.setPageAddress(sessionAddress(session.getToken()));
  if (Logger().isDebug()) {
    Logger().debug(kModule, "session #" + std::to_string(session.getSerial()) + " started for " +
                                aRequest.RemoteAddr + " (" +
                                webClientTypeName(session.getClientType()) + ")");
  }
  bool ok = true;
  {
    TWebCurrentSessionScope scope(&session);
    if (OnNewSession) {
      ok = guarded(&session, [&] { OnNewSession(session); });
    }
    session.destroyReleasedPages();
  }
  if (!ok) {
    answerNotice(aResponse, 500, "Fehler", "Die Sitzung konnte nicht eröffnet werden.", {}, {});
    return;
  }
  redirect(aRequest, aResponse, session.getPageAddress());
}

void TWebApplication::serveSession(const std::string& aToken, const TWebRequest& aRequest,
                                   TWebResponse& aResponse) {
  bool timedOut = false;
  TWebSessionStore::TClaim claim = fSessions.claim(aToken, &timedOut);
  const std::string start = fRouter != nullptr ? fRouter->getStartPagePath() : "/";
  if (!claim) {
    answerNotice(aResponse, 200, "Sitzung abgelaufen",
                 "Ihre Sitzung ist abgelaufen oder unbekannt. Bitte melden Sie sich neu an.",
                 "Neue Sitzung starten", start);
    return;
  }
  TWebSession& session = *claim;
  if (!session.enter(fSettings.SessionWait)) {
    answerNotice(aResponse, 503, "Sitzung beschäftigt",
                 "Eine frühere Anfrage dieser Sitzung läuft noch. Bitte versuchen Sie es gleich "
                 "noch einmal.",
                 "Zur Seite", session.getPageAddress());
    return;
  }
  struct TLeave {
    TWebSession& Session;
    ~TLeave() { Session.leave(); }
  } leave{session};
  session.setClientAddress(aRequest.RemoteAddr);
  TWebCurrentSessionScope scope(&session);

  const bool post = aRequest.Method == "POST";
  const TWebFields& fields = post ? aRequest.FormFields : aRequest.QueryFields;
  const bool submission = post || findWebField(fields, SC_WEBFIELD_EVENT) != nullptr ||
                          findWebField(fields, SC_WEBFIELD_PAGE) != nullptr;
  if (submission) {
    const bool ok = submit(session, fields);
    session.destroyReleasedPages();
    if (!ok) {
      answerNotice(aResponse, 500, "Fehler", "Die Anfrage konnte nicht bearbeitet werden.",
                   "Zur Seite", session.getPageAddress());
      return;
    }
    // The browser fetches the page by address, so that going back and reloading never
    // submits a form again.
    redirect(aRequest, aResponse, session.getPageAddress());
    return;
  }
  deliver(session, aResponse);
  session.destroyReleasedPages();
}

bool TWebApplication::submit(TWebSession& aSession, const TWebFields& aFields) {
  const std::string pageName = fieldValue(aFields, SC_WEBFIELD_PAGE);
  TWebPage* target = aSession.getActivePage();
  if (target == nullptr || target->getName() != pageName) {
    bool handled = false;
    bool execute = false;
    if (OnBackButton &&
        !guarded(&aSession, [&] { OnBackButton(aSession, pageName, handled, execute); })) {
      return false;
    }
    target = aSession.getActivePage();
    if (!handled || !execute || target == nullptr || target->getName() != pageName) {
      return true; // dropped: the browser gets the active page
    }
  }
  if (checkedPage(aSession, target) != target) {
    return true; // the page is not open to this session now
  }
  return guarded(&aSession, [&] {
    target->applySubmitted(aFields);
    std::string param = fieldValue(aFields, SC_WEBFIELD_PARAM);
    if (TWebControl* control =
            target->findEventControl(aFields, fieldValue(aFields, SC_WEBFIELD_EVENT), param)) {
      control->fireEvent(param);
    }
  });
}

TWebPage* TWebApplication::checkedPage(TWebSession& aSession, TWebPage* aPage) {
  if (!OnCheckPage) {
    return aPage;
  }
  TWebPage* result = nullptr;
  if (!guarded(&aSession, [&] { result = OnCheckPage(aSession, aPage); })) {
    return nullptr;
  }
  return result;
}

void TWebApplication::deliver(TWebSession& aSession, TWebResponse& aResponse) {
  TWebPage* page = checkedPage(aSession, aSession.getActivePage());
  if (page == nullptr) {
    answerNotice(aResponse, 500, "Fehler", "Diese Sitzung hat keine Seite.", "Neue Sitzung starten",
                 fRouter != nullptr ? fRouter->getStartPagePath() : "/");
    return;
  }
  if (page != aSession.getActivePage()) {
    aSession.showPage(*page);
  }
  if (!guarded(&aSession, [&] { page->onRender(); })) {
    answerNotice(aResponse, 500, "Fehler", "Die Seite konnte nicht erstellt werden.", {}, {});
    return;
  }
  TWebPageDelivery delivery;
  delivery.HTML32 = aSession.getClientType() == ctHTML32 || aSession.getClientType() == ctWAP;
  delivery.PageAddress = aSession.getPageAddress();
  delivery.FilesAddress = filesAddress();
  delivery.Message = aSession.takeMessage();
  delivery.NewWindowURL = aSession.takeNewWindowURL();
  std::string body;
  bool rendered = false;
  // Controls may read their data while they render (a data grid's rows); a failure there
  // leaves no page to deliver, even when the exception hook handled it.
  guarded(&aSession, [&] {
    body = renderWebPage(*page, delivery);
    rendered = true;
  });
  if (!rendered) {
    answerNotice(aResponse, 500, "Fehler", "Die Seite konnte nicht erstellt werden.", {}, {});
    return;
  }
  aResponse = TWebResponse();
  aResponse.Status = 200;
  aResponse.ContentType = "text/html; charset=utf-8";
  aResponse.Body = std::move(body);
  setWebPageHeaders(aResponse);
}

void TWebApplication::serveFile(const std::string& aName, TWebResponse& aResponse) const {
  aResponse = TWebResponse();
  std::string contentType;
  if (const std::string* builtIn = builtInWebFile(aName, contentType)) {
    aResponse.ContentType = contentType;
    aResponse.Body = *builtIn;
  } else if (isSafeFileName(aName) && !fSettings.FilesFolder.empty() &&
             platform::readWholeFile(fSettings.FilesFolder + "/" + aName, aResponse.Body)) {
    aResponse.ContentType = contentTypeOf(aName);
  } else {
    aResponse.Status = 404;
    aResponse.ContentType = "text/plain; charset=utf-8";
    aResponse.Body = "404 Not Found";
  }
  aResponse.setHeader("Cache-Control", aResponse.Status == 200 ? "max-age=3600" : "no-store");
  aResponse.setHeader("Referrer-Policy", "no-referrer");
  aResponse.setHeader("X-Content-Type-Options", "nosniff");
}

bool TWebApplication::guarded(TWebSession* aSession, const std::function<void()>& aWork) {
  const auto sessionText = [aSession] {
    return aSession != nullptr ? " of session #" + std::to_string(aSession->getSerial())
                               : std::string();
  };
  try {
    aWork();
    return true;
  } catch (const std::exception& e) {
    bool handled = false;
    if (OnException) {
      try {
        OnException(e, handled);
      } catch (...) {
        handled = false;
      }
    }
    if (!handled) {
      Logger().error(kModule, "page handler" + sessionText() + ": " + e.what());
    }
    return handled;
  } catch (...) {
    Logger().error(kModule, "page handler" + sessionText() + ": unknown error");
    return false;
  }
}

void TWebApplication::redirect(const TWebRequest& aRequest, TWebResponse& aResponse,
                               const std::string& aLocation) const {
  aResponse = TWebResponse();
  aResponse.Status = aRequest.ProtocolVersion == "HTTP/1.0" ? 302 : 303;
  aResponse.ContentType = "text/html; charset=utf-8";
  aResponse.setHeader("Location", aLocation);
  aResponse.Body = renderWebNoticePage("Weiter", "Die Seite ist umgezogen.", "Weiter", aLocation);
  setWebPageHeaders(aResponse);
}
