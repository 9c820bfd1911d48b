#include "logging/KvLogAppenderFile.h"

#include "common/SystemTools.h"
#include "platform/Files.h"
#include "platform/ProcessInfo.h"

#include <stdexcept>
#include <thread>

TKvLogAppenderFile::TKvLogAppenderFile()
    : fFormater(std::make_unique<TKvLogFormaterDefault>()), fDirectory(platform::programHome()),
      fFilenameBase(platform::programFileStem()), fLastDate(NowUTC().dayNumber()) {
  initLoggerFormatSettings(fFormatSettings);
}

void TKvLogAppenderFile::setDirectory(const std::string& aValue) {
  fDirectory = platform::nativePath(aValue);
}

void TKvLogAppenderFile::append(const TKvLoggerMessage& aEvent) {
  switch (fStrategy) {
  case KVLFS_SINGLEFILE:
    appendSingleFile(aEvent);
    break;
  case KVLFS_RENAME:
    appendRename(aEvent);
    break;
  default:
    appendNewFiles(aEvent);
    break;
  }
}

bool TKvLogAppenderFile::isNextDay() {
  const std::int64_t today = NowUTC().dayNumber();
  if (today > fLastDate) {
    fLastDate = today;
    return true;
  }
  return false;
}

std::string TKvLogAppenderFile::datedName(const std::string& aTail) const {
  const std::string date =
      formatDateTime(fFormatSettings.ShortDateFormat, NowUTC(), fFormatSettings);
  return fDirectory + fFilenameBase + "_" + aTail + (aTail.empty() ? "" : "_") + date + ".kvlog";
}

std::string TKvLogAppenderFile::currentFileName() const {
  switch (fStrategy) {
  case KVLFS_SINGLEFILE:
    return fDirectory + fFilenameBase + "_" + SC_ALLFILETAIL + ".kvlog";
  case KVLFS_RENAME:
    return fDirectory + fFilenameBase + "_" + SC_CURRENTFILETAIL + ".kvlog";
  default:
    return datedName("");
  }
}

template <typename Attempt>
void TKvLogAppenderFile::withRetries(Attempt aAttempt) {
  int counter = fRetryCount;
  for (;;) {
    try {
      aAttempt();
      counter = 0;
    } catch (const std::exception& e) {
      // A failed attempt is retried; after the last one the message is dropped silently.
      if (OnWriteFailed) {
        OnWriteFailed(e.what());
      }
    } catch (...) {
      // Nothing of an attempt may reach the logger; any failure counts as a failed attempt.
    }
    if (counter <= 0) {
      return;
    }
    --counter;
    std::this_thread::sleep_for(std::chrono::milliseconds(fRetryPauseMs));
  }
}

void TKvLogAppenderFile::writeLine(const std::string& aFileName, const TKvLoggerMessage& aEvent) {
  const std::string directory = platform::extractFileDir(aFileName);
  if (!directory.empty()) {
    if (auto made = platform::forceDirectories(directory); !made) {
      throw std::runtime_error(made.message());
    }
  }
  const std::string line = fFormater->formatMessage(aEvent) + "\r\n";
  if (auto written = platform::appendToFileExclusive(aFileName, line); !written) {
    throw std::runtime_error(written.message());
  }
}

void TKvLogAppenderFile::appendSingleFile(const TKvLoggerMessage& aEvent) {
  withRetries([&] { writeLine(currentFileName(), aEvent); });
}

void TKvLogAppenderFile::appendNewFiles(const TKvLoggerMessage& aEvent) {
  // The name is taken at each attempt, so a retry just after midnight goes to the new day.
  withRetries([&] { writeLine(datedName(""), aEvent); });
}

void TKvLogAppenderFile::appendRename(const TKvLoggerMessage& aEvent) {
  withRetries([&] {
    const std::string current = currentFileName();
    if (isNextDay() && platform::fileExists(current)) {
      const std::string from = datedName(SC_FILEFROM);
      if (!platform::renameFile(current, from)) {
        throw std::runtime_error("could not rename logfile \"" + current + "\" to \"" + from +
                                 "\".");
      }
    }
    writeLine(current, aEvent);
  });
}
