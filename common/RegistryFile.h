#pragma once

#include <map>
#include <string>
#include <string_view>

// The server's options store: a text file in the registry export format, standing in for the
// registry key HKEY_LOCAL_MACHINE\Software\brevant\Parlino\Options.
//
//   Windows Registry Editor Version 5.00            (or REGEDIT4; optional)
//   [HKEY_LOCAL_MACHINE\Software\brevant\Parlino\Options]
//   "Name"="text"                                    (\\ and \" escaped)
//
// Key paths and value names compare without regard to case, as in the registry. A value of
// another registry type (dword:, hex:, hex(2): ... or anything not a quoted text) is kept as
// a wrong-type value, so that reading it fails as reading a non-text registry value does.
namespace registry {

enum class ERegValueKind { Text, OtherType };

struct TRegValue {
  ERegValueKind kind = ERegValueKind::Text;
  std::string text; // the text of a text value (UTF-8)
};

// Values of one key, by lower-cased name.
using TRegKey = std::map<std::string, TRegValue>;
// Keys by lower-cased full path ("hkey_local_machine\software\brevant\parlino\options").
using TRegKeys = std::map<std::string, TRegKey>;

// Parses the text of an options file (UTF-8, or UTF-16LE with its byte-order mark). Lines
// that are neither a key, a value nor a comment are skipped. Never throws.
TRegKeys parseRegistryText(std::string_view aText);

// Writes the value text in the file's quoted form.
std::string quoteRegistryText(const std::string& aText);

enum class ERegOpenResult { Opened, Created, Missing, Unreadable };

// One options file on disk, read once when opened.
class TRegistryFile {
public:
  explicit TRegistryFile(std::string aPath) : fPath(std::move(aPath)) {}

  // Reads the file. When it does not exist and aCreate is set, writes a file holding only
  // the header and the key line (when the folder permits). An existing file that cannot be
  // read gives Unreadable: no value can be read then.
  ERegOpenResult open(const std::string& aKeyPath, bool aCreate);

  bool keyExists(const std::string& aKeyPath) const;
  // Null when the key or value is missing.
  const TRegValue* findValue(const std::string& aKeyPath, const std::string& aName) const;

  const std::string& path() const { return fPath; }

private:
  std::string fPath;
  TRegKeys fKeys;
};

} // namespace registry
