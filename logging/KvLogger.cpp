#include "logging/KvLogger.h"

#include "logging/KvLogAppenderFile.h"
#include "logging/KvLogAppenderTCP.h"
#include "logging/KvLoggerClasses.h"
#include "platform/ProcessInfo.h"

#include <atomic>

TKvLogger::TKvLogger()
    : fApplicationID(platform::programFileStem()),
      fInstanceID(std::to_string(platform::processId())), fUserIdent(platform::userName()) {
  initLoggerFormatSettings(fLogFormatSettings);
}

TKvLogger::~TKvLogger() {
  TScopedLock lock(fCSLog);
  fAppenders.clear();
  // Owned appenders go in reverse order of creation; a TCP appender stops its thread first.
  while (!fOwnedAppenders.empty()) {
    fOwnedAppenders.pop_back();
  }
}

void TKvLogger::log(const TKvLoggerMessage& aEvent) {
  if (!isImportantLogLevel(getCurrentLevel(), aEvent.getLogLevel())) {
    return;
  }
  if (!matchFilters(aEvent)) {
    return;
  }
  TScopedLock lock(fCSLog);
  for (auto& item : fAppenders) {
    item.append(aEvent);
  }
}

void TKvLogger::log(TKvLoggerLevel aLevel, const std::string& aMessage) {
  if (!isImportantLogLevel(getCurrentLevel(), aLevel)) {
    return;
  }
  log(TKvLoggerMessage(getApplicationID(), fInstanceID, fUserIdent, aLevel, aMessage));
}

void TKvLogger::log(TKvLoggerLevel aLevel, const std::string& aModule,
                    const std::string& aMessage) {
  log(aLevel, aModule, aMessage, convertCategoryToString(KVLCAT_NONE), fLanguage, nullptr);
}

void TKvLogger::log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage,
                    TKvLoggerCategory aCategory, const std::exception* aException) {
  log(aLevel, aModule, aMessage, convertCategoryToString(aCategory), fLanguage, aException);
}

void TKvLogger::log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage,
                    const std::string& aCategoryAsString, const std::exception* aException) {
  log(aLevel, aModule, aMessage, aCategoryAsString, fLanguage, aException);
}

void TKvLogger::log(TKvLoggerLevel aLevel, const std::string& aModule, const std::string& aMessage,
                    const std::string& aCategoryAsString, const std::string& aLanguage,
                    const std::exception* aException) {
  // The level is tested before the message is built: building it reads the clock.
  if (!isImportantLogLevel(getCurrentLevel(), aLevel)) {
    return;
  }
  log(TKvLoggerMessage(getApplicationID(), fInstanceID, fUserIdent, aLevel, aModule, aMessage,
                       aCategoryAsString, aLanguage, aException));
}

std::string TKvLogger::getApplicationID() const {
  TScopedLock lock(fCSApplicationID);
  return fApplicationID;
}

void TKvLogger::setApplicationID(const std::string& aApplicationId) {
  TScopedLock lock(fCSApplicationID);
  fApplicationID = aApplicationId;
}

TKvLoggerLevel TKvLogger::getCurrentLevel() const {
  TScopedLock lock(fCSCurrentLevel);
  return fCurrentLevel;
}

void TKvLogger::setCurrentLevel(TKvLoggerLevel aLevel) {
  TScopedLock lock(fCSCurrentLevel);
  fCurrentLevel = aLevel;
}

bool TKvLogger::matchFilters(const TKvLoggerMessage& aEvent) const {
  TScopedLock lock(fCSFilters);
  for (const auto& filter : fFilters) {
    if (!filter->match(aEvent)) {
      return false;
    }
  }
  return true;
}

std::string TKvLogger::getMachineIdent() const {
  return platform::computerName();
}

void TKvLogger::addAppender(TKvLogAppender* aAppender) {
  TScopedLock lock(fCSLog);
  addAppenderLocked(aAppender);
}

void TKvLogger::addAppenderLocked(TKvLogAppender* aAppender) {
  fAppenders.emplace_back(aAppender);
}

TKvLogAppender* TKvLogger::deleteAppender(int aIndex) {
  TScopedLock lock(fCSLog);
  if (aIndex < 0 || aIndex >= static_cast<int>(fAppenders.size())) {
    return nullptr;
  }
  TKvLogAppender* appender = fAppenders[static_cast<std::size_t>(aIndex)].getAppender();
  fAppenders.erase(fAppenders.begin() + aIndex);
  return appender;
}

void TKvLogger::clearAppenders() {
  TScopedLock lock(fCSLog);
  fAppenders.clear();
}

int TKvLogger::getAppenderCount() const {
  TScopedLock lock(fCSLog);
  return static_cast<int>(fAppenders.size());
}

TKvLogAppender* TKvLogger::getAppender(int aIndex) const {
  TScopedLock lock(fCSLog);
  if (aIndex < 0 || aIndex >= static_cast<int>(fAppenders.size())) {
    return nullptr;
  }
  return fAppenders[static_cast<std::size_t>(aIndex)].getAppender();
}

TKvLogAppender* TKvLogger::adoptAppender(std::unique_ptr<TKvLogAppender> aAppender) {
  TScopedLock lock(fCSLog);
  return adoptAppenderLocked(std::move(aAppender));
}

TKvLogAppender* TKvLogger::adoptAppenderLocked(std::unique_ptr<TKvLogAppender> aAppender) {
  fOwnedAppenders.push_back(std::move(aAppender));
  return fOwnedAppenders.back().get();
}

void TKvLogger::addFilter(std::unique_ptr<TKvLoggerMessageFilter> aFilter) {
  TScopedLock lock(fCSFilters);
  fFilters.push_back(std::move(aFilter));
}

void TKvLogger::initializeFileLogging(const std::string& aApplicationId,
                                      const std::string& aLogDirectory,
                                      const std::string& aBaseFilename, int aRetryCount,
                                      TKvLogAppenderFileStrategy aStrategy) {
  TScopedLock lock(fCSLog);
  const auto configure = [&](TKvLogAppenderFile& aAppender) {
    aAppender.setDirectory(aLogDirectory);
    aAppender.setFilenameBase(aBaseFilename);
    aAppender.setRetryCount(aRetryCount);
    aAppender.setStrategy(aStrategy);
  };
  const auto fileAppenders = appendersOfType<TKvLogAppenderFile>();
  for (TKvLogAppenderFile* appender : fileAppenders) {
    configure(*appender);
  }
  if (fileAppenders.empty()) {
    auto appender = std::make_unique<TKvLogAppenderFile>();
    configure(*appender);
    addAppenderLocked(adoptAppenderLocked(std::move(appender)));
  }
  setApplicationID(aApplicationId);
}

void TKvLogger::initializeServerTCPLogging(const std::string& aApplicationId,
                                           const std::string& aHostOrIP, int aPort,
                                           const std::string& aMachineIdent, int aRetryCount,
                                           const std::string& aUsername,
                                           const std::string& aPassword,
                                           TKvLoggerLevelSet aLevelFilter) {
  TScopedLock lock(fCSLog);
  const std::string machineIdent = aMachineIdent.empty() ? getMachineIdent() : aMachineIdent;
  auto configure = [&](TKvLogAppenderTCP& aAppender) {
    // Through the setter, so that the formatter, which writes the ident into every line,
    // sends the new one too.
    aAppender.setMachineIdent(machineIdent);
    aAppender.setHostOrIP(aHostOrIP);
    aAppender.setPort(aPort);
    aAppender.setRetryCount(aRetryCount);
    aAppender.setUsername(aUsername);
    aAppender.setPassword(aPassword);
    aAppender.getLevelFilter().setLevelSet(aLevelFilter);
  };
  const auto tcpAppenders = appendersOfType<TKvLogAppenderTCP>();
  for (TKvLogAppenderTCP* appender : tcpAppenders) {
    configure(*appender);
  }
  if (tcpAppenders.empty()) {
    auto appender = std::make_unique<TKvLogAppenderTCP>();
    configure(*appender);
    addAppenderLocked(adoptAppenderLocked(std::move(appender)));
  }
  setApplicationID(aApplicationId);
}

namespace {
std::mutex gDefaultLoggerLock; // leaf: guards creation and destruction of the default logger
std::atomic<TKvLogger*> gDefaultLogger{nullptr};
std::atomic<bool> gLoggingFinalized{false};

TKvLogger& finalizedLogger() {
  // After finalizeLogging, late messages go to a logger without appenders.
  static TKvLogger* silent = new TKvLogger();
  return *silent;
}
} // namespace

TKvLogger& Logger() {
  if (TKvLogger* logger = gDefaultLogger.load(std::memory_order_acquire)) {
    return *logger;
  }
  std::lock_guard lock(gDefaultLoggerLock);
  if (gLoggingFinalized.load()) {
    return finalizedLogger();
  }
  if (gDefaultLogger.load() == nullptr) {
    registerLoggingClasses();
    auto* logger = new TKvLogger();
    logger->addAppender(logger->adoptAppender(std::make_unique<TKvLogAppenderFile>()));
    gDefaultLogger.store(logger, std::memory_order_release);
  }
  return *gDefaultLogger.load();
}

void finalizeLogging() {
  std::lock_guard lock(gDefaultLoggerLock);
  gLoggingFinalized.store(true);
  delete gDefaultLogger.exchange(nullptr);
  unregisterLoggingClasses();
}
