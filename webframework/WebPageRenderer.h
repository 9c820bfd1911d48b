#pragma once

#include "webframework/WebPage.h"

#include <string>

// The markup of whole pages. Full pages (HTML 4.01 with CSS) link the framework's style sheet
// and script; reduced pages (HTML 3.2) carry neither and work by plain form submission.
struct TWebPageDelivery {
  bool HTML32 = false;
  std::string PageAddress;  // where the form posts: "/EXEC/<token>"
  std::string FilesAddress; // "/EXEC/files"
  std::string Message;      // a message box to show, or ""
  std::string NewWindowURL; // an address to open in a new window, or ""
};

std::string renderWebPage(const TWebPage& aPage, const TWebPageDelivery& aDelivery);

// A page of the framework itself with a title, one paragraph and a link.
std::string renderWebNoticePage(const std::string& aTitle, const std::string& aText,
                                const std::string& aLinkCaption, const std::string& aLinkAddress);

// The framework's own static files (script and style sheet): the content and its type, or
// null for another name.
const std::string* builtInWebFile(const std::string& aName, std::string& aContentType);

inline constexpr const char* SC_WEBFRAMEWORK_SCRIPT = "webframework.js";
inline constexpr const char* SC_WEBFRAMEWORK_STYLE = "webframework.css";
