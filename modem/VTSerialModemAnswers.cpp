#include "modem/VTSerialModemAnswers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <initializer_list>

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

// Unsolicited result codes of GSM 07.05/07.07 and common modems, by their start; every line
// starting with "^" counts as well.
constexpr std::array<const char*, 3> IC_UNSOLICITEDWITHPDU{"+CMT:", "+CDS:", "+CBM:"};
constexpr std::array<const char*, 18> IC_UNSOLICITEDPREFIXES{
    "+CMTI:", "+CDSI:", "+CBMI:", "+CRING:", "+CLIP:", "+CCWA:", "+CREG:", "+CGREG:", "+CEREG:",
    "+CGEV:", "+CUSD:", "+CIEV:", "+CPIN:",  "+CFUN:", "+QIND:", "+CSQN:", "*EMRDY",  "+PBREADY"};
constexpr std::array<const char*, 3> IC_UNSOLICITEDWORDS{"RING", "NO CARRIER", "RDY"};

bool startsWith(std::string_view aText, std::string_view aPrefix) {
  return aText.substr(0, aPrefix.size()) == aPrefix;
}

// The value groups of a test answer: "(0-2),(0,1),3" gives {0,1,2}, {0,1}, {3}. Ranges wider
// than a few hundred values are cut, so a hostile answer cannot blow the sets up.
std::vector<std::vector<int>> parseValueGroups(std::string_view aText) {
  std::vector<std::vector<int>> groups;
  std::size_t i = 0;
  while (i < aText.size()) {
    while (i < aText.size() && (aText[i] == ' ' || aText[i] == ',')) {
      ++i;
    }
    if (i == aText.size()) {
      break;
    }
    std::string_view group;
    if (aText[i] == '(') {
      const auto close = aText.find(')', i);
      if (close == std::string_view::npos) {
        break;
      }
      group = aText.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      const auto comma = aText.find(',', i);
      group = aText.substr(i, comma == std::string_view::npos ? std::string_view::npos : comma - i);
      i = comma == std::string_view::npos ? aText.size() : comma;
    }
    std::vector<int> values;
    for (const auto item : splitAtComma(group)) {
      const auto dash = item.find('-');
      const int low = modemStrToIntDef(item.substr(0, dash), -1);
      const int high =
          dash == std::string_view::npos ? low : modemStrToIntDef(item.substr(dash + 1), -1);
      for (long long v = low; v >= 0 && v <= high && v - low < 256; ++v) {
        values.push_back(static_cast<int>(v));
      }
    }
    groups.push_back(std::move(values));
  }
  return groups;
}

// The first of aWanted that aOffered holds; -1 when none.
int firstOffered(const std::vector<int>& aOffered, std::initializer_list<int> aWanted) {
  for (int wanted : aWanted) {
    if (std::find(aOffered.begin(), aOffered.end(), wanted) != aOffered.end()) {
      return wanted;
    }
  }
  return -1;
}

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

namespace {

// A field of digits only (blanks around it allowed), as a number up to 99999; -1 otherwise.
int smallNumberField(std::string_view aField) {
  const std::string_view field = trimModemLine(aField);
  if (field.empty() || field.size() > 5 ||
      !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  return modemStrToIntDef(field, -1);
}

// The comma-separated fields after "<aPrefix>:" at the start of the trimmed line; none when
// the line does not start so.
std::vector<std::string_view> reportFields(std::string_view aLine, std::string_view aPrefix) {
  const std::string_view line = trimModemLine(aLine);
  if (!startsWith(line, aPrefix) || line.size() <= aPrefix.size() || line[aPrefix.size()] != ':') {
    return {};
  }
  return splitAtComma(line.substr(aPrefix.size() + 1));
}

} // namespace

bool parseCPMSUsage(std::string_view aLine, int& aUsed, int& aTotal) {
  auto fields = reportFields(aLine, "+CPMS");
  if (!fields.empty() && trimModemLine(fields[0]).substr(0, 1) == "\"") {
    fields.erase(fields.begin()); // the storage's name of the AT+CPMS? form
  }
  if (fields.size() < 2) {
    return false;
  }
  const int used = smallNumberField(fields[0]);
  const int total = smallNumberField(fields[1]);
  if (used < 0 || total < 0) {
    return false;
  }
  aUsed = used;
  aTotal = total;
  return true;
}

bool parseCSQReport(std::string_view aLine, int& aRssi, int& aBitErrorRate) {
  const auto fields = reportFields(aLine, "+CSQ");
  if (fields.size() != 2) {
    return false;
  }
  const int rssi = smallNumberField(fields[0]);
  const int ber = smallNumberField(fields[1]);
  if (rssi < 0 || ber < 0) {
    return false;
  }
  aRssi = rssi;
  aBitErrorRate = ber;
  return true;
}

bool parseCREGReport(std::string_view aLine, int& aStatus) {
  const auto fields = reportFields(aLine, "+CREG");
  // "<stat>" alone (unsolicited) or "<n>,<stat>[,<lac>,<ci>[,<AcT>]]" (the query's answer).
  if (fields.empty() || fields.size() == 3) {
    return false;
  }
  const int status = smallNumberField(fields.size() == 1 ? fields[0] : fields[1]);
  if (status < 0 || (fields.size() > 1 && smallNumberField(fields[0]) < 0)) {
    return false;
  }
  aStatus = status;
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
  bool headerOpen = false;
  for (const auto& line : aLines) {
    if (line.find("+CMGL") != std::string::npos) {
      header = parseCMGLHeader(line);
      headerOpen = true;
    } else if (headerOpen && isModemHexLine(trimModemLine(line))) {
      entries.push_back({header, std::string(trimModemLine(line))});
      headerOpen = false;
    }
  }
  return entries;
}

bool parseCMGRHeader(std::string_view aLine, TCMGLHeader& aHeader) {
  const std::string_view line = trimModemLine(aLine);
  if (!startsWith(line, "+CMGR:")) {
    return false;
  }
  const auto fields = splitAtComma(line.substr(6));
  aHeader = TCMGLHeader();
  aHeader.State = modemStrToIntDef(fields[0], -1);
  if (fields.size() > 1) {
    aHeader.Length = modemStrToIntDef(fields.back(), -1);
  }
  return true;
}

bool isModemHexLine(std::string_view aLine) {
  if (aLine.size() < 2 || aLine.size() % 2 != 0) {
    return false;
  }
  return std::all_of(aLine.begin(), aLine.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

TModemFinalKind modemFinalResult(std::string_view aLine) {
  const std::string_view line = trimModemLine(aLine);
  if (line == "OK") {
    return mfOK;
  }
  if (startsWith(line, "ERROR") || startsWith(line, "+CMS ERROR") ||
      startsWith(line, "+CME ERROR") || line == "COMMAND NOT SUPPORT") {
    return mfError;
  }
  return mfNone;
}

TModemUnsolicitedKind modemUnsolicitedKind(std::string_view aLine,
                                           std::string_view aExpectedPrefix) {
  const std::string_view line = trimModemLine(aLine);
  if (line.empty() || (!aExpectedPrefix.empty() && startsWith(line, aExpectedPrefix))) {
    return muNone;
  }
  for (const char* prefix : IC_UNSOLICITEDWITHPDU) {
    if (startsWith(line, prefix)) {
      return muWithPdu;
    }
  }
  if (line.front() == '^') {
    return muPlain;
  }
  for (const char* prefix : IC_UNSOLICITEDPREFIXES) {
    if (startsWith(line, prefix)) {
      return muPlain;
    }
  }
  for (const char* word : IC_UNSOLICITEDWORDS) {
    if (line == word) {
      return muPlain;
    }
  }
  return muNone;
}

bool isModemPrompt(std::string_view aPartialLine) {
  return trimModemLine(aPartialLine) == ">";
}

bool modemNeedsStartup(std::string_view aLine) {
  const std::string_view line = trimModemLine(aLine);
  return line == "RDY" || startsWith(line, "^SYSSTART") || line == "+CPIN: SIM PIN" ||
         line == "+CMS ERROR: 311" || line == "+CME ERROR: 11" ||
         line == "+CME ERROR: SIM PIN required";
}

bool parseCMTINotice(std::string_view aLine, std::string& aMemory, int& aIndex) {
  const std::string_view line = trimModemLine(aLine);
  if (!startsWith(line, "+CMTI:")) {
    return false;
  }
  const auto fields = splitAtComma(line.substr(6));
  if (fields.size() < 2) {
    return false;
  }
  const int index = modemStrToIntDef(fields[1], -1);
  if (index < 0) {
    return false;
  }
  std::string_view memory = trimModemLine(fields[0]);
  if (memory.size() >= 2 && memory.front() == '"' && memory.back() == '"') {
    memory = memory.substr(1, memory.size() - 2);
  }
  aMemory = std::string(memory);
  aIndex = index;
  return true;
}

int parseCMTLength(std::string_view aLine) {
  const std::string_view line = trimModemLine(aLine);
  if (!startsWith(line, "+CMT:")) {
    return -1;
  }
  return modemStrToIntDef(trimModemLine(splitAtComma(line.substr(5)).back()), -1);
}

std::string chooseCNMISetting(std::string_view aTestAnswer) {
  const std::string_view answer = trimModemLine(aTestAnswer);
  if (!startsWith(answer, "+CNMI:")) {
    return {};
  }
  const auto groups = parseValueGroups(answer.substr(6));
  if (groups.size() < 2) {
    return {};
  }
  const int mode = firstOffered(groups[0], {2, 1, 3});
  const int mt = firstOffered(groups[1], {1, 2, 3});
  if (mode < 0 || mt < 0) {
    return {};
  }
  std::string setting = std::to_string(mode) + "," + std::to_string(mt);
  for (std::size_t i = 2; i < groups.size() && i < 5; ++i) {
    if (groups[i].empty()) {
      break;
    }
    const int value = firstOffered(groups[i], {0});
    setting += "," + std::to_string(value >= 0 ? value : groups[i].front());
  }
  return setting;
}
