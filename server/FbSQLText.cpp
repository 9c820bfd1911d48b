#include "server/FbSQLText.h"

#include <cctype>

namespace {

bool isNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

// The closing character of a q'<open>...<close>' literal.
char closingQuote(char aOpen) {
  switch (aOpen) {
  case '(':
    return ')';
  case '[':
    return ']';
  case '{':
    return '}';
  case '<':
    return '>';
  default:
    return aOpen;
  }
}

// Length of the literal, identifier or comment starting at aPos, or 0 when none starts there.
// An unterminated one reaches to the end of the text.
std::size_t skippedLength(std::string_view aText, std::size_t aPos) {
  const std::size_t size = aText.size();
  const char c = aText[aPos];
  const char next = aPos + 1 < size ? aText[aPos + 1] : '\0';
  if (c == '\'' || c == '"') {
    std::size_t i = aPos + 1;
    while (i < size) {
      if (aText[i] == c) {
        if (i + 1 < size && aText[i + 1] == c) {
          i += 2; // a doubled quote stands for one
          continue;
        }
        return i + 1 - aPos;
      }
      ++i;
    }
    return size - aPos;
  }
  if ((c == 'q' || c == 'Q') && next == '\'' && aPos + 2 < size &&
      (aPos == 0 || !isNameChar(aText[aPos - 1]))) {
    const char close = closingQuote(aText[aPos + 2]);
    for (std::size_t i = aPos + 3; i + 1 < size; ++i) {
      if (aText[i] == close && aText[i + 1] == '\'') {
        return i + 2 - aPos;
      }
    }
    return size - aPos;
  }
  if (c == '-' && next == '-') {
    const std::size_t end = aText.find('\n', aPos);
    return (end == std::string_view::npos ? size : end + 1) - aPos;
  }
  if (c == '/' && next == '*') {
    const std::size_t end = aText.find("*/", aPos + 2);
    return (end == std::string_view::npos ? size : end + 2) - aPos;
  }
  return 0;
}

std::string_view trimmed(std::string_view aText) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!aText.empty() && blank(aText.front())) {
    aText.remove_prefix(1);
  }
  while (!aText.empty() && blank(aText.back())) {
    aText.remove_suffix(1);
  }
  return aText;
}

// Whether the text holds anything besides blanks and comments.
bool hasContent(std::string_view aText) {
  std::size_t i = 0;
  while (i < aText.size()) {
    const char c = aText[i];
    const bool comment = (c == '-' || c == '/') && skippedLength(aText, i) > 0;
    if (comment) {
      i += skippedLength(aText, i);
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else {
      return true;
    }
  }
  return false;
}

} // namespace

TFbParsedSQL parseNamedParameters(std::string_view aSQL) {
  TFbParsedSQL result;
  result.SQL.reserve(aSQL.size());
  std::size_t i = 0;
  while (i < aSQL.size()) {
    if (const std::size_t skip = skippedLength(aSQL, i)) {
      result.SQL.append(aSQL.substr(i, skip));
      i += skip;
      continue;
    }
    const char c = aSQL[i];
    if (c == ':' && i + 1 < aSQL.size() && isNameChar(aSQL[i + 1])) {
      std::size_t end = i + 1;
      while (end < aSQL.size() && isNameChar(aSQL[end])) {
        ++end;
      }
      result.Names.emplace_back(aSQL.substr(i + 1, end - i - 1));
      result.SQL += '?';
      i = end;
      continue;
    }
    if (c == '?') {
      result.Names.emplace_back();
    }
    result.SQL += c;
    ++i;
  }
  return result;
}

std::vector<std::string> splitSQLScript(std::string_view aScript) {
  std::vector<std::string> statements;
  const auto add = [&statements](std::string_view aStatement) {
    const std::string_view text = trimmed(aStatement);
    if (hasContent(text)) {
      statements.emplace_back(text);
    }
  };
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < aScript.size()) {
    if (const std::size_t skip = skippedLength(aScript, i)) {
      i += skip;
      continue;
    }
    if (aScript[i] == ';') {
      add(aScript.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  add(aScript.substr(start));
  return statements;
}
