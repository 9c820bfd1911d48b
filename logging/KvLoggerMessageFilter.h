#pragma once

#include "logging/KvLoggerMessage.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

// Raised by loadFromStream: a stored filter that is not in the form its class writes. Stream
// items of the wrong kind or a stream that ends early raise EKvStreamReadError
// (logging/KvValueStream.h) instead.
class EKvLoggerFilterParseError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Base of all message filters: a copyable value that decides whether a message is wanted and
// can be written to and read from a stream. Filters have no lock: a filter shared between
// threads is only read (match) after it has been configured.
class TKvLoggerMessageFilter {
public:
  virtual ~TKvLoggerMessageFilter() = default;
  virtual void reset() = 0;
  virtual bool match(const TKvLoggerMessage& aMessage) const = 0;
  virtual void saveToStream(std::ostream& aStream) const = 0;
  virtual void loadFromStream(std::istream& aStream) = 0;
  virtual std::unique_ptr<TKvLoggerMessageFilter> clone() const = 0;
  // The name under which the class is registered ("TKvLoggerMessageFilterLevelSet").
  virtual std::string getClassName() const = 0;

  // A null message never matches.
  bool matches(const TKvLoggerMessage* aMessage) const {
    return aMessage != nullptr && match(*aMessage);
  }
};

// Matches the messages whose level is in the set; initially every level.
class TKvLoggerMessageFilterLevelSet : public TKvLoggerMessageFilter {
public:
  void reset() override { fLevelSet = kAllLevels; }
  bool match(const TKvLoggerMessage& aMessage) const override {
    return fLevelSet.contains(aMessage.getLogLevel());
  }
  // A list of six identifier/boolean pairs, KVLL_TRACE to KVLL_FATAL.
  void saveToStream(std::ostream& aStream) const override;
  // Clears the set first; on a read error the set holds the levels read before it.
  void loadFromStream(std::istream& aStream) override;
  std::unique_ptr<TKvLoggerMessageFilter> clone() const override {
    return std::make_unique<TKvLoggerMessageFilterLevelSet>(*this);
  }
  std::string getClassName() const override { return "TKvLoggerMessageFilterLevelSet"; }

  void setLevel(TKvLoggerLevel aLevel) { fLevelSet.include(aLevel); }
  void unsetLevel(TKvLoggerLevel aLevel) { fLevelSet.exclude(aLevel); }
  void setLevelSet(TKvLoggerLevelSet aLevelSet) { fLevelSet = aLevelSet; }
  TKvLoggerLevelSet getLevelSet() const { return fLevelSet; }
  bool isLevelInSet(TKvLoggerLevel aLevel) const { return fLevelSet.contains(aLevel); }
  // aLevel and every level above it, nothing below.
  void setLevelAndAbove(TKvLoggerLevel aLevel);

  static constexpr TKvLoggerLevelSet kAllLevels{0x3F};

private:
  TKvLoggerLevelSet fLevelSet = kAllLevels;
};

// Base of the filters that compare a text of the message with the filter text, both in lower
// case. Equals filters with an empty text match only an empty text; Starting and Contains
// filters with an empty text match nothing.
class TKvLoggerMessageFilterByText : public TKvLoggerMessageFilter {
public:
  void reset() override { fText.clear(); }
  // Two string items: "FilterText", then the filter text.
  void saveToStream(std::ostream& aStream) const override;
  // Throws EKvLoggerFilterParseError when the first string is not "FilterText".
  void loadFromStream(std::istream& aStream) override;

  const std::string& getText() const { return fText; }
  void setText(std::string aText) { fText = std::move(aText); }

protected:
  bool equalsText(const std::string& aValue) const;
  bool startsWithText(const std::string& aValue) const;
  bool containsText(const std::string& aValue) const;

private:
  std::string fText;
};

#define KV_TEXT_FILTER_CLASS(name)                                                                 \
  class name : public TKvLoggerMessageFilterByText {                                               \
  public:                                                                                          \
    bool match(const TKvLoggerMessage& aMessage) const override;                                   \
    std::unique_ptr<TKvLoggerMessageFilter> clone() const override {                               \
      return std::make_unique<name>(*this);                                                        \
    }                                                                                              \
    std::string getClassName() const override { return #name; }                                    \
  };

// The module of the message equals / begins with / contains the filter text.
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterModuleEquals)
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterModuleStarting)
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterModuleContains)
// The message text equals / begins with / contains the filter text.
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterMessageEquals)
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterMessageStarting)
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterMessageContains)
// The application id equals the filter text.
KV_TEXT_FILTER_CLASS(TKvLoggerMessageFilterApplicationEquals)
#undef KV_TEXT_FILTER_CLASS

// Matches when OnMachineIdentRequired names, for the message, a machine whose name equals the
// filter text; without a handler it matches nothing. The handler runs on the matching thread.
class TKvLoggerMessageFilterMachineEquals : public TKvLoggerMessageFilterByText {
public:
  using TMachineIdentRequiredEvent =
      std::function<void(const TKvLoggerMessageFilterMachineEquals& aSender,
                         const TKvLoggerMessage& aMessage, std::string& aMachineIdent)>;

  bool match(const TKvLoggerMessage& aMessage) const override;
  std::unique_ptr<TKvLoggerMessageFilter> clone() const override {
    return std::make_unique<TKvLoggerMessageFilterMachineEquals>(*this);
  }
  std::string getClassName() const override { return "TKvLoggerMessageFilterMachineEquals"; }

  TMachineIdentRequiredEvent OnMachineIdentRequired;
};
