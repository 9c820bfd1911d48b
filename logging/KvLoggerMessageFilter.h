#pragma once

#include "logging/KvLoggerMessage.h"

#include <iosfwd>
#include <memory>

// Base of all message filters: a copyable value that decides whether a message is wanted and
// can be written to and read from a stream.
class TKvLoggerMessageFilter {
public:
  virtual ~TKvLoggerMessageFilter() = default;
  virtual void reset() = 0;
  virtual bool match(const TKvLoggerMessage& aMessage) const = 0;
  virtual void saveToStream(std::ostream& aStream) const = 0;
  virtual void loadFromStream(std::istream& aStream) = 0;
  virtual std::unique_ptr<TKvLoggerMessageFilter> clone() const = 0;
};
