#pragma once

#include "prereq/AbstractKVPrereq.h"
#include "prereq/KVPrereqServices.h"

#include <string>
#include <vector>

// A prerequisite resolved by installing another maker's product: the direct action downloads
// its installer into the temporary folder and runs it, the user action opens the product's
// download page and asks whether the user has installed it, and skipping always succeeds.
// Window thread only; the download and the installer run block the caller while the window
// repaints through the adapter and TKVPrereqServices::OnWaitStep.
class TKVPrereqThirdpatrySetup : public TAbstractKVPrereq {
public:
  explicit TKVPrereqThirdpatrySetup(TKVPrereqServices& aServices) : fServices(aServices) {}

  const std::string& DownloadLinkDirect() const { return fDownloadLinkDirect; }
  void setDownloadLinkDirect(const std::string& aLink) { fDownloadLinkDirect = aLink; }
  const std::string& URLUser() const { return fURLUser; }
  void setURLUser(const std::string& aURL) { fURLUser = aURL; }

  // Checks nothing and reports the prerequisite as satisfied.
  bool executeCheck(const std::string& aCommandParams) override;
  // Downloads DownloadLinkDirect into the temporary folder and runs it: an archive ".tar.gz"
  // is unpacked into a new folder there and its "install.sh" run, any other file is made
  // executable and run.
  // Resolved only when the installer ends with exit code 0. A failure (download, unpacking,
  // an installer that does not start or ends with another code) raises EKVPrereqError after
  // endAction; a failed download leaves no file behind.
  bool handleResolveDirect(IInformationAdapter& aAdapter) override;
  // Opens URLUser in the browser and asks the user; resolved when the answer is yes.
  bool handleResolveUser(IInformationAdapter& aAdapter) override;
  bool handleResolveNone(IInformationAdapter& aAdapter) override;

  // The prompt of the user action, with URLUser and the operating system's bitness.
  virtual std::string getManualInstallText() const;

  // True on a 64-bit operating system; raises EKVPrereqError when the system cannot tell.
  bool IsWindows64() const;

  // The file a download address is saved as: the text after its last slash; "" when that is
  // no usable file name ("", "." or "..").
  static std::string downloadFileName(const std::string& aURL);

protected:
  // Starts aFile and waits for its exit code while the window repaints; -1 when it could
  // not be started or its exit code could not be read.
  int shellExecuteAndWait(const std::string& aFile, const std::vector<std::string>& aParameters,
                          const std::string& aDirectory);

  TKVPrereqServices& fServices;
  std::string fDownloadLinkDirect;
  std::string fURLUser;
  IInformationAdapter* fCurrentAdapter = nullptr; // non-owning: the last direct action's

private:
  void download(const std::string& aFile);
  // Runs the downloaded file (or the installer inside it); raises unless it ends with 0.
  void install(const std::string& aFile);
  std::string unpackedInstaller(const std::string& aArchive);
};
