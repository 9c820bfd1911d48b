#include "prereq/KVPrereqFirebirdSetup.h"

bool firebirdClientLoads(TKVPrereqServices& aServices, const TKVPrereqFirebirdSettings& aSettings) {
  return aServices.Libraries->canLoad(aSettings.ClientLibrary);
}

platform::TServiceState firebirdServerState(TKVPrereqServices& aServices,
                                            const TKVPrereqFirebirdSettings& aSettings) {
  platform::TServiceState found = platform::svsUnknown;
  for (const auto& unit : aSettings.ServerUnits) {
    const platform::TServiceState state = aServices.Services->serviceState(unit);
    if (state == platform::svsRunning) {
      return state;
    }
    if (found == platform::svsUnknown) {
      found = state;
    }
  }
  return found;
}

std::string TKVPrereqFirebirdSetup::getCaptionLng(const std::string& aLanguageCode) const {
  return aLanguageCode == "en" ? "Firebird database server and client components"
                               : "Firebird Datenbank Server- und Clientkomponenten";
}

std::string TKVPrereqFirebirdSetup::getDescriptionLng(const std::string& aLanguageCode) const {
  return aLanguageCode == "en"
             ? "The firebird database system is needed. Server and client components lokal on "
               "this system.Please install firebird."
             : "Das Datenbanksystem \"Firebird\" wird für dieses Produkt benötigt. Bitte "
               "installieren Sie dieses vor der Installation des Produktes.";
}

std::string TKVPrereqFirebirdSetup::getCommand() const {
  return "firebird";
}

bool TKVPrereqFirebirdSetup::executeCheck(const std::string& /*aCommandParams*/) {
  fCanResolveDirect = true;
  fCanResolveUser = true;
  fCanResolveNone = true;
  fResolveCaptionDirect = "Installieren...";
  fResolveCaptionUser = "Selbst downloaden...";
  fURLUser = fSettings.URLUser;
  fDownloadLinkDirect =
      IsWindows64() ? fSettings.DownloadLinkDirect64 : fSettings.DownloadLinkDirect32;
  // Both checks run, so that the suggestion reflects each missing part.
  const bool clientLoads = firebirdClientLoads(fServices, fSettings);
  if (!clientLoads) {
    suggestInstall();
  }
  const bool serverRuns = firebirdServerState(fServices, fSettings) == platform::svsRunning;
  if (!serverRuns) {
    suggestInstall();
  }
  return clientLoads && serverRuns;
}

std::string
TKVPrereqFirebirdClientSetup::getCaptionLng(const std::string& /*aLanguageCode*/) const {
  return {};
}

std::string
TKVPrereqFirebirdClientSetup::getDescriptionLng(const std::string& /*aLanguageCode*/) const {
  return {};
}

std::string TKVPrereqFirebirdClientSetup::getCommand() const {
  return "firebirdclient";
}

bool TKVPrereqFirebirdClientSetup::executeCheck(const std::string& /*aCommandParams*/) {
  return firebirdClientLoads(fServices, fSettings);
}
