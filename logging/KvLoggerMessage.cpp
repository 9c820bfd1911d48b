#include "logging/KvLoggerMessage.h"

#include "common/SystemTools.h"
#include "platform/ProcessInfo.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

std::string exceptionClassName(const std::exception* aException) {
  if (aException == nullptr) {
    return {};
  }
  const char* mangled = typeid(*aException).name();
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

TKvLoggerMessage::TKvLoggerMessage(std::string aApplicationId, std::string aInstanceId,
                                   std::string aLogUser, TKvLoggerLevel aLevel,
                                   std::string aMessage)
    : TKvLoggerMessage(std::move(aApplicationId), std::move(aInstanceId), std::move(aLogUser),
                       aLevel, std::string(), std::move(aMessage), std::string(), std::string(),
                       std::string(), nullptr) {}

TKvLoggerMessage::TKvLoggerMessage(std::string aApplicationId, std::string aInstanceId,
                                   std::string aLogUser, TKvLoggerLevel aLevel, std::string aModule,
                                   std::string aMessage, std::string aCategory,
                                   std::string aLanguage, const std::exception* aException)
    : TKvLoggerMessage(std::move(aApplicationId), std::move(aInstanceId), std::move(aLogUser),
                       aLevel, std::move(aModule), std::move(aMessage), std::move(aCategory),
                       std::move(aLanguage), std::string(), aException) {}

TKvLoggerMessage::TKvLoggerMessage(std::string aApplicationId, std::string aInstanceId,
                                   std::string aLogUser, TKvLoggerLevel aLevel, std::string aModule,
                                   std::string aMessage, std::string aCategory,
                                   std::string aLanguage, std::string aThreadId,
                                   const std::exception* aException)
    : fApplicationId(std::move(aApplicationId)), fInstanceId(std::move(aInstanceId)),
      fLogUser(std::move(aLogUser)),
      fThreadId(aThreadId.empty() ? std::to_string(platform::threadId()) : std::move(aThreadId)),
      fLevel(aLevel), fCategory(std::move(aCategory)), fModule(std::move(aModule)),
      fMessage(std::move(aMessage)), fTimestamp(NowUTC()), fException(aException),
      fExceptionClassName(exceptionClassName(aException)), fLanguage(std::move(aLanguage)) {}
