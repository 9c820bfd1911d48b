#pragma once

#include <string>
#include <string_view>

// Escaping of texts that reach a page. Every text of a control, title, hint or address goes
// through these; nothing else writes outside text into the markup.

// Text content: & < > " ' as character references. Bytes that are no valid UTF-8 are read
// as Latin-1 characters; control characters other than tab, line feed and carriage return
// are dropped.
std::string htmlEscape(std::string_view aText);
// An attribute value (written inside double quotes): as htmlEscape, and line breaks as
// character references so that they survive in the value.
std::string htmlAttribute(std::string_view aText);
// Percent-encodes everything but unreserved characters (RFC 3986), for query values and
// path segments.
std::string webUrlEncode(std::string_view aText);
