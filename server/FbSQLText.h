#pragma once

#include <string>
#include <string_view>
#include <vector>

// Lexical work on SQL texts before they go to the database: named parameters become
// positional ones, and a script is cut into its statements. Pure text in, text out; string
// literals ('...', q'{...}'), quoted identifiers ("...") and comments (-- and /* */) are
// copied untouched, so a ":" or ";" inside them means nothing.

// A statement text with its parameters in positional form.
struct TFbParsedSQL {
  std::string SQL;                // every ":name" replaced by "?"
  std::vector<std::string> Names; // one per "?", in text order; "" for a "?" of the original
};

// ":var0", ":varID", ":0" (a ":" followed by letters, digits, "_" or "$") are parameters.
// A ":" followed by anything else stays as it is.
TFbParsedSQL parseNamedParameters(std::string_view aSQL);

// The statements of a script separated by ";", each trimmed of blanks and line breaks;
// statements of nothing but blanks and comments are dropped. A statement without a final ";" counts
// as well.
std::vector<std::string> splitSQLScript(std::string_view aScript);
