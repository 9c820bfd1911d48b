#pragma once

#include "webframework/WebRequest.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Where the framework's own pages live. The URL base is a path prefix ("" or "/admin"); the
// start page is the base itself, the base with "/", or the base with "/" and the start
// command; the execution command path and everything below it carry the page requests of a
// session ("/EXEC", "/EXEC/<session token>/...").
struct TWebApplicationPaths {
  std::string StartCmd;
  std::string ExecCmd = "EXEC";
  std::string URLBase;
};

enum class EWebPageRequest { StartPage, ExecCommand };

struct TWebPageRoute {
  EWebPageRequest Kind = EWebPageRequest::StartPage;
  // For ExecCommand: what follows the execution command path ("" or "/<token>/...").
  std::string SubPath;
};

// The one place that decides which requests are the framework's own page requests and which
// go to the server core. Hooks are set before the server starts and only read afterwards, by
// any number of worker threads at once; the router keeps no other state.
//
// Page requests go to OnPageRequest; when no page handler is installed they, like every
// other request, go to OnInvalidCommand. Without that hook the answer is 404. A hook that
// throws is reported to OnException (which may mark it handled) and answered 500.
class TWebApplicationRouter {
public:
  using TRequestHandler = std::function<void(const TWebRequest&, TWebResponse&)>;
  using TPageHandler = std::function<void(const TWebPageRoute&, const TWebRequest&, TWebResponse&)>;
  using TExceptionHandler = std::function<void(const std::exception& AException, bool& Handled)>;

  TWebApplicationRouter() { setPaths({}); }

  // An empty execution command means "EXEC"; the URL base gets a leading "/" and loses a
  // trailing one.
  void setPaths(const TWebApplicationPaths& aPaths);
  const TWebApplicationPaths& getPaths() const { return fPaths; }

  // The page request that aPath (decoded, no query) names; paths compare without regard to
  // the case of ASCII letters.
  std::optional<TWebPageRoute> matchPageRequest(std::string_view aPath) const;
  // The address of the start page and of the execution command path, for links.
  std::string getStartPagePath() const;
  std::string getExecCommandPath() const;

  // aPath as a log line may show it: the session token of a page address is left out.
  std::string loggablePath(const std::string& aPath) const;

  // Routes one request and fills aResponse. Never throws.
  void handleRequest(const TWebRequest& aRequest, TWebResponse& aResponse) const;

  TPageHandler OnPageRequest;
  TRequestHandler OnInvalidCommand;
  TExceptionHandler OnException;

private:
  void reportFailure(const TWebRequest& aRequest, TWebResponse& aResponse,
                     const std::exception* aException) const;

  TWebApplicationPaths fPaths;
};
