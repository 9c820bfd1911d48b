#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One HTTP GET into a file. The implementation lives with the desktop window, whose event
// loop it runs while it waits; this header only says what the prerequisites need of it.
namespace platform {

struct [[nodiscard]] TDownloadResult {
  bool ok = true;
  int httpStatus = 0;  // the answer's status, 0 when none arrived
  std::string message; // why it failed, in the words of the HTTP client
  explicit operator bool() const { return ok; }
  static TDownloadResult failure(int aHttpStatus, std::string aMessage) {
    return {false, aHttpStatus, std::move(aMessage)};
  }
};

// Handlers of a running download, called on the thread that called download().
struct TDownloadProgress {
  std::function<void(std::int64_t aTotal)> OnStart;       // once; -1 when the size is unknown
  std::function<void(std::int64_t aReceived)> OnReceived; // bytes so far, during the transfer
};

class IHttpDownload {
public:
  virtual ~IHttpDownload() = default;
  // Fetches aURL with one GET (following redirects) and writes the body of a successful
  // answer into aFile, a new file: a name that exists already (also as a link) fails, so that
  // nobody can have the download written elsewhere. Blocks until the transfer is over. An
  // answer of 400 and above is a failure. What was written of a failed transfer may remain.
  virtual TDownloadResult download(const std::string& aURL, const std::string& aFile,
                                   const TDownloadProgress& aProgress) = 0;
};

} // namespace platform
