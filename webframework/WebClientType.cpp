#include "webframework/WebClientType.h"

#include "common/TextEncoding.h"

namespace {

bool contains(const std::string& aText, const char* aPart) {
  return aText.find(aPart) != std::string::npos;
}

bool startsWith(const std::string& aText, const char* aPrefix) {
  return aText.rfind(aPrefix, 0) == 0;
}

// "mozilla/5.0 (...)" -> 5; 0 when no version follows.
int mozillaMajorVersion(const std::string& aAgent) {
  constexpr std::size_t kPrefix = 8; // "mozilla/"
  int version = 0;
  std::size_t pos = kPrefix;
  while (pos < aAgent.size() && aAgent[pos] >= '0' && aAgent[pos] <= '9' && version < 1000) {
    version = version * 10 + (aAgent[pos] - '0');
    ++pos;
  }
  return version;
}

} // namespace

TWebClientType detectWebClientType(const TWebRequest& aRequest) {
  const std::string agent = lowerAscii(aRequest.getHeader("User-Agent"));
  const std::string accept = lowerAscii(aRequest.getHeader("Accept"));
  if ((contains(accept, "text/vnd.wap.wml") && !contains(accept, "text/html")) ||
      contains(agent, "up.browser") || contains(agent, "wap")) {
    return ctWAP;
  }
  if (contains(agent, "html/3.2") || contains(agent, "html 3.2") || startsWith(agent, "lynx") ||
      startsWith(agent, "links") || startsWith(agent, "elinks") || startsWith(agent, "w3m")) {
    return ctHTML32;
  }
  if ((startsWith(agent, "mozilla/") && mozillaMajorVersion(agent) >= 4) ||
      startsWith(agent, "opera")) {
    return ctHTML40;
  }
  return ctUnknown;
}

std::string webClientTypeName(TWebClientType aType) {
  switch (aType) {
  case ctHTML40:
    return "HTML 4.0";
  case ctHTML32:
    return "HTML 3.2";
  case ctWAP:
    return "WAP";
  case ctUnknown:
    break;
  }
  return "unknown";
}
