#pragma once

#include "webframework/WebRequest.h"

#include <string>

// What a browser can show, as far as the pages care.
enum TWebClientType { ctUnknown, ctHTML40, ctHTML32, ctWAP };

// The client type of a request, from its headers, first rule that applies:
// - WAP: the Accept header names WML ("text/vnd.wap.wml") but not "text/html", or the user
//   agent names a WAP browser ("UP.Browser", "WAP");
// - HTML 3.2: the user agent reports "HTML/3.2" or "HTML 3.2", or is a text-mode browser
//   that runs no script (Lynx, Links, w3m);
// - HTML 4.0: the user agent starts with "Mozilla/" followed by a version of 4 or above, or
//   with "Opera";
// - unknown: anything else, also no user agent at all.
// Letters compare without regard to case.
TWebClientType detectWebClientType(const TWebRequest& aRequest);

std::string webClientTypeName(TWebClientType aType);
