#include "common/RegistryFile.h"

#include "common/TextEncoding.h"
#include "platform/Files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace registry {
namespace {

// UTF-16LE with byte-order mark, as the registry editor exports, becomes UTF-8.
std::string toUtf8(std::string_view aText) {
  if (aText.size() >= 3 && aText.substr(0, 3) == "\xEF\xBB\xBF") {
    return std::string(aText.substr(3));
  }
  if (aText.size() < 2 || aText[0] != '\xFF' || aText[1] != '\xFE') {
    return std::string(aText);
  }
  std::u16string units;
  for (std::size_t i = 2; i + 1 < aText.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(aText[i]) |
                                   (static_cast<unsigned char>(aText[i + 1]) << 8));
  }
  return utf16ToUtf8(units);
}

std::string_view trim(std::string_view aText) {
  while (!aText.empty() && (aText.front() == ' ' || aText.front() == '\t')) {
    aText.remove_prefix(1);
  }
  while (!aText.empty() && (aText.back() == ' ' || aText.back() == '\t' || aText.back() == '\r')) {
    aText.remove_suffix(1);
  }
  return aText;
}

// Reads a quoted text starting at aPos (on the opening quote); false when it is not closed.
bool readQuoted(std::string_view aLine, std::size_t& aPos, std::string& aText) {
  aText.clear();
  for (++aPos; aPos < aLine.size(); ++aPos) {
    const char c = aLine[aPos];
    if (c == '\\' && aPos + 1 < aLine.size()) {
      aText += aLine[++aPos];
    } else if (c == '"') {
      ++aPos;
      return true;
    } else {
      aText += c;
    }
  }
  return false;
}

} // namespace

TRegKeys parseRegistryText(std::string_view aRawText) {
  const std::string text = toUtf8(aRawText);
  TRegKeys keys;
  TRegKey* current = nullptr;
  bool continuation = false; // inside a typed value continued with a trailing backslash
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    const std::string_view line = trim(std::string_view(text).substr(start, end - start));
    start = end + 1;

    if (continuation) {
      continuation = !line.empty() && line.back() == '\\';
      continue;
    }
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close == std::string_view::npos || line.size() < 2 || line[1] == '-') {
        current = nullptr; // a malformed or deleting key line: its values belong nowhere
        continue;
      }
      current = &keys[lowerAscii(std::string(trim(line.substr(1, close - 1))))];
      continue;
    }
    if (line.front() != '"' || current == nullptr) {
      continue;
    }
    std::size_t pos = 0;
    std::string name;
    if (!readQuoted(line, pos, name)) {
      continue;
    }
    const std::string_view rest = trim(line.substr(pos));
    if (rest.empty() || rest.front() != '=') {
      continue;
    }
    const std::string_view data = trim(rest.substr(1));
    TRegValue value;
    std::size_t dataPos = 0;
    std::string valueText;
    if (!data.empty() && data.front() == '"' && readQuoted(data, dataPos, valueText) &&
        trim(data.substr(dataPos)).empty()) {
      value.text = std::move(valueText);
    } else {
      value.kind = ERegValueKind::OtherType;
      continuation = !data.empty() && data.back() == '\\';
    }
    (*current)[lowerAscii(name)] = std::move(value);
  }
  return keys;
}

std::string quoteRegistryText(const std::string& aText) {
  std::string out = "\"";
  for (char c : aText) {
    if (c == '\\' || c == '"') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

ERegOpenResult TRegistryFile::open(const std::string& aKeyPath, bool aCreate) {
  fKeys.clear();
  std::string content;
  if (auto read = platform::readWholeFile(fPath, content); !read) {
    if (read.error != ENOENT) {
      return ERegOpenResult::Unreadable;
    }
    if (!aCreate) {
      return ERegOpenResult::Missing;
    }
    const std::string created =
        "Windows Registry Editor Version 5.00\r\n\r\n[" + aKeyPath + "]\r\n";
    const std::string folder = platform::extractFileDir(fPath);
    if ((!folder.empty() && !platform::forceDirectories(folder)) ||
        !platform::writeWholeFile(fPath, created)) {
      return ERegOpenResult::Missing; // not permitted: the defaults apply all the same
    }
    fKeys = parseRegistryText(created);
    return ERegOpenResult::Created;
  }
  fKeys = parseRegistryText(content);
  return ERegOpenResult::Opened;
}

bool TRegistryFile::keyExists(const std::string& aKeyPath) const {
  return fKeys.count(lowerAscii(aKeyPath)) != 0;
}

const TRegValue* TRegistryFile::findValue(const std::string& aKeyPath,
                                          const std::string& aName) const {
  const auto key = fKeys.find(lowerAscii(aKeyPath));
  if (key == fKeys.end()) {
    return nullptr;
  }
  const auto value = key->second.find(lowerAscii(aName));
  return value == key->second.end() ? nullptr : &value->second;
}

} // namespace registry
