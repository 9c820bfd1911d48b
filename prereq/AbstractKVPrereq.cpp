#include "prereq/AbstractKVPrereq.h"

#include "common/TextEncoding.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, const char*>, 13> SC_SHELLEXECUTEERRORS = {{
    {0, "The operating system is out of memory or resources."},
    {2, "The specified file was not found."},
    {3, "The specified path was not found."},
    {5, " The operating system denied access to the specified file."},
    {8, " There was not enough memory to complete the operation."},
    {11, " The .exe file is invalid (non-Win32 .exe or error in .exe image)."},
    {26, " A sharing violation occurred."},
    {27, " The file name association is incomplete or invalid."},
    {28, " The DDE transaction could not be completed because the request timed out."},
    {29, " The DDE transaction failed."},
    {30, " The DDE transaction could not be completed because other DDE transactions were being "
         "processed."},
    {31, " There is no application associated with the given file name extension. This error "
         "will also be returned if you attempt to print a file that is not printable."},
    {32, " The specified DLL was not found."},
}};

constexpr std::array<std::pair<const char*, std::uint32_t>, 7> SC_REGISTRYROOTKEYS = {{
    {"hkey_classes_root", 0x80000000},
    {"hkey_current_user", 0x80000001},
    {"hkey_local_machine", 0x80000002},
    {"hkey_users", 0x80000003},
    {"hkey_performance_data", 0x80000004},
    {"hkey_current_config", 0x80000005},
    {"hkey_dyn_data", 0x80000006},
}};

} // namespace

std::string TAbstractKVPrereq::getShellExecuteErrorText(int aCode) const {
  for (const auto& [code, message] : SC_SHELLEXECUTEERRORS) {
    if (code == aCode) {
      return message;
    }
  }
  return {};
}

std::string TAbstractKVPrereq::getRegistryRootName(const std::string& aPath) const {
  const auto backslash = aPath.find('\\');
  return backslash == std::string::npos ? std::string() : aPath.substr(0, backslash);
}

std::string TAbstractKVPrereq::getRegistryKeyPath(const std::string& aPath) const {
  const auto backslash = aPath.find('\\');
  return backslash == std::string::npos ? std::string() : aPath.substr(backslash + 1);
}

std::uint32_t TAbstractKVPrereq::getRegistryRootKey(const std::string& aName) const {
  const std::string name = lowerAscii(aName);
  for (const auto& [rootName, key] : SC_REGISTRYROOTKEYS) {
    if (name == rootName) {
      return key;
    }
  }
  return 0;
}

std::string TAbstractKVPrereq::Caption() const {
  return getCaptionLng(fLanguageCode);
}

std::string TAbstractKVPrereq::Suggestion() const {
  return fSuggestion;
}

std::string TAbstractKVPrereq::Description() const {
  return getDescriptionLng(fLanguageCode);
}

void TAbstractKVPrereq::suggestInstall() {
  fSuggestion = text("Installieren", "Install");
}

void TAbstractKVPrereq::suggestStart() {
  fSuggestion = text("Starten", "Start");
}

void TAbstractKVPrereq::suggestDownload() {
  fSuggestion = text("Herunterladen", "Download");
}
