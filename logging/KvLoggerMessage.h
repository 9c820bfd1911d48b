#pragma once

#include "common/DateTime.h"
#include "logging/KvLoggerTypes.h"

#include <exception>
#include <string>

// The class name of an exception object as the logs show it ("EConvertError"), or "".
std::string exceptionClassName(const std::exception* aException);

// One log message: who, when, how severe, what. A copyable value; the logger builds one per
// call on the calling thread (so the thread id names the caller) and hands it to the appenders.
// fException is a non-owning reference valid only during delivery.
class TKvLoggerMessage {
public:
  TKvLoggerMessage(std::string aApplicationId, std::string aInstanceId, std::string aLogUser,
                   TKvLoggerLevel aLevel, std::string aMessage);
  TKvLoggerMessage(std::string aApplicationId, std::string aInstanceId, std::string aLogUser,
                   TKvLoggerLevel aLevel, std::string aModule, std::string aMessage,
                   std::string aCategory, std::string aLanguage, const std::exception* aException);
  // An empty aThreadId stands for the constructing thread.
  TKvLoggerMessage(std::string aApplicationId, std::string aInstanceId, std::string aLogUser,
                   TKvLoggerLevel aLevel, std::string aModule, std::string aMessage,
                   std::string aCategory, std::string aLanguage, std::string aThreadId,
                   const std::exception* aException);

  void AssignTo(TKvLoggerMessage& aTarget) const { aTarget = *this; }

  const std::string& getApplicationId() const { return fApplicationId; }
  void setApplicationId(std::string aValue) { fApplicationId = std::move(aValue); }
  const std::string& getInstanceId() const { return fInstanceId; }
  void setInstanceId(std::string aValue) { fInstanceId = std::move(aValue); }
  const std::string& getLogUser() const { return fLogUser; }
  void setLogUser(std::string aValue) { fLogUser = std::move(aValue); }
  const std::string& getThreadId() const { return fThreadId; }
  void setThreadId(std::string aValue) { fThreadId = std::move(aValue); }
  TKvLoggerLevel getLogLevel() const { return fLevel; }
  void setLogLevel(TKvLoggerLevel aValue) { fLevel = aValue; }
  const std::string& getLogCategory() const { return fCategory; }
  void setLogCategory(std::string aValue) { fCategory = std::move(aValue); }
  const std::string& getLogModule() const { return fModule; }
  void setLogModule(std::string aValue) { fModule = std::move(aValue); }
  const std::string& getLogMessage() const { return fMessage; }
  void setLogMessage(std::string aValue) { fMessage = std::move(aValue); }
  TDateTime getLogTimestamp() const { return fTimestamp; }
  void setLogTimestamp(TDateTime aValue) { fTimestamp = aValue; }
  const std::exception* getLogException() const { return fException; }
  void setLogException(const std::exception* aValue) { fException = aValue; }
  const std::string& getLogExceptionClassName() const { return fExceptionClassName; }
  void setLogExceptionClassName(std::string aValue) { fExceptionClassName = std::move(aValue); }
  const std::string& getLanguage() const { return fLanguage; }
  void setLanguage(std::string aValue) { fLanguage = std::move(aValue); }
  const std::string& getStackTrace() const { return fStackTrace; }
  void setStackTrace(std::string aValue) { fStackTrace = std::move(aValue); }

private:
  std::string fApplicationId;
  std::string fInstanceId;
  std::string fLogUser;
  std::string fThreadId;
  TKvLoggerLevel fLevel = KVLL_INFO;
  std::string fCategory;
  std::string fModule;
  std::string fMessage;
  TDateTime fTimestamp;
  const std::exception* fException = nullptr;
  std::string fExceptionClassName;
  std::string fLanguage;
  std::string fStackTrace;
};
