#include "webframework/WebApplicationRouter.h"

#include "common/TextEncoding.h"
#include "logging/KvLogger.h"

namespace {

std::string trimmedSlashes(std::string aText) {
  while (!aText.empty() && (aText.front() == '/' || aText.front() == ' ')) {
    aText.erase(0, 1);
  }
  while (!aText.empty() && (aText.back() == '/' || aText.back() == ' ')) {
    aText.pop_back();
  }
  return aText;
}

} // namespace

void TWebApplicationRouter::setPaths(const TWebApplicationPaths& aPaths) {
  fPaths.StartCmd = trimmedSlashes(aPaths.StartCmd);
  fPaths.ExecCmd = trimmedSlashes(aPaths.ExecCmd);
  if (fPaths.ExecCmd.empty()) {
    fPaths.ExecCmd = "EXEC";
  }
  const std::string base = trimmedSlashes(aPaths.URLBase);
  fPaths.URLBase = base.empty() ? std::string() : "/" + base;
}

std::string TWebApplicationRouter::getStartPagePath() const {
  return fPaths.URLBase + "/";
}

std::string TWebApplicationRouter::getExecCommandPath() const {
  return fPaths.URLBase + "/" + fPaths.ExecCmd;
}

std::optional<TWebPageRoute> TWebApplicationRouter::matchPageRequest(std::string_view aPath) const {
  const std::string path = lowerAscii(std::string(aPath));
  const std::string base = lowerAscii(fPaths.URLBase);
  if (path == base + "/" || (!base.empty() && path == base) ||
      (!fPaths.StartCmd.empty() && path == base + "/" + lowerAscii(fPaths.StartCmd))) {
    return TWebPageRoute{EWebPageRequest::StartPage, {}};
  }
  const std::string exec = lowerAscii(getExecCommandPath());
  if (path == exec || path.rfind(exec + "/", 0) == 0) {
    return TWebPageRoute{EWebPageRequest::ExecCommand, std::string(aPath.substr(exec.size()))};
  }
  return std::nullopt;
}

std::string TWebApplicationRouter::loggablePath(const std::string& aPath) const {
  const std::optional<TWebPageRoute> page = matchPageRequest(aPath);
  if (page && page->Kind == EWebPageRequest::ExecCommand && page->SubPath.size() > 1) {
    return getExecCommandPath() + "/...";
  }
  return aPath;
}

void TWebApplicationRouter::handleRequest(const TWebRequest& aRequest,
                                          TWebResponse& aResponse) const {
  try {
    const std::optional<TWebPageRoute> page = matchPageRequest(aRequest.Path);
    if (page && OnPageRequest) {
      OnPageRequest(*page, aRequest, aResponse);
    } else if (OnInvalidCommand) {
      OnInvalidCommand(aRequest, aResponse);
    } else {
      aResponse.Status = 404;
      aResponse.ContentType = "text/plain";
      aResponse.Body = "404 Not Found";
    }
  } catch (const std::exception& e) {
    reportFailure(aRequest, aResponse, &e);
  } catch (...) {
    reportFailure(aRequest, aResponse, nullptr);
  }
}

void TWebApplicationRouter::reportFailure(const TWebRequest& aRequest, TWebResponse& aResponse,
                                          const std::exception* aException) const {
  bool handled = false;
  if (aException != nullptr && OnException) {
    try {
      OnException(*aException, handled);
    } catch (...) {
      handled = false;
    }
  }
  if (!handled) {
    Logger().error("webframework",
                   "error processing request \"" + loggablePath(aRequest.Path) +
                       "\": " + (aException != nullptr ? aException->what() : "unknown"));
  }
  if (aResponse.OnWritten) {
    // The handler's answer is replaced: it never reaches the client.
    try {
      aResponse.OnWritten(false);
    } catch (...) {
    }
  }
  aResponse = TWebResponse();
  aResponse.Status = 500;
  aResponse.ContentType = "text/plain";
  aResponse.Body = "500 Internal Server Error";
}
