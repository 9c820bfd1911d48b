#pragma once

#include "logging/KvLogAppender.h"
#include "logging/KvLoggerMessageFilter.h"
#include "platform/Locks.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TKvLogAppenderFile;
class TKvLogAppenderTCP;

// The process-wide logger. Any thread may log at any time, also while holding its own locks:
// the logger's locks are leaves of every lock order.
// Lock order inside: fCSCurrentLevel, fCSApplicationID and fCSFilters (short, each alone),
// fCSLog around delivery and appender configuration (fCSApplicationID may be taken inside it).
// fCSLog is re-entrant so that an appender that logs about itself (an overflow handler) does not
// dead-lock.
class TKvLogger {
public:
  TKvLogger();
  virtual ~TKvLogger();
  TKvLogger(const TKvLogger&) = delete;
  TKvLogger& operator=(const TKvLogger&) = delete;

  // The core delivery: level test, filters, then every appender in order under fCSLog.
  void log(const TKvLoggerMessage& aEvent);
  void log(TKvLoggerLevel aLevel, const std::string& aMessage);
  void log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage);
  void log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage,
           TKvLoggerCategory aCategory, const std::exception* aException);
  void log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage,
           const std::string& aCategoryAsString, const std::exception* aException);
  void log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage,
           const std::string& aCategoryAsString, const std::string& aLanguage,
           const std::exception* aException);

#define KV_LOGGER_LEVEL_SHORTHANDS(name, level)                                                    \
  void name(const std::string& aMessage) {                                                         \
    log(level, aMessage);                                                                          \
  }                                                                                                \
  void name(const std::string& aModule, const std::string& aMessage) {                             \
    log(level, aModule, aMessage, KVLCAT_NONE, nullptr);                                           \
  }                                                                                                \
  void name(const std::string& aModule, const std::string& aMessage, TKvLoggerCategory aCategory,  \
            const std::exception* aException) {                                                    \
    log(level, aModule, aMessage, aCategory, aException);                                          \
  }
  KV_LOGGER_LEVEL_SHORTHANDS(fatal, KVLL_FATAL)
  KV_LOGGER_LEVEL_SHORTHANDS(error, KVLL_ERROR)
  KV_LOGGER_LEVEL_SHORTHANDS(warn, KVLL_WARN)
  KV_LOGGER_LEVEL_SHORTHANDS(info, KVLL_INFO)
  KV_LOGGER_LEVEL_SHORTHANDS(debug, KVLL_DEBUG)
  KV_LOGGER_LEVEL_SHORTHANDS(trace, KVLL_TRACE)
#undef KV_LOGGER_LEVEL_SHORTHANDS

  bool isTrace() const {
    return getCurrentLevel() <= KVLL_TRACE;
  }
  bool isDebug() const {
    return getCurrentLevel() <= KVLL_DEBUG;
  }
  bool isInfo() const {
    return getCurrentLevel() <= KVLL_INFO;
  }
  bool isWarn() const {
    return getCurrentLevel() <= KVLL_WARN;
  }
  bool isError() const {
    return getCurrentLevel() <= KVLL_ERROR;
  }
  bool isFatal() const {
    return true;
  }

  TKvLoggerLevel getCurrentLevel() const;
  void setCurrentLevel(TKvLoggerLevel aLevel);
  static bool isImportantLogLevel(TKvLoggerLevel aRelativeBaseLevel, TKvLoggerLevel aLevelToTest) {
    return aLevelToTest >= aRelativeBaseLevel;
  }

  virtual bool matchFilters(const TKvLoggerMessage& aEvent) const;
  virtual std::string getMachineIdent() const;

  // The list holds references; these never destroy an appender. Each waits for a delivery
  // under way.
  void addAppender(TKvLogAppender* aAppender) EXCLUDES(fCSLog);
  TKvLogAppender* deleteAppender(int aIndex) EXCLUDES(fCSLog);
  void clearAppenders() EXCLUDES(fCSLog);
  int getAppenderCount() const EXCLUDES(fCSLog);
  TKvLogAppender* getAppender(int aIndex) const EXCLUDES(fCSLog);

  // Appenders whose owner is this logger; destroyed with it.
  TKvLogAppender* adoptAppender(std::unique_ptr<TKvLogAppender> aAppender) EXCLUDES(fCSLog);
  // Filters are owned by the logger's filter list.
  void addFilter(std::unique_ptr<TKvLoggerMessageFilter> aFilter) EXCLUDES(fCSFilters);

  void initializeFileLogging(const std::string& aApplicationId, const std::string& aLogDirectory,
                             const std::string& aBaseFilename, int aRetryCount,
                             TKvLogAppenderFileStrategy aStrategy) EXCLUDES(fCSLog);

  // Configures every TCP appender of the list, or creates one owned by the logger: machine
  // ident (the computer name when empty), host, port, retries, login and the levels to send.
  // A new appender connects when the first message reaches it.
  void initializeServerTCPLogging(const std::string& aApplicationId, const std::string& aHostOrIP,
                                  int aPort, const std::string& aMachineIdent, int aRetryCount,
                                  const std::string& aUsername, const std::string& aPassword,
                                  TKvLoggerLevelSet aLevelFilter) EXCLUDES(fCSLog);

  // Read by every logging thread while start-up may replace it: a copy under its own lock.
  std::string getApplicationID() const EXCLUDES(fCSApplicationID);
  const std::string& getInstanceID() const {
    return fInstanceID;
  }
  const std::string& getUserIdent() const {
    return fUserIdent;
  }

protected:
  void setApplicationID(const std::string& aApplicationId) EXCLUDES(fCSApplicationID);
  void addAppenderLocked(TKvLogAppender* aAppender) REQUIRES(fCSLog);
  TKvLogAppender* adoptAppenderLocked(std::unique_ptr<TKvLogAppender> aAppender) REQUIRES(fCSLog);

  // The appenders of the list that are of type T.
  template <typename T>
  std::vector<T*> appendersOfType() const REQUIRES(fCSLog) {
    std::vector<T*> result;
    for (const auto& item : fAppenders) {
      if (auto* typed = dynamic_cast<T*>(item.getAppender())) {
        result.push_back(typed);
      }
    }
    return result;
  }

  // The delivery lock: appenders run one at a time. Re-entrant: an appender may log.
  mutable TRecursiveCriticalSection fCSLog;
  TFormatSettings fLogFormatSettings;
  mutable TCriticalSection fCSApplicationID; // leaf, held only to copy or replace the text
  std::string fApplicationID GUARDED_BY(fCSApplicationID);
  std::string fInstanceID;
  std::string fUserIdent;
  std::string fLanguage;
  mutable TCriticalSection fCSCurrentLevel; // leaf; read before the delivery lock
  TKvLoggerLevel fCurrentLevel GUARDED_BY(fCSCurrentLevel) = KVLL_INFO;
  TKvLoggerCollection fAppenders GUARDED_BY(fCSLog);
  mutable TCriticalSection fCSFilters; // leaf
  std::vector<std::unique_ptr<TKvLoggerMessageFilter>> fFilters GUARDED_BY(fCSFilters);
  std::vector<std::unique_ptr<TKvLogAppender>> fOwnedAppenders GUARDED_BY(fCSLog);
};

// The default logger of the process. It is created on first use with one daily file appender
// in the program's home directory (the logging classes are registered by name then, if they
// are not yet); finalizeLogging destroys it at program end and removes the registrations.
TKvLogger& Logger();
void finalizeLogging();
