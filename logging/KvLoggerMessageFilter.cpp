#include "logging/KvLoggerMessageFilter.h"

#include "common/TextEncoding.h"
#include "logging/KvValueStream.h"

#include <array>

namespace {

const std::array<const char*, 6> kLevelNames = {"KVLL_TRACE", "KVLL_DEBUG", "KVLL_INFO",
                                                "KVLL_WARN",  "KVLL_ERROR", "KVLL_FATAL"};

constexpr const char* SC_FILTERTEXT = "FilterText";

// Lower case for ASCII and for the Latin-1 capitals (À to Þ, without ×), so that German texts
// compare as a reader expects; every other byte stays as it is.
std::string lowerText(const std::string& aText) {
  std::string result = aText;
  for (std::size_t i = 0; i < result.size(); ++i) {
    const auto c = static_cast<unsigned char>(result[i]);
    if (c >= 'A' && c <= 'Z') {
      result[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < result.size()) {
      const auto next = static_cast<unsigned char>(result[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) {
        result[i + 1] = static_cast<char>(next + 32);
      }
      ++i;
    }
  }
  return result;
}

} // namespace

void TKvLoggerMessageFilterLevelSet::setLevelAndAbove(TKvLoggerLevel aLevel) {
  for (int level = KVLL_TRACE; level <= KVLL_FATAL; ++level) {
    const auto value = static_cast<TKvLoggerLevel>(level);
    if (value < aLevel) {
      unsetLevel(value);
    } else {
      setLevel(value);
    }
  }
}

void TKvLoggerMessageFilterLevelSet::saveToStream(std::ostream& aStream) const {
  TKvValueWriter writer(aStream);
  writer.writeListBegin();
  for (int level = KVLL_TRACE; level <= KVLL_FATAL; ++level) {
    writer.writeIdent(kLevelNames[static_cast<std::size_t>(level)]);
    writer.writeBoolean(isLevelInSet(static_cast<TKvLoggerLevel>(level)));
  }
  writer.writeListEnd();
}

void TKvLoggerMessageFilterLevelSet::loadFromStream(std::istream& aStream) {
  TKvValueReader reader(aStream);
  fLevelSet = TKvLoggerLevelSet();
  reader.readListBegin();
  for (int level = KVLL_TRACE; level <= KVLL_FATAL; ++level) {
    reader.readIdent(); // the position gives the level, not the name
    if (reader.readBoolean()) {
      setLevel(static_cast<TKvLoggerLevel>(level));
    }
  }
  reader.readListEnd();
}

void TKvLoggerMessageFilterByText::saveToStream(std::ostream& aStream) const {
  TKvValueWriter writer(aStream);
  writer.writeString(SC_FILTERTEXT);
  writer.writeString(fText);
}

void TKvLoggerMessageFilterByText::loadFromStream(std::istream& aStream) {
  TKvValueReader reader(aStream);
  if (lowerAscii(reader.readString()) != "filtertext") {
    throw EKvLoggerFilterParseError("parse error: \"FilterText\" expected!");
  }
  fText = reader.readString();
}

bool TKvLoggerMessageFilterByText::equalsText(const std::string& aValue) const {
  return lowerText(aValue) == lowerText(fText);
}

bool TKvLoggerMessageFilterByText::startsWithText(const std::string& aValue) const {
  return !fText.empty() && lowerText(aValue).starts_with(lowerText(fText));
}

bool TKvLoggerMessageFilterByText::containsText(const std::string& aValue) const {
  return !fText.empty() && lowerText(aValue).find(lowerText(fText)) != std::string::npos;
}

bool TKvLoggerMessageFilterModuleEquals::match(const TKvLoggerMessage& aMessage) const {
  return equalsText(aMessage.getLogModule());
}

bool TKvLoggerMessageFilterModuleStarting::match(const TKvLoggerMessage& aMessage) const {
  return startsWithText(aMessage.getLogModule());
}

bool TKvLoggerMessageFilterModuleContains::match(const TKvLoggerMessage& aMessage) const {
  return containsText(aMessage.getLogModule());
}

bool TKvLoggerMessageFilterMessageEquals::match(const TKvLoggerMessage& aMessage) const {
  return equalsText(aMessage.getLogMessage());
}

bool TKvLoggerMessageFilterMessageStarting::match(const TKvLoggerMessage& aMessage) const {
  return startsWithText(aMessage.getLogMessage());
}

bool TKvLoggerMessageFilterMessageContains::match(const TKvLoggerMessage& aMessage) const {
  return containsText(aMessage.getLogMessage());
}

bool TKvLoggerMessageFilterApplicationEquals::match(const TKvLoggerMessage& aMessage) const {
  return equalsText(aMessage.getApplicationId());
}

bool TKvLoggerMessageFilterMachineEquals::match(const TKvLoggerMessage& aMessage) const {
  if (!OnMachineIdentRequired) {
    return false;
  }
  std::string machineIdent;
  OnMachineIdentRequired(*this, aMessage, machineIdent);
  return equalsText(machineIdent);
}
