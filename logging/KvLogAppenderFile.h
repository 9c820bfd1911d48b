#pragma once

#include "logging/KvLogAppender.h"
#include "logging/KvLogFormater.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Writes each message as one default-format line (UTF-8, CR LF) to a ".kvlog" file. The file
// is opened, appended and closed for every message, so it can be moved or read in between.
// A file that another writer holds locked is tried again fRetryCount times, 50 ms apart. Any
// other failure (a full or failing disk, a missing permission) is not retried: the appender
// stops writing for fFailurePauseMs and drops the messages of that pause without touching the
// disk, so a broken log disk costs the threads that log nothing. The messages dropped are
// counted, and the first line written afterwards is preceded by a line that reports them. A
// line that could only be written in part is cut off again, so no line is ever cut.
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
  // How long the appender rests after a failed write before it tries the disk again.
  int getFailurePauseMs() const { return fFailurePauseMs; }
  void setFailurePauseMs(int aValue) { fFailurePauseMs = aValue; }
  // Messages dropped since the last line that reached the file (0 once reported).
  std::uint64_t getLostMessageCount() const { return fLostMessages; }

  // Told the reason of every failed attempt ("could not rename logfile ...", an open error).
  std::function<void(const std::string& aFailure)> OnWriteFailed;

  // The file the next message of the daily or single strategy goes to.
  std::string currentFileName() const;

private:
  std::string datedName(const std::string& aTail) const;
  // Runs aAttempt, again while the file is locked by another writer and retries are left;
  // never throws. A failure pauses the appender; a success reports what was lost before.
  template <typename Attempt>
  void withRetries(Attempt aAttempt);
  void writeLine(const std::string& aFileName, const TKvLoggerMessage& aEvent);
  // The line that reports the messages lost since the last one written, "" when none.
  std::string lostMessagesLine(const TKvLoggerMessage& aEvent) const;
  bool pausing() const;

  std::unique_ptr<TKvLogFormaterDefault> fFormater;
  TFormatSettings fFormatSettings;
  std::string fDirectory;
  std::string fFilenameBase;
  int fRetryCount = 10;
  TKvLogAppenderFileStrategy fStrategy = KVLFS_NEWFILES;
  std::int64_t fLastDate = 0;
  int fRetryPauseMs = 50;
  int fFailurePauseMs = 5000;
  // The pause after a failure ends at this UTC time (in milliseconds since 1899).
  std::int64_t fPausedUntilMs = 0;
  std::uint64_t fLostMessages = 0;
  std::string fLastFailure;
};
