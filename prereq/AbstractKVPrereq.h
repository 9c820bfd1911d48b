#pragma once

#include "prereq/InformationAdapter.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// An error that ends a resolve action (a failed download, an installer that failed); its
// message is for the user, in the prerequisite's language.
class EKVPrereqError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// One installation prerequisite: its texts in two languages, the check that sets its
// suggestion and the resolve actions it offers. Used on the window's thread only. The
// registry owns the objects; a check sets flags, captions and suggestion once and they stay.
class TAbstractKVPrereq {
public:
  TAbstractKVPrereq() = default;
  virtual ~TAbstractKVPrereq() = default;
  TAbstractKVPrereq(const TAbstractKVPrereq&) = delete;
  TAbstractKVPrereq& operator=(const TAbstractKVPrereq&) = delete;

  // "en" selects the English texts, anything else (the tool leaves it empty) the German ones.
  const std::string& LanguageCode() const { return fLanguageCode; }
  void setLanguageCode(const std::string& aLanguageCode) { fLanguageCode = aLanguageCode; }

  bool CanResolveDirect() const { return fCanResolveDirect; }
  bool CanResolveUser() const { return fCanResolveUser; }
  bool CanResolveNone() const { return fCanResolveNone; }
  const std::string& ResolveCaptionDirect() const { return fResolveCaptionDirect; }
  const std::string& ResolveCaptionUser() const { return fResolveCaptionUser; }

  // The text of a shell-execute error code; "" for a code without one.
  virtual std::string getShellExecuteErrorText(int aCode) const;
  // "HKEY_USERS\Software\x": the root name "HKEY_USERS" and the key path "Software\x"; both
  // empty for a path without backslash.
  virtual std::string getRegistryRootName(const std::string& aPath) const;
  virtual std::string getRegistryKeyPath(const std::string& aPath) const;
  // The predefined key of a root name, any case ("hkey_local_machine" → 0x80000002); 0 for
  // an unknown name.
  virtual std::uint32_t getRegistryRootKey(const std::string& aName) const;

  virtual std::string Caption() const;
  virtual std::string Suggestion() const;
  virtual std::string Description() const;

  virtual void suggestInstall();
  virtual void suggestStart();
  virtual void suggestDownload();

  virtual std::string getCaptionLng(const std::string& aLanguageCode) const = 0;
  virtual std::string getDescriptionLng(const std::string& aLanguageCode) const = 0;
  // The command word under which the prerequisite is registered.
  virtual std::string getCommand() const = 0;
  // True when the prerequisite is satisfied; sets flags, captions and the suggestion.
  virtual bool executeCheck(const std::string& aCommandParams) = 0;
  // True when the prerequisite counts as resolved. May raise EKVPrereqError, after the
  // adapter's endAction has run.
  virtual bool handleResolveDirect(IInformationAdapter& aAdapter) = 0;
  virtual bool handleResolveUser(IInformationAdapter& aAdapter) = 0;
  virtual bool handleResolveNone(IInformationAdapter& aAdapter) = 0;

protected:
  bool isEnglish() const { return fLanguageCode == "en"; }
  // aGerman or aEnglish by the language code.
  const char* text(const char* aGerman, const char* aEnglish) const {
    return isEnglish() ? aEnglish : aGerman;
  }

  std::string fLanguageCode;
  std::string fSuggestion;
  bool fCanResolveDirect = false;
  bool fCanResolveUser = false;
  bool fCanResolveNone = false;
  std::string fResolveCaptionDirect;
  std::string fResolveCaptionUser;
};
