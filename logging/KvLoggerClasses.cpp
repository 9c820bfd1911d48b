#include "logging/KvLoggerClasses.h"

#include "common/TextEncoding.h"
#include "logging/KvLogAppenderFile.h"
#include "logging/KvLogAppenderTCP.h"
#include "logging/KvValueStream.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex& registryLock() {
  static std::mutex lock; // leaf: held only to read or change the list
  return lock;
}

std::vector<TKvLoggingClass>& registry() {
  static std::vector<TKvLoggingClass> classes;
  return classes;
}

template <typename T>
TKvLoggingClass filterClass(const std::string& aName) {
  return {aName, [] { return std::make_unique<T>(); }, {}, {}};
}

template <typename T>
TKvLoggingClass formaterClass(const std::string& aName) {
  return {aName, {}, [] { return std::make_unique<T>(); }, {}};
}

template <typename T>
TKvLoggingClass appenderClass(const std::string& aName) {
  return {aName, {}, {}, [] { return std::make_unique<T>(); }};
}

std::vector<TKvLoggingClass> loggingClasses() {
  return {
      filterClass<TKvLoggerMessageFilterLevelSet>("TKvLoggerMessageFilterLevelSet"),
      filterClass<TKvLoggerMessageFilterModuleEquals>("TKvLoggerMessageFilterModuleEquals"),
      filterClass<TKvLoggerMessageFilterModuleStarting>("TKvLoggerMessageFilterModuleStarting"),
      filterClass<TKvLoggerMessageFilterModuleContains>("TKvLoggerMessageFilterModuleContains"),
      filterClass<TKvLoggerMessageFilterMessageEquals>("TKvLoggerMessageFilterMessageEquals"),
      filterClass<TKvLoggerMessageFilterMessageStarting>("TKvLoggerMessageFilterMessageStarting"),
      filterClass<TKvLoggerMessageFilterMessageContains>("TKvLoggerMessageFilterMessageContains"),
      filterClass<TKvLoggerMessageFilterMachineEquals>("TKvLoggerMessageFilterMachineEquals"),
      filterClass<TKvLoggerMessageFilterApplicationEquals>(
          "TKvLoggerMessageFilterApplicationEquals"),
      formaterClass<TKvLogFormaterDefault>("TKvLogFormaterDefault"),
      formaterClass<TKvLogFormaterTCP>("TKvLogFormaterTCP"),
      appenderClass<TKvLogAppenderFile>("TKvLogAppenderFile"),
      appenderClass<TKvLogAppenderTCP>("TKvLogAppenderTCP"),
  };
}

bool findClass(const std::string& aName, TKvLoggingClass& aClass) {
  std::lock_guard lock(registryLock());
  const std::string wanted = lowerAscii(aName);
  for (const TKvLoggingClass& entry : registry()) {
    if (lowerAscii(entry.Name) == wanted) {
      aClass = entry;
      return true;
    }
  }
  return false;
}

// The classes are there from program start, before main runs.
[[maybe_unused]] const bool gRegisteredAtStart = (registerLoggingClasses(), true);

} // namespace

void registerLoggingClasses() {
  std::lock_guard lock(registryLock());
  for (TKvLoggingClass& entry : loggingClasses()) {
    auto& classes = registry();
    const bool known = std::any_of(classes.begin(), classes.end(),
                                   [&](const TKvLoggingClass& c) { return c.Name == entry.Name; });
    if (!known) {
      classes.push_back(std::move(entry));
    }
  }
}

void unregisterLoggingClasses() {
  std::lock_guard lock(registryLock());
  registry().clear();
}

bool isLoggingClassRegistered(const std::string& aName) {
  TKvLoggingClass found;
  return findClass(aName, found);
}

std::vector<std::string> registeredLoggingClassNames() {
  std::lock_guard lock(registryLock());
  std::vector<std::string> names;
  for (const TKvLoggingClass& entry : registry()) {
    names.push_back(entry.Name);
  }
  return names;
}

std::unique_ptr<TKvLoggerMessageFilter> createMessageFilter(const std::string& aName) {
  TKvLoggingClass found;
  return findClass(aName, found) && found.CreateFilter ? found.CreateFilter() : nullptr;
}

std::unique_ptr<TKvLogFormater> createLogFormater(const std::string& aName) {
  TKvLoggingClass found;
  return findClass(aName, found) && found.CreateFormater ? found.CreateFormater() : nullptr;
}

std::unique_ptr<TKvLogAppender> createLogAppender(const std::string& aName) {
  TKvLoggingClass found;
  return findClass(aName, found) && found.CreateAppender ? found.CreateAppender() : nullptr;
}

void saveMessageFilter(const TKvLoggerMessageFilter& aFilter, std::ostream& aStream) {
  TKvValueWriter(aStream).writeString(aFilter.getClassName());
  aFilter.saveToStream(aStream);
}

std::unique_ptr<TKvLoggerMessageFilter> loadMessageFilter(std::istream& aStream) {
  const std::string name = TKvValueReader(aStream).readString();
  auto filter = createMessageFilter(name);
  if (!filter) {
    throw EKvLoggerFilterParseError("parse error: \"" + name + "\" is no known filter class!");
  }
  filter->loadFromStream(aStream);
  return filter;
}
