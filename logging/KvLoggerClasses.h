#pragma once

#include "logging/KvLogAppender.h"
#include "logging/KvLogFormater.h"
#include "logging/KvLoggerMessageFilter.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// The classes of the logging subsystem that can be recreated from their name: the nine
// message filters, both formatters and both appenders. They are registered when the program
// starts and when the default logger is created, and removed by finalizeLogging. Lookups are
// case-insensitive. All operations are thread-safe (one leaf lock).
struct TKvLoggingClass {
  std::string Name;
  // Exactly one of them is set, after the kind of class.
  std::function<std::unique_ptr<TKvLoggerMessageFilter>()> CreateFilter;
  std::function<std::unique_ptr<TKvLogFormater>()> CreateFormater;
  std::function<std::unique_ptr<TKvLogAppender>()> CreateAppender;
};

void registerLoggingClasses(); // again after unregisterLoggingClasses; twice is harmless
void unregisterLoggingClasses();
bool isLoggingClassRegistered(const std::string& aName);
std::vector<std::string> registeredLoggingClassNames();

// A new object of the registered class aName, or null when no class of that kind has the name.
std::unique_ptr<TKvLoggerMessageFilter> createMessageFilter(const std::string& aName);
std::unique_ptr<TKvLogFormater> createLogFormater(const std::string& aName);
std::unique_ptr<TKvLogAppender> createLogAppender(const std::string& aName);

// A stored filter: its class name as a string item, then the filter's own stream form.
void saveMessageFilter(const TKvLoggerMessageFilter& aFilter, std::ostream& aStream);
// Throws EKvStreamReadError for a damaged stream, EKvLoggerFilterParseError for a class name
// that is not a registered filter or a body its class does not accept.
std::unique_ptr<TKvLoggerMessageFilter> loadMessageFilter(std::istream& aStream);
