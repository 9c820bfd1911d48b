#include "logging/KvLogAppenderFile.h"

#include "common/SystemTools.h"
#include "platform/Files.h"
#include "platform/ProcessInfo.h"

#include <cerrno>
#include <stdexcept>
#include <thread>

namespace {

// The file is locked by another writer: worth a short wait, unlike every other failure.
class ELogFileLocked : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace

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

bool TKvLogAppenderFile::pausing() const {
  const std::int64_t now = NowUTC().totalMilliseconds();
  // A clock set back must not stretch the pause.
  return now < fPausedUntilMs && fPausedUntilMs - now <= fFailurePauseMs;
}

std::string TKvLogAppenderFile::lostMessagesLine(const TKvLoggerMessage& aEvent) const {
  if (fLostMessages == 0) {
    return {};
  }
  TKvLoggerMessage report(
      aEvent.getApplicationId(), aEvent.getInstanceId(), aEvent.getLogUser(), KVLL_WARN, "logging",
      std::to_string(fLostMessages) +
          " log messages lost while the log file could not be written: " + fLastFailure,
      "none", "", aEvent.getThreadId(), nullptr);
  report.setLogTimestamp(aEvent.getLogTimestamp());
  return fFormater->formatMessage(report) + "\r\n";
}

template <typename Attempt>
void TKvLogAppenderFile::withRetries(Attempt aAttempt) {
  if (pausing()) {
    ++fLostMessages;
    return;
  }
  for (int retriesLeft = fRetryCount;; --retriesLeft) {
    try {
      aAttempt();
      fLostMessages = 0;
      return;
    } catch (const ELogFileLocked& e) {
      if (OnWriteFailed) {
        OnWriteFailed(e.what());
      }
      if (retriesLeft > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(fRetryPauseMs));
        continue;
      }
      fLastFailure = e.what();
    } catch (const std::exception& e) {
      if (OnWriteFailed) {
        OnWriteFailed(e.what());
      }
      // Retrying a full or failing disk only holds up every thread that logs: rest instead.
      fLastFailure = e.what();
      fPausedUntilMs = NowUTC().totalMilliseconds() + fFailurePauseMs;
    } catch (...) {
      // Nothing of an attempt may reach the logger; any failure counts as a failed attempt.
      fLastFailure = "unknown error";
      fPausedUntilMs = NowUTC().totalMilliseconds() + fFailurePauseMs;
    }
    ++fLostMessages;
    return;
  }
}

void TKvLogAppenderFile::writeLine(const std::string& aFileName, const TKvLoggerMessage& aEvent) {
  const std::string directory = platform::extractFileDir(aFileName);
  if (!directory.empty()) {
    if (auto made = platform::forceDirectories(directory); !made) {
      throw std::runtime_error(made.message());
    }
  }
  // The report of lost messages and the message go in one write: both or neither.
  const std::string lines = lostMessagesLine(aEvent) + fFormater->formatMessage(aEvent) + "\r\n";
  if (auto written = platform::appendToFileExclusive(aFileName, lines); !written) {
    if (written.error == EWOULDBLOCK || written.error == EAGAIN) {
      throw ELogFileLocked(written.message());
    }
    throw std::runtime_error(aFileName + ": " + written.message());
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
      if (!platform::renameFile(current, from) && OnWriteFailed) {
        // The new day's lines go on into the current file; isNextDay is not asked again.
        OnWriteFailed("could not rename logfile \"" + current + "\" to \"" + from + "\".");
      }
    }
    writeLine(current, aEvent);
  });
}
