#pragma once

#include "logging/KvLoggerMessage.h"

#include <vector>

// Base of all appenders. The logger calls append only under its delivery lock, so appenders
// never run concurrently with each other. An appender is owned by whoever created it (for the
// appenders the logger creates itself: the logger), never by the logger's appender list.
class TKvLogAppender {
public:
  virtual ~TKvLogAppender() = default;
  virtual void append(const TKvLoggerMessage& aEvent) = 0;
};

// One entry of the logger's appender list: a non-owning reference.
class TKvLoggerCollectionItem {
public:
  explicit TKvLoggerCollectionItem(TKvLogAppender* aAppender = nullptr) : fAppender(aAppender) {}
  TKvLogAppender* getAppender() const { return fAppender; }
  void setAppender(TKvLogAppender* aAppender) { fAppender = aAppender; }
  void append(const TKvLoggerMessage& aEvent) {
    if (fAppender != nullptr) {
      fAppender->append(aEvent);
    }
  }

private:
  TKvLogAppender* fAppender; // not owned
};

using TKvLoggerCollection = std::vector<TKvLoggerCollectionItem>;
