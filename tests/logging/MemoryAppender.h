#pragma once

#include "logging/KvLogAppender.h"

#include <mutex>
#include <vector>

// Keeps a copy of every message it receives, for tests that check what reached an appender.
// append runs under the logger's delivery lock; the copies are read under the appender's own.
class TMemoryAppender : public TKvLogAppender {
public:
  void append(const TKvLoggerMessage& aEvent) override {
    std::lock_guard lock(fCSMessages);
    fMessages.push_back(aEvent);
  }
  std::vector<TKvLoggerMessage> messages() const {
    std::lock_guard lock(fCSMessages);
    return fMessages;
  }
  std::size_t count() const {
    std::lock_guard lock(fCSMessages);
    return fMessages.size();
  }

private:
  mutable std::mutex fCSMessages;
  std::vector<TKvLoggerMessage> fMessages;
};
