#pragma once

#include "logging/KvLogAppender.h"
#include "logging/KvLogFormater.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Writes each message as one default-format line (UTF-8, CR LF) to a ".kvlog" file. The file
// is opened, appended and closed for every message, so it can be moved or read in between.
// A failed attempt is retried fRetryCount times, 50 ms apart, then the message is dropped.
// No lock of its own: the logger calls append under its delivery lock. OnWriteFailed runs on
// the logging thread under that lock, once per failed attempt; it must not log.
class TKvLogAppenderFile : public TKvLogAppender {
public:
  static constexpr const char* SC_ALLFILETAIL = "all";
  static constexpr const char* SC_CURRENTFILETAIL = "current";
  static constexpr const char* SC_FILEFROM = "from";

  TKvLogAppenderFile();

  void append(const TKvLoggerMessage& aEvent) override;
  virtual void appendSingleFile(const TKvLoggerMessage& aEvent);
  virtual void appendNewFiles(const TKvLoggerMessage& aEvent);
  virtual void appendRename(const TKvLoggerMessage& aEvent);
  bool isNextDay();

  // The directory is a prefix of the file name: it must end with a separator to be a folder.
  const std::string& getDirectory() const { return fDirectory; }
  void setDirectory(const std::string& aValue);
  const std::string& getFilenameBase() const { return fFilenameBase; }
  void setFilenameBase(std::string aValue) { fFilenameBase = std::move(aValue); }
  int getRetryCount() const { return fRetryCount; }
  void setRetryCount(int aValue) { fRetryCount = aValue; }
  TKvLogAppenderFileStrategy getStrategy() const { return fStrategy; }
  void setStrategy(TKvLogAppenderFileStrategy aValue) { fStrategy = aValue; }
  void setRetryPauseMs(int aValue) { fRetryPauseMs = aValue; }

  // Told the reason of every failed attempt ("could not rename logfile ...", an open error).
  std::function<void(const std::string& aFailure)> OnWriteFailed;

  // The file the next message of the daily or single strategy goes to.
  std::string currentFileName() const;

private:
  std::string datedName(const std::string& aTail) const;
  // Runs aAttempt until it succeeds or the retries are used up; never throws.
  template <typename Attempt>
  void withRetries(Attempt aAttempt);
  void writeLine(const std::string& aFileName, const TKvLoggerMessage& aEvent);

  std::unique_ptr<TKvLogFormaterDefault> fFormater;
  TFormatSettings fFormatSettings;
  std::string fDirectory;
  std::string fFilenameBase;
  int fRetryCount = 10;
  TKvLogAppenderFileStrategy fStrategy = KVLFS_NEWFILES;
  std::int64_t fLastDate = 0;
  int fRetryPauseMs = 50;
};
