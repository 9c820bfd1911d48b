#pragma once

#include "prereq/KVPrereqThirdpatrySetup.h"

#include <string>
#include <vector>

// Where the Firebird prerequisites look and what they fetch: configuration values, read from
// the settings file beside the program and the command line (KVPrereqSettings.h).
struct TKVPrereqFirebirdSettings {
  // The Firebird project's page of server packages, opened by the user action.
  std::string URLUser = "https://firebirdsql.org/en/server-packages/";
  // The installer the direct action fetches on a 64-bit and on a 32-bit system: the Firebird
  // project's Linux server packages.
  std::string DownloadLinkDirect64 = "https://github.com/FirebirdSQL/firebird/releases/download/"
                                     "v3.0.12/Firebird-3.0.12.33787-0.amd64.tar.gz";
  std::string DownloadLinkDirect32 = "https://github.com/FirebirdSQL/firebird/releases/download/"
                                     "v3.0.12/Firebird-3.0.12.33787-0.i686.tar.gz";
  // The client library that must load.
  std::string ClientLibrary = "libfbclient.so.2";
  // The systemd units of a Firebird server: Debian's package, and the Firebird project's
  // packages of version 3 and of later versions. The server runs when one of them runs.
  std::vector<std::string> ServerUnits = {"firebird3.0.service", "firebird-superserver.service",
                                          "firebird.service"};
};

// The client-library check shared by both Firebird prerequisites.
bool firebirdClientLoads(TKVPrereqServices& aServices, const TKVPrereqFirebirdSettings& aSettings);
// The state of the first server unit that runs, else of the first one that exists, else 0.
platform::TServiceState firebirdServerState(TKVPrereqServices& aServices,
                                            const TKVPrereqFirebirdSettings& aSettings);

// "firebird": the Firebird database server and its client library. Its check offers all
// three actions and suggests installing when either part is missing.
class TKVPrereqFirebirdSetup : public TKVPrereqThirdpatrySetup {
public:
  TKVPrereqFirebirdSetup(TKVPrereqServices& aServices, const TKVPrereqFirebirdSettings& aSettings)
      : TKVPrereqThirdpatrySetup(aServices), fSettings(aSettings) {}

  std::string getCaptionLng(const std::string& aLanguageCode) const override;
  std::string getDescriptionLng(const std::string& aLanguageCode) const override;
  std::string getCommand() const override;
  bool executeCheck(const std::string& aCommandParams) override;

private:
  TKVPrereqFirebirdSettings fSettings;
};

// "firebirdclient": the Firebird client library alone. No caption, description or action.
class TKVPrereqFirebirdClientSetup : public TKVPrereqThirdpatrySetup {
public:
  TKVPrereqFirebirdClientSetup(TKVPrereqServices& aServices,
                               const TKVPrereqFirebirdSettings& aSettings)
      : TKVPrereqThirdpatrySetup(aServices), fSettings(aSettings) {}

  std::string getCaptionLng(const std::string& aLanguageCode) const override;
  std::string getDescriptionLng(const std::string& aLanguageCode) const override;
  std::string getCommand() const override;
  bool executeCheck(const std::string& aCommandParams) override;

private:
  TKVPrereqFirebirdSettings fSettings;
};
