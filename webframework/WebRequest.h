#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The framework's view of one HTTP request and the answer to it, free of the HTTP library,
// so that the handlers above can be built and tested without a server.

struct TWebField {
  std::string Name;
  std::string Value;
};
using TWebFields = std::vector<TWebField>;

// Decodes "%XX" escapes and, when aPlusIsBlank, "+" as a blank. Malformed escapes stay as
// they are. Bytes that are no valid UTF-8 are taken as ISO-8859-1 characters, so the result
// is always UTF-8.
std::string webUrlDecode(std::string_view aText, bool aPlusIsBlank = true);
// name=value pairs separated by "&", each URL-decoded, in the order they came; a pair without
// "=" has an empty value; empty pairs are skipped.
TWebFields parseWebFormFields(std::string_view aText);
// The first field named aName (ASCII letters compared without regard to case), or null.
const TWebField* findWebField(const TWebFields& aFields, std::string_view aName);

// A request as the worker thread that handles it sees it. Plain data, owned by that thread.
struct TWebRequest {
  std::string Method;          // "GET", "POST", ... as sent
  std::string ProtocolVersion; // "HTTP/1.1"
  std::string Target;          // the request target as sent: "/sendsms?smsusr=a"
  std::string Path;            // the document part of the target, percent-decoded, no query
  std::string QueryText;       // the text after "?", not decoded ("" when there is none)
  TWebFields QueryFields;      // the query decoded, in the order the fields came
  TWebFields Headers;          // names as sent; in name order, repeated names in arrival order
  std::string Body;            // the body as received (chunked bodies joined)
  std::string ContentType;     // the Content-Type header
  // The body decoded as form fields when its type is application/x-www-form-urlencoded,
  // in the order they came; empty otherwise.
  TWebFields FormFields;
  std::string RemoteAddr;
  int RemotePort = 0;
  std::string LocalAddr;
  int LocalPort = 0;

  // Header values by name, without regard to case; "" when absent.
  std::string getHeader(std::string_view aName) const;
  bool hasHeader(std::string_view aName) const;
  // A query field by name, without regard to case; "" when absent.
  std::string getQueryParam(std::string_view aName) const;
  // A form field of the body by name, without regard to case; "" when absent.
  std::string getFormParam(std::string_view aName) const;
};

// The answer a handler fills. Sent exactly as set: the status, the content type, the
// headers (in name order; values holding CR or LF are dropped), the body bytes, never
// compressed or cut to a range. Content-Length is always the body's byte count and is written
// by the server, as are Connection, Keep-Alive and Transfer-Encoding; handlers' values for
// those are not sent.
struct TWebResponse {
  int Status = 200;
  std::string ContentType;
  TWebFields Headers;
  std::string Body;
  // The answer goes out no earlier than this (a failed logon's answer is held back): the
  // server keeps the connection meanwhile without a worker thread. Unset: at once.
  std::chrono::steady_clock::time_point HoldUntil{};
  // Set by a handler that must know whether its answer reached the connection whole, for
  // instance to delete what it delivers only then. The worker runs it once, after writing:
  // true when every byte of the answer went out, false when the client went away or did not
  // take it in time, when no body was sent (HEAD) or when an error answer replaced it. It
  // runs on the worker thread, without locks of the framework; it must not throw.
  std::function<void(bool aComplete)> OnWritten;

  // Replaces every header of that name (without regard to case) by one with aValue.
  void setHeader(const std::string& aName, const std::string& aValue);
  std::string getHeader(std::string_view aName) const;
};
