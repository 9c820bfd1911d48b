#include "prereq/AbstractKVPrereq.h"

#include <gtest/gtest.h>

namespace {

// The base alone, with the abstract parts answered trivially.
class TPlainPrereq : public TAbstractKVPrereq {
public:
  std::string getCaptionLng(const std::string&) const override { return {}; }
  std::string getDescriptionLng(const std::string&) const override { return {}; }
  std::string getCommand() const override { return "plain"; }
  bool executeCheck(const std::string&) override { return true; }
  bool handleResolveDirect(IInformationAdapter&) override { return false; }
  bool handleResolveUser(IInformationAdapter&) override { return false; }
  bool handleResolveNone(IInformationAdapter&) override { return false; }
};

TEST(AbstractKVPrereqTest, ShellExecuteErrorTexts) {
  const std::pair<int, const char*> cases[] = {
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
      {1, ""},
      {4, ""},
      {33, ""},
      {-1, ""},
  };
  TPlainPrereq prereq;
  for (const auto& [code, text] : cases) {
    EXPECT_EQ(prereq.getShellExecuteErrorText(code), text) << "code " << code;
  }
}

TEST(AbstractKVPrereqTest, RegistryPathHelpers) {
  struct TCase {
    const char* path;
    const char* rootName;
    const char* keyPath;
  };
  const TCase cases[] = {
      {"HKEY_USERS\\Software\\brevant", "HKEY_USERS", "Software\\brevant"},
      {"HKEY_LOCAL_MACHINE\\", "HKEY_LOCAL_MACHINE", ""},
      {"\\Software", "", "Software"},
      {"HKEY_USERS", "", ""},
      {"", "", ""},
  };
  TPlainPrereq prereq;
  for (const auto& c : cases) {
    EXPECT_EQ(prereq.getRegistryRootName(c.path), c.rootName) << c.path;
    EXPECT_EQ(prereq.getRegistryKeyPath(c.path), c.keyPath) << c.path;
  }
  const std::pair<const char*, std::uint32_t> roots[] = {
      {"HKEY_CLASSES_ROOT", 0x80000000},
      {"hkey_current_user", 0x80000001},
      {"hkey_local_machine", 0x80000002},
      {"HKEY_USERS", 0x80000003},
      {"HKEY_PERFORMANCE_DATA", 0x80000004},
      {"Hkey_Current_Config", 0x80000005},
      {"HKEY_DYN_DATA", 0x80000006},
      {"HKEY_LOCAL_MACHINE\\", 0},
      {"HKLM", 0},
      {"", 0},
  };
  for (const auto& [name, key] : roots) {
    EXPECT_EQ(prereq.getRegistryRootKey(name), key) << name;
  }
}

TEST(AbstractKVPrereqTest, SuggestionsInBothLanguages) {
  TPlainPrereq prereq;
  EXPECT_EQ(prereq.Suggestion(), "");
  EXPECT_FALSE(prereq.CanResolveDirect() || prereq.CanResolveUser() || prereq.CanResolveNone());
  EXPECT_EQ(prereq.ResolveCaptionDirect() + prereq.ResolveCaptionUser(), "");
  const struct {
    void (TAbstractKVPrereq::*suggest)();
    const char* german;
    const char* english;
  } cases[] = {
      {&TAbstractKVPrereq::suggestInstall, "Installieren", "Install"},
      {&TAbstractKVPrereq::suggestStart, "Starten", "Start"},
      {&TAbstractKVPrereq::suggestDownload, "Herunterladen", "Download"},
  };
  for (const auto& c : cases) {
    prereq.setLanguageCode("");
    (prereq.*c.suggest)();
    EXPECT_EQ(prereq.Suggestion(), c.german);
    prereq.setLanguageCode("en");
    (prereq.*c.suggest)();
    EXPECT_EQ(prereq.Suggestion(), c.english);
  }
}

} // namespace
