#include "tools/modemsim/ModemSimEngine.h"

#include "common/TextTools.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace modemsim {
namespace {

constexpr std::size_t IC_MAXCOMMANDLINE = 560;
constexpr std::size_t IC_MAXPDUDIGITS = 2 * (1 + 12 + 164);
constexpr char IC_CTRLZ = 0x1A;
constexpr char IC_ESC = 0x1B;

const char* const SC_SIMLOCKED = "+CMS ERROR: 311"; // SIM PIN required
const char* const SC_BADPDUPARAM = "+CMS ERROR: 304";
const char* const SC_NOTALLOWED = "+CMS ERROR: 302";
const char* const SC_BADINDEX = "+CMS ERROR: 321";
const char* const SC_WRONGPIN = "+CME ERROR: 16";

// Lines a real line picks up now and then: unsolicited reports and noise.
constexpr std::array<const char*, 4> IC_NOISE{"+CREG: 1", "^RSSI:17", "\x7f\x01#~~#\x02\xfe",
                                              "+CGREG: 0"};

std::string upper(std::string_view aText) {
  std::string result(aText);
  for (char& c : result) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return result;
}

bool startsWith(std::string_view aText, std::string_view aPrefix) {
  return aText.substr(0, aPrefix.size()) == aPrefix;
}

std::string_view trim(std::string_view aText) {
  while (!aText.empty() && std::isspace(static_cast<unsigned char>(aText.front()))) {
    aText.remove_prefix(1);
  }
  while (!aText.empty() && std::isspace(static_cast<unsigned char>(aText.back()))) {
    aText.remove_suffix(1);
  }
  return aText;
}

bool parseInt(std::string_view aText, int& aValue) {
  return tryParseInteger(trim(aText), aValue);
}

std::vector<std::string_view> splitArgs(std::string_view aText) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const auto comma = aText.find(',', start);
    parts.push_back(trim(aText.substr(start, comma - start)));
    if (comma == std::string_view::npos) {
      return parts;
    }
    start = comma + 1;
  }
}

// The groups of a test answer such as "(0-2),(0,1),(0)": the values each group allows.
std::vector<std::vector<int>> offeredGroups(std::string_view aOffer) {
  std::vector<std::vector<int>> groups;
  std::size_t i = 0;
  while ((i = aOffer.find('(', i)) != std::string_view::npos) {
    const auto close = aOffer.find(')', i);
    if (close == std::string_view::npos) {
      break;
    }
    std::vector<int> values;
    for (const auto item : splitArgs(aOffer.substr(i + 1, close - i - 1))) {
      const auto dash = item.find('-');
      int low = 0;
      int high = 0;
      if (!parseInt(item.substr(0, dash), low)) {
        continue;
      }
      high = low;
      if (dash != std::string_view::npos && !parseInt(item.substr(dash + 1), high)) {
        continue;
      }
      for (long long v = low; v <= high && v - low < 64; ++v) {
        values.push_back(static_cast<int>(v));
      }
    }
    groups.push_back(std::move(values));
    i = close + 1;
  }
  return groups;
}

bool unquoteStorage(std::string_view aArg, std::string& aName) {
  if (aArg.size() < 2 || aArg.front() != '"' || aArg.back() != '"') {
    return false;
  }
  aName = upper(aArg.substr(1, aArg.size() - 2));
  return aName == "SM" || aName == "ME" || aName == "MT";
}

} // namespace

TModemSimEngine::TModemSimEngine(TModemSimOptions aOptions) : fOptions(std::move(aOptions)) {
  fOptions.StorageSize = std::clamp(fOptions.StorageSize, 1, 255);
  fStorage.resize(static_cast<std::size_t>(fOptions.StorageSize));
}

void TModemSimEngine::log(const std::string& aLine) {
  if (OnLog) {
    OnLog(aLine);
  }
}

void TModemSimEngine::powerCycle() {
  fState = stCommand;
  fEcho = true;
  fPinEntered = false;
  fCnmiMode = 0;
  fCnmiMt = 0;
  fIndication = 0;
  fLine.clear();
  fPduText.clear();
  log("POWER-CYCLE");
}

std::vector<TSimOutput> TModemSimEngine::feed(std::string_view aBytes) {
  std::vector<TSimOutput> out;
  for (char c : aBytes) {
    if (fState == stPduEntry) {
      feedPduByte(c, out);
    } else {
      feedCommandByte(c, out);
    }
  }
  if (fOptions.Mute) {
    out.clear();
  }
  return out;
}

void TModemSimEngine::feedCommandByte(char c, std::vector<TSimOutput>& aOut) {
  if (fEcho && !fOptions.Mute) {
    if (aOut.empty() || aOut.back().DelayMs != 0) {
      aOut.push_back({});
    }
    aOut.back().Bytes += c;
  }
  switch (c) {
  case '\r':
    executeLine(fLine, aOut);
    fLine.clear();
    return;
  case '\n':
  case IC_CTRLZ:
  case IC_ESC:
    return;
  case '\b':
    if (!fLine.empty()) {
      fLine.pop_back();
    }
    return;
  default:
    if (fLine.size() <= IC_MAXCOMMANDLINE) {
      fLine += c; // one more than the limit marks the line as too long
    }
  }
}

void TModemSimEngine::feedPduByte(char c, std::vector<TSimOutput>& aOut) {
  if (c == IC_CTRLZ) {
    fState = stCommand;
    submit(aOut);
    return;
  }
  if (c == IC_ESC) {
    fState = stCommand;
    log("PDU-CANCELLED " + fPduText);
    fPduText.clear();
    emit(TReply{}, aOut);
    return;
  }
  if (fEcho) {
    if (aOut.empty() || aOut.back().DelayMs != 0) {
      aOut.push_back({});
    }
    aOut.back().Bytes += c;
  }
  if (c == '\r' || c == '\n' || c == ' ' || c == '\t') {
    return;
  }
  fPduText += c;
  if (fPduText.size() > IC_MAXPDUDIGITS) {
    fState = stCommand;
    log("PDU-TOO-LONG");
    fPduText.clear();
    TReply reply;
    reply.Final = SC_BADPDUPARAM;
    emit(reply, aOut);
  }
}

void TModemSimEngine::executeLine(const std::string& aLine, std::vector<TSimOutput>& aOut) {
  const std::string_view line = trim(aLine);
  if (line.size() < 2 || upper(line.substr(0, 2)) != "AT") {
    if (!line.empty()) {
      log("NOISE " + std::string(line));
    }
    return; // a modem waits for "AT" and ignores everything else
  }
  log((fOptions.Mute ? "CMD-IGNORED " : "CMD ") + std::string(line));
  if (fOptions.Mute) {
    return;
  }
  TReply reply;
  if (line.size() > IC_MAXCOMMANDLINE) {
    reply.Final = "ERROR";
    emit(reply, aOut);
    return;
  }
  std::string_view body = line.substr(2);
  while (!body.empty() && fState == stCommand) {
    if (body.front() == ';' || body.front() == ' ') {
      body.remove_prefix(1);
      continue;
    }
    bool ok = false;
    if (body.front() == '+' || body.front() == '^') {
      const auto end = body.find(';');
      ok = executeExtended(body.substr(0, end), reply);
      body = end == std::string_view::npos ? std::string_view() : body.substr(end);
    } else {
      std::size_t length = body.front() == '&' ? 2 : 1;
      while (length < body.size() && (std::isdigit(static_cast<unsigned char>(body[length])) ||
                                      body[length] == '=' || body[length] == '?')) {
        ++length;
      }
      ok = length <= body.size() && executeBasic(body.substr(0, length), reply);
      body.remove_prefix(std::min(length, body.size()));
    }
    if (!ok) {
      if (reply.Final == "OK") {
        reply.Final = "ERROR";
      }
      reply.Info.clear();
      break;
    }
  }
  if (fState == stPduEntry) {
    if (!fOptions.NoPrompt) {
      aOut.push_back({fOptions.PromptDelayMs, "\r\n> "});
      if (!fUrcAfterPrompt.empty()) {
        aOut.push_back({0, "\r\n" + fUrcAfterPrompt + "\r\n"});
        log("URC " + fUrcAfterPrompt);
        fUrcAfterPrompt.clear();
      }
    }
    return;
  }
  emit(reply, aOut);
}

bool TModemSimEngine::executeBasic(std::string_view aCommand, TReply& aReply) {
  const std::string command = upper(aCommand);
  const char letter = command.front();
  const std::string_view value = std::string_view(command).substr(1);
  switch (letter) {
  case 'E':
    if (value.empty() || value == "0" || value == "1") {
      fEcho = value == "1";
      return true;
    }
    return false;
  case 'Z':
    fEcho = true;
    fCnmiMode = 0;
    fCnmiMt = 0;
    fIndication = 0;
    return value.empty() || value == "0";
  case 'I':
    aReply.Info += "\r\n" + fOptions.Vendor + " " + fOptions.Model + "\r\n";
    return true;
  case 'V':
  case 'Q':
  case 'X':
  case 'H':
  case 'S':
    return true; // accepted and without effect here
  case '&':
    return command.size() >= 2 &&
           (command[1] == 'F' || command[1] == 'W' || command[1] == 'C' || command[1] == 'D');
  default:
    return false;
  }
}

bool TModemSimEngine::executeExtended(std::string_view aCommand, TReply& aReply) {
  const std::string command = upper(aCommand);
  const auto split = command.find_first_of("=?");
  const std::string name = command.substr(0, split);
  // The arguments keep their case: a PIN or a storage name is passed as written.
  const std::string_view args =
      split == std::string::npos ? std::string_view() : aCommand.substr(split);
  if (name == "+CPIN") {
    return cmdCpin(args, aReply);
  }
  if (name == "+CGMI" || name == "+GMI") {
    aReply.Info += "\r\n" + fOptions.Vendor + "\r\n";
    return args.empty();
  }
  if (name == "+CGMM" || name == "+GMM") {
    aReply.Info += "\r\n" + fOptions.Model + "\r\n";
    return args.empty();
  }
  if (name == "+CGSN" || name == "+GSN") {
    aReply.Info += "\r\n" + fOptions.SerialNumber + "\r\n";
    return args.empty();
  }
  if (name == "+CSQ") {
    aReply.Info += args == "=?" ? "\r\n+CSQ: (0-31,99),(0-7,99)\r\n"
                                : "\r\n+CSQ: " + std::to_string(fOptions.Signal) + ",99\r\n";
    return args.empty() || args == "=?";
  }
  if (name == "+CREG" && args == "?") {
    aReply.Info += "\r\n+CREG: 0," + std::to_string(fOptions.Registration) + "\r\n";
    return true;
  }
  if (name == "+CMEE" || name == "+CREG" || name == "+CSCS") {
    return true;
  }
  if (name == "+CNMI") {
    return cmdCnmi(args, aReply);
  }
  if (name == "+CMGF") {
    if (args == "?") {
      aReply.Info += "\r\n+CMGF: 0\r\n";
      return true;
    }
    if (args == "=0") {
      return true;
    }
    aReply.Final = "+CMS ERROR: 303"; // text mode is not supported
    return false;
  }
  const bool smsCommand =
      name == "+CPMS" || name == "+CMGL" || name == "+CMGR" || name == "+CMGD" || name == "+CMGS";
  if (smsCommand && simLocked()) {
    aReply.Final = SC_SIMLOCKED;
    return false;
  }
  if (name == "+CPMS") {
    return cmdCpms(args, aReply);
  }
  if (name == "+CMGL") {
    return cmdCmgl(args, aReply);
  }
  if (name == "+CMGR") {
    return cmdCmgr(args, aReply);
  }
  if (name == "+CMGD") {
    return cmdCmgd(args, aReply);
  }
  if (name == "+CMGS") {
    return cmdCmgs(args, aReply);
  }
  return false;
}

bool TModemSimEngine::cmdCpin(std::string_view aArgs, TReply& aReply) {
  if (aArgs == "?") {
    aReply.Info += simLocked() ? "\r\n+CPIN: SIM PIN\r\n" : "\r\n+CPIN: READY\r\n";
    return true;
  }
  if (!startsWith(aArgs, "=")) {
    return false;
  }
  std::string pin(trim(aArgs.substr(1)));
  if (pin.size() >= 2 && pin.front() == '"' && pin.back() == '"') {
    pin = pin.substr(1, pin.size() - 2);
  }
  if (!simLocked()) {
    aReply.Final = "+CME ERROR: 3"; // operation not allowed: no PIN is asked for
    return false;
  }
  if (pin != fOptions.Pin) {
    aReply.Final = SC_WRONGPIN;
    return false;
  }
  fPinEntered = true;
  aReply.DelayMs = fOptions.PinDelayMs; // SIMs take their time to check a PIN
  return true;
}

bool TModemSimEngine::cmdCpms(std::string_view aArgs, TReply& aReply) {
  const auto used = std::count_if(fStorage.begin(), fStorage.end(),
                                  [](const auto& slot) { return slot.has_value(); });
  const std::string counts = std::to_string(used) + "," + std::to_string(fOptions.StorageSize);
  if (aArgs == "?") {
    aReply.Info += "\r\n+CPMS: ";
    for (std::size_t i = 0; i < fStorageNames.size(); ++i) {
      aReply.Info += (i == 0 ? "\"" : ",\"") + fStorageNames[i] + "\"," + counts;
    }
    aReply.Info += "\r\n";
    return true;
  }
  if (aArgs == "=?") {
    aReply.Info += "\r\n+CPMS: (\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\","
                   "\"MT\")\r\n";
    return true;
  }
  if (!startsWith(aArgs, "=")) {
    return false;
  }
  const auto parts = splitArgs(aArgs.substr(1));
  std::array<std::string, 3> names = fStorageNames;
  if (parts.size() > names.size()) {
    aReply.Final = SC_NOTALLOWED;
    return false;
  }
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!unquoteStorage(parts[i], names[i])) {
      aReply.Final = SC_NOTALLOWED;
      return false;
    }
  }
  fStorageNames = names;
  aReply.Info += "\r\n+CPMS: " + counts + "," + counts + "," + counts + "\r\n";
  return true;
}

void TModemSimEngine::smsListEntry(int aIndex, const TStoredSms& aSms, const char* aHeader,
                                   TReply& aReply) {
  const int length = std::max(tpduLength(aSms.Pdu), 0);
  if (aReply.Info.empty()) {
    aReply.Info = "\r\n";
  }
  aReply.Info += std::string(aHeader);
  if (aIndex > 0) {
    aReply.Info += std::to_string(aIndex) + ",";
  }
  aReply.Info += std::to_string(aSms.Status) + ",," + std::to_string(length) + "\r\n";
  aReply.Info += aSms.Pdu + "\r\n";
}

bool TModemSimEngine::cmdCmgl(std::string_view aArgs, TReply& aReply) {
  if (aArgs == "=?") {
    aReply.Info += "\r\n+CMGL: (0-4)\r\n";
    return true;
  }
  int status = 0;
  if (!aArgs.empty() &&
      (!startsWith(aArgs, "=") || !parseInt(aArgs.substr(1), status) || status < 0 || status > 4)) {
    aReply.Final = SC_BADPDUPARAM;
    return false;
  }
  for (std::size_t i = 0; i < fStorage.size(); ++i) {
    auto& slot = fStorage[i];
    if (slot && (status == 4 || slot->Status == status)) {
      smsListEntry(static_cast<int>(i) + 1, *slot, "+CMGL: ", aReply);
      if (slot->Status == 0) {
        slot->Status = 1;
      }
    }
  }
  return true;
}

bool TModemSimEngine::cmdCmgr(std::string_view aArgs, TReply& aReply) {
  int index = 0;
  if (!startsWith(aArgs, "=") || !parseInt(aArgs.substr(1), index)) {
    aReply.Final = SC_BADPDUPARAM;
    return false;
  }
  if (index < 1 || index > fOptions.StorageSize) {
    aReply.Final = SC_BADINDEX;
    return false;
  }
  auto& slot = fStorage[static_cast<std::size_t>(index) - 1];
  if (slot) {
    smsListEntry(0, *slot, "+CMGR: ", aReply);
    slot->Status = 1;
  }
  return true;
}

bool TModemSimEngine::cmdCmgd(std::string_view aArgs, TReply& aReply) {
  if (aArgs == "=?") {
    aReply.Info += "\r\n+CMGD: (1-" + std::to_string(fOptions.StorageSize) + "),(0-4)\r\n";
    return true;
  }
  const auto parts =
      startsWith(aArgs, "=") ? splitArgs(aArgs.substr(1)) : std::vector<std::string_view>{};
  int index = 0;
  int flag = 0;
  if (parts.empty() || parts.size() > 2 || !parseInt(parts[0], index) ||
      (parts.size() == 2 && (!parseInt(parts[1], flag) || flag < 0 || flag > 4))) {
    aReply.Final = SC_BADPDUPARAM;
    return false;
  }
  if (flag == 0 && (index < 1 || index > fOptions.StorageSize)) {
    aReply.Final = SC_BADINDEX;
    return false;
  }
  if (index == fOptions.FailDeleteSlot && index != 0) {
    log("DELETE-FAILED " + std::to_string(index));
    aReply.Final = "ERROR";
    return false;
  }
  for (std::size_t i = 0; i < fStorage.size(); ++i) {
    auto& slot = fStorage[i];
    const bool chosen =
        flag == 0 ? static_cast<int>(i) + 1 == index : slot && (flag == 4 || slot->Status == 1);
    if (chosen && slot) {
      slot.reset();
      log("DELETED " + std::to_string(i + 1));
    }
  }
  return true;
}

bool TModemSimEngine::cmdCmgs(std::string_view aArgs, TReply& aReply) {
  if (aArgs == "=?") {
    return true;
  }
  int length = 0;
  if (!startsWith(aArgs, "=") || !parseInt(aArgs.substr(1), length) || length < 1 || length > 164) {
    aReply.Final = SC_BADPDUPARAM;
    return false;
  }
  if (fOptions.NoPrompt) {
    log("NO-PROMPT");
    aReply.Silent = true;
    return true;
  }
  fPduLength = length;
  fPduText.clear();
  fState = stPduEntry;
  return true;
}

void TModemSimEngine::submit(std::vector<TSimOutput>& aOut) {
  const std::string pdu = upper(fPduText);
  fPduText.clear();
  ++fSendCount;
  log("PDU " + std::to_string(fPduLength) + " " + pdu);
  TReply reply;
  reply.DelayMs = fOptions.SendDelayMs;
  if (checkSubmitPdu(pdu, fPduLength) != scOk) {
    log("PDU-REJECTED");
    reply.Final = SC_BADPDUPARAM;
    reply.DelayMs = 0;
  } else if (fOptions.FailEvery > 0 && fSendCount % fOptions.FailEvery == 0) {
    log("SEND-FAILED " + fOptions.FailAnswer);
    reply.Final = fOptions.FailAnswer;
  } else if (fOptions.NoSendAnswer) {
    log("SEND-UNANSWERED");
    reply.Silent = true;
  } else {
    ++fSubmitted;
    fLastSubmittedPdu = pdu;
    reply.Info = "\r\n+CMGS: " + std::to_string(fMessageReference) + "\r\n";
    fMessageReference = (fMessageReference + 1) % 256;
  }
  emit(reply, aOut);
}

void TModemSimEngine::emit(const TReply& aReply, std::vector<TSimOutput>& aOut) {
  if (aReply.Silent || fOptions.Mute) {
    return;
  }
  TSimOutput output;
  output.DelayMs = aReply.DelayMs;
  ++fAnswerCount;
  if (fOptions.GarbageEvery > 0 && fAnswerCount % fOptions.GarbageEvery == 0) {
    output.Bytes +=
        "\r\n" + std::string(IC_NOISE[(fAnswerCount / fOptions.GarbageEvery) % IC_NOISE.size()]) +
        "\r\n";
  }
  std::string info = aReply.Info;
  if (!fUrcInAnswer.empty() && info.size() > 2) {
    const auto firstLineEnd = info.find("\r\n", 2);
    if (firstLineEnd != std::string::npos) {
      info.insert(firstLineEnd + 2, fUrcInAnswer + "\r\n");
      log("URC " + fUrcInAnswer);
      fUrcInAnswer.clear();
    }
  }
  output.Bytes += info + "\r\n" + aReply.Final + "\r\n";
  aOut.push_back(std::move(output));
  storePending(aOut); // a deletion may have freed a slot for a waiting SMS
}

void TModemSimEngine::injectUnsolicited(TUrcPlace aPlace, const std::string& aText) {
  (aPlace == upAfterPrompt ? fUrcAfterPrompt : fUrcInAnswer) = aText;
}

bool TModemSimEngine::cmdCnmi(std::string_view aArgs, TReply& aReply) {
  if (aArgs == "=?") {
    aReply.Info += "\r\n+CNMI: " + fOptions.CnmiOffer + "\r\n";
    return true;
  }
  if (aArgs == "?") {
    aReply.Info +=
        "\r\n+CNMI: " + std::to_string(fCnmiMode) + "," + std::to_string(fCnmiMt) + ",0,0,0\r\n";
    return true;
  }
  if (!startsWith(aArgs, "=")) {
    return false;
  }
  const auto values = splitArgs(aArgs.substr(1));
  const auto offered = offeredGroups(fOptions.CnmiOffer);
  std::array<int, 5> setting{0, 0, 0, 0, 0};
  if (values.size() > setting.size()) {
    aReply.Final = "+CMS ERROR: 303";
    return false;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (trim(values[i]).empty()) {
      continue; // left out: stays 0
    }
    if (!parseInt(values[i], setting[i]) || i >= offered.size() ||
        std::find(offered[i].begin(), offered[i].end(), setting[i]) == offered[i].end()) {
      aReply.Final = "+CMS ERROR: 303"; // operation not supported
      return false;
    }
  }
  fCnmiMode = setting[0];
  fCnmiMt = setting[1];
  fIndication = fCnmiMode == 0 ? 0 : fCnmiMt == 1 ? 1 : fCnmiMt >= 2 ? 2 : 0;
  return true;
}

bool TModemSimEngine::deliverPdu(const std::string& aPdu, std::string& aError,
                                 std::vector<TSimOutput>& aOutputs) {
  std::vector<std::uint8_t> bytes;
  if (aPdu.empty() || !fromHex(aPdu, bytes)) {
    aError = "PDU must be an even count of hex digits";
    return false;
  }
  if (aPdu.size() > 2 * 200) {
    aError = "PDU too long";
    return false;
  }
  if (fIndication == 2 && !fOptions.Mute) {
    // Routed to the line instead of the storage, as AT+CNMI asked.
    const std::string pdu = upper(aPdu);
    aOutputs.push_back(
        {0, "\r\n+CMT: ," + std::to_string(std::max(tpduLength(pdu), 0)) + "\r\n" + pdu + "\r\n"});
    log("DELIVERED " + pdu);
    return true;
  }
  fPending.push_back(upper(aPdu));
  storePending(aOutputs);
  return true;
}

void TModemSimEngine::storePending(std::vector<TSimOutput>& aOut) {
  while (!fPending.empty()) {
    const auto free = std::find_if(fStorage.begin(), fStorage.end(),
                                   [](const auto& slot) { return !slot.has_value(); });
    if (free == fStorage.end()) {
      return;
    }
    *free = TStoredSms{0, fPending.front()};
    fPending.pop_front();
    const auto index = static_cast<int>(free - fStorage.begin()) + 1;
    log("STORED " + std::to_string(index) + " " + (*free)->Pdu);
    if (fIndication == 1 && !fOptions.Mute) {
      aOut.push_back(
          {0, "\r\n+CMTI: \"" + fStorageNames[2] + "\"," + std::to_string(index) + "\r\n"});
    }
  }
}

} // namespace modemsim
