#pragma once

#include "platform/HttpDownload.h"

// The download of the prerequisites tool through Qt Network. download() runs a local event
// loop until the transfer is over, so the window repaints meanwhile; call it on the thread of
// the QApplication. A transfer that stalls for IC_STALLTIMEOUTMS is aborted.
class TQtHttpDownload : public platform::IHttpDownload {
public:
  static constexpr int IC_STALLTIMEOUTMS = 60000;

  platform::TDownloadResult download(const std::string& aURL, const std::string& aFile,
                                     const platform::TDownloadProgress& aProgress) override;
};
