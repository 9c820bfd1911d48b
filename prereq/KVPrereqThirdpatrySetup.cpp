#include "prereq/KVPrereqThirdpatrySetup.h"

#include "platform/Files.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* SC_INSTALLSCRIPT = "install.sh";

bool endsWith(const std::string& aText, const std::string& aEnd) {
  return aText.size() >= aEnd.size() &&
         aText.compare(aText.size() - aEnd.size(), aEnd.size(), aEnd) == 0;
}

// The archive's name without ".tar.gz" or ".tgz"; "" when it is no such archive.
std::string archiveStem(const std::string& aFileName) {
  for (const std::string end : {".tar.gz", ".tgz"}) {
    if (endsWith(aFileName, end) && aFileName.size() > end.size()) {
      return aFileName.substr(0, aFileName.size() - end.size());
    }
  }
  return {};
}

// Runs endAction of the adapter when an action ends, also when it ends by an error.
class TActionScope {
public:
  explicit TActionScope(IInformationAdapter& aAdapter) : fAdapter(aAdapter) {
    fAdapter.beginAction();
  }
  ~TActionScope() noexcept(false) {
    if (std::uncaught_exceptions() > fExceptions) {
      try {
        fAdapter.endAction();
      } catch (...) {
        // the error already on its way is the one to report
      }
    } else {
      fAdapter.endAction();
    }
  }
  TActionScope(const TActionScope&) = delete;
  TActionScope& operator=(const TActionScope&) = delete;

private:
  IInformationAdapter& fAdapter;
  int fExceptions = std::uncaught_exceptions();
};

} // namespace

bool TKVPrereqThirdpatrySetup::executeCheck(const std::string& /*aCommandParams*/) {
  return true;
}

bool TKVPrereqThirdpatrySetup::handleResolveDirect(IInformationAdapter& aAdapter) {
  if (fDownloadLinkDirect.empty()) {
    return false;
  }
  fCurrentAdapter = &aAdapter;
  TActionScope action(aAdapter);
  aAdapter.setActionText("Verbinde...");
  aAdapter.setProgress(0, 0, 0);
  const std::string fileName = downloadFileName(fDownloadLinkDirect);
  if (fileName.empty()) {
    throw EKVPrereqError(
        std::string(text("Die Adresse ", "The address ")) + fDownloadLinkDirect +
        text(" nennt keine Datei zum Herunterladen.", " names no file to download."));
  }
  const std::string file = fServices.TempDirectory + fileName;
  download(file);
  aAdapter.setActionText("Installation...");
  install(file);
  return true;
}

void TKVPrereqThirdpatrySetup::download(const std::string& aFile) {
  platform::TDownloadProgress progress;
  progress.OnStart = [this](std::int64_t aTotal) { fCurrentAdapter->setProgress(0, 0, aTotal); };
  progress.OnReceived = [this](std::int64_t aReceived) {
    fCurrentAdapter->setProgress(aReceived, -1, -1);
  };
  fCurrentAdapter->setActionText("Download...");
  // The file of an earlier run goes first; the download then makes a new one, so a link
  // someone placed under the name in the shared temporary folder is never written through.
  if (const auto removed = platform::removeFile(aFile); !removed) {
    throw EKVPrereqError(std::string(text("Die Datei ", "The file ")) + aFile +
                         text(" kann nicht ersetzt werden: ", " cannot be replaced: ") +
                         removed.message());
  }
  platform::TDownloadResult result;
  try {
    result = fServices.Download->download(fDownloadLinkDirect, aFile, progress);
  } catch (...) {
    (void)platform::removeFile(aFile);
    throw;
  }
  if (!result) {
    // What arrived of a failed transfer is of no use and must not be taken for the installer.
    (void)platform::removeFile(aFile);
    throw EKVPrereqError(std::string(text("Der Download von ", "The download of ")) +
                         fDownloadLinkDirect + text(" ist fehlgeschlagen: ", " failed: ") +
                         result.message);
  }
}

void TKVPrereqThirdpatrySetup::install(const std::string& aFile) {
  std::string installer = aFile;
  std::string directory;
  if (!archiveStem(downloadFileName(aFile)).empty()) {
    installer = unpackedInstaller(aFile);
    directory = platform::extractFileDir(installer);
  }
  if (const auto made = platform::makeExecutable(installer); !made) {
    throw EKVPrereqError(
        std::string(text("Das Installationsprogramm ", "The installer ")) + installer +
        text(" kann nicht ausführbar gemacht werden: ", " cannot be made executable: ") +
        made.message());
  }
  const int exitCode = shellExecuteAndWait(installer, {}, directory);
  if (exitCode == -1) {
    throw EKVPrereqError(std::string(text("Das Installationsprogramm ", "The installer ")) +
                         installer +
                         text(" konnte nicht gestartet werden.", " could not be started."));
  }
  if (exitCode != 0) {
    throw EKVPrereqError(std::string(text("Das Installationsprogramm ", "The installer ")) +
                         installer + text(" endete mit dem Fehlercode ", " ended with exit code ") +
                         std::to_string(exitCode) + ".");
  }
}

std::string TKVPrereqThirdpatrySetup::unpackedInstaller(const std::string& aArchive) {
  // A new folder of our own, so that nothing placed in the shared temporary folder beforehand
  // becomes part of the installation.
  std::string folder;
  const auto made = platform::createUniqueDirectory(
      fServices.TempDirectory + archiveStem(downloadFileName(aArchive)) + "-", folder);
  const int exitCode = made ? shellExecuteAndWait("tar", {"-xzf", aArchive, "-C", folder}, {}) : -1;
  if (exitCode != 0) {
    throw EKVPrereqError(
        std::string(text("Das Archiv ", "The archive ")) + aArchive +
        text(" konnte nicht entpackt werden (Fehlercode ", " could not be unpacked (exit code ") +
        std::to_string(exitCode) + ").");
  }
  // The script lies at the top of the archive or in its one top folder.
  namespace fs = std::filesystem;
  if (platform::fileExists(folder + "/" + SC_INSTALLSCRIPT)) {
    return folder + "/" + SC_INSTALLSCRIPT;
  }
  std::vector<std::string> candidates;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string script = entry.path().string() + "/" + SC_INSTALLSCRIPT;
    if (entry.is_directory(error) && platform::fileExists(script)) {
      candidates.push_back(script);
    }
  }
  if (candidates.empty()) {
    throw EKVPrereqError(std::string(text("Das Archiv ", "The archive ")) + aArchive +
                         text(" enthält kein ", " contains no ") + SC_INSTALLSCRIPT + ".");
  }
  std::sort(candidates.begin(), candidates.end());
  return candidates.front();
}

int TKVPrereqThirdpatrySetup::shellExecuteAndWait(const std::string& aFile,
                                                  const std::vector<std::string>& aParameters,
                                                  const std::string& aDirectory) {
  return fServices.Shell->execute(aFile, aParameters, aDirectory, true, fServices.OnWaitStep);
}

bool TKVPrereqThirdpatrySetup::handleResolveUser(IInformationAdapter& aAdapter) {
  if (fURLUser.empty()) {
    return false;
  }
  TActionScope action(aAdapter);
  aAdapter.setActionText("Öffnen...");
  aAdapter.setProgress(0, 0, 2);
  (void)fServices.Shell->openAddress(fURLUser); // the browser's fate is not examined
  aAdapter.setActionText("Warte auf Nutzer");
  aAdapter.setProgress(1, 0, 2);
  const bool installed =
      fServices.Dialogs->askYesNo(IKVPrereqDialogs::pdkInformation, getManualInstallText());
  aAdapter.setActionText("Fertig!");
  aAdapter.setProgress(2, 0, 2);
  return installed;
}

bool TKVPrereqThirdpatrySetup::handleResolveNone(IInformationAdapter& /*aAdapter*/) {
  return true;
}

std::string TKVPrereqThirdpatrySetup::getManualInstallText() const {
  if (!isEnglish()) {
    return "Bitte installieren Sie die Firebird Datenbank manuell! Haben Sie diese erfolgreich "
           "installiert, dann drücken Sie bitte \"Ja\".\r\n\r\n" +
           fURLUser + "\r\n\r\n" +
           (IsWindows64() ? "Bitte laden Sie die 64 Bit Version herunter, da Sie ein 64 Bit "
                            "Betriebssystem nutzen."
                          : "Bitte laden Sie die 32 Bit Version (x86) herunter, da Sie ein 32 "
                            "Bit Betriebssystem nutzen.");
  }
  std::string result = "Please install firebird manually! After successfully installation press "
                       "\"Yes\" please.\r\n\r\n" +
                       fURLUser + "\r\n\r\n";
  try {
    result += IsWindows64() ? "You should download the 64 Bit Version of firebird, because you "
                              "are using a 64 Bit OS."
                            : "You should download the 32 Bit Version (x86) of firebird, because "
                              "you are using a 32 Bit OS.";
  } catch (const EKVPrereqError&) {
    // the English prompt goes without the advice on the bitness
  }
  return result;
}

bool TKVPrereqThirdpatrySetup::IsWindows64() const {
  const auto is64 = fServices.System->is64BitOperatingSystem();
  if (!is64) {
    throw EKVPrereqError("IsWindows64: bad process handle");
  }
  return *is64;
}

std::string TKVPrereqThirdpatrySetup::downloadFileName(const std::string& aURL) {
  const auto slash = aURL.rfind('/');
  const std::string name = slash == std::string::npos ? aURL : aURL.substr(slash + 1);
  return name == "." || name == ".." ? std::string() : name;
}
