#include "modem/VTSerialModemAnswers.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace {

bool isBlankOrControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7F;
}

std::vector<std::string_view> splitAtComma(std::string_view aText) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const auto comma = aText.find(',', start);
    fields.push_back(aText.substr(start, comma - start));
    if (comma == std::string_view::npos) {
      return fields;
    }
    start = comma + 1;
  }
}

constexpr int IC_SENDRESULTUNKNOWNERROR = 1;
constexpr int IC_SENDRESULTMODEMERROR = 2;

} // namespace

std::vector<std::string> splitModemAnswer(std::string_view aText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < aText.size()) {
    const char c = aText[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.emplace_back(aText.substr(start, i - start));
    i += (c == '\r' && i + 1 < aText.size() && aText[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < aText.size()) {
    lines.emplace_back(aText.substr(start));
  }
  return lines;
}

std::string joinModemAnswer(const std::vector<std::string>& aLines) {
  std::string text;
  for (const auto& line : aLines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string withModemLineEnd(std::string_view aText) {
  std::string text(aText);
  const bool ended = text.size() >= 2 && (text.back() == '\n' || text[text.size() - 2] == '\r');
  if (!ended) {
    text += "\r\n";
  }
  return text;
}

int modemStrToIntDef(std::string_view aText, int aDefault) {
  std::size_t i = 0;
  while (i < aText.size() && (aText[i] == ' ' || aText[i] == '\t')) {
    ++i;
  }
  bool negative = false;
  if (i < aText.size() && (aText[i] == '+' || aText[i] == '-')) {
    negative = aText[i] == '-';
    ++i;
  }
  if (i == aText.size()) {
    return aDefault;
  }
  long long value = 0;
  for (; i < aText.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(aText[i]))) {
      return aDefault;
    }
    value = value * 10 + (aText[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      return aDefault;
    }
  }
  value = negative ? -value : value;
  return value < INT_MIN || value > INT_MAX ? aDefault : static_cast<int>(value);
}

std::string_view trimModemLine(std::string_view aText) {
  while (!aText.empty() && isBlankOrControl(aText.front())) {
    aText.remove_prefix(1);
  }
  while (!aText.empty() && isBlankOrControl(aText.back())) {
    aText.remove_suffix(1);
  }
  return aText;
}

bool parseCPMSReport(std::string_view aLine, int& aDefaultStorage, int& aSendStorage,
                     int& aReceiveStorage) {
  const auto marker = aLine.find("+CPMS");
  if (marker == std::string_view::npos || marker + 8 > aLine.size()) {
    return false;
  }
  const auto fields = splitAtComma(aLine.substr(marker + 8));
  if (fields.size() < 9) {
    return false;
  }
  aDefaultStorage = modemStrToIntDef(fields[2], 10);
  aSendStorage = modemStrToIntDef(fields[5], 10);
  aReceiveStorage = modemStrToIntDef(fields[8], 10);
  return true;
}

TCMGLHeader parseCMGLHeader(std::string_view aLine) {
  TCMGLHeader header;
  const auto marker = aLine.find("+CMGL");
  if (marker == std::string_view::npos) {
    return header;
  }
  const auto fields = splitAtComma(aLine.substr(std::min(marker + 6, aLine.size())));
  header.Index = modemStrToIntDef(fields[0], -1);
  if (fields.size() > 1) {
    header.State = modemStrToIntDef(fields[1], -1);
  }
  if (fields.size() > 3) {
    header.Length = modemStrToIntDef(fields[3], -1);
  } else if (fields.size() > 2) {
    header.Length = modemStrToIntDef(fields[2], -1);
  }
  return header;
}

int modemSendResult(std::string_view aLine) {
  if (aLine.find("+CMGS") != std::string_view::npos) {
    return 0;
  }
  const auto error = aLine.find("ERROR");
  if (error == std::string_view::npos) {
    return IC_SENDRESULTUNKNOWNERROR;
  }
  // A modem's own error number is positive; "ERROR 0" must not read as success.
  const int number = modemStrToIntDef(aLine.substr(error + 5), IC_SENDRESULTMODEMERROR);
  return number > 0 ? number : IC_SENDRESULTMODEMERROR;
}

std::vector<TCMGLEntry> parseCMGLListing(const std::vector<std::string>& aLines) {
  std::vector<TCMGLEntry> entries;
  TCMGLHeader header;
  for (const auto& line : aLines) {
    if (line.empty()) {
      continue;
    }
    if (line.find("+CMGL") != std::string::npos) {
      header = parseCMGLHeader(line);
    } else if (line.find("OK") == std::string::npos) {
      entries.push_back({header, line});
    }
  }
  return entries;
}
