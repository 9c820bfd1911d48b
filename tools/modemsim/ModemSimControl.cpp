#include "tools/modemsim/ModemSimControl.h"

#include "common/TextTools.h"

#include <array>
#include <charconv>

namespace modemsim {
namespace {

struct TVerbName {
  const char* Name;
  TControlVerb Verb;
};

constexpr std::array<TVerbName, 22> IC_VERBS{{{"deliver", cvDeliver},
                                              {"deliver-pdu", cvDeliverPdu},
                                              {"unplug", cvUnplug},
                                              {"replug", cvReplug},
                                              {"mute", cvMute},
                                              {"no-prompt", cvNoPrompt},
                                              {"no-send-answer", cvNoSendAnswer},
                                              {"fail-every", cvFailEvery},
                                              {"send-delay", cvSendDelay},
                                              {"garbage-every", cvGarbageEvery},
                                              {"fail-delete", cvFailDelete},
                                              {"baud", cvBaud},
                                              {"prompt-delay", cvPromptDelay},
                                              {"cnmi-offer", cvCnmiOffer},
                                              {"urc", cvUrc},
                                              {"urc-at", cvUrcAt},
                                              {"urc-every", cvUrcEvery},
                                              {"power-cycle", cvPowerCycle},
                                              {"status", cvStatus},
                                              {"storage", cvStorage},
                                              {"last-pdu", cvLastPdu},
                                              {"quit", cvQuit}}};

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The next word of aRest; aRest keeps what follows it, blanks before it removed.
std::string_view nextWord(std::string_view& aRest) {
  while (!aRest.empty() && isBlank(aRest.front())) {
    aRest.remove_prefix(1);
  }
  std::size_t end = 0;
  while (end < aRest.size() && !isBlank(aRest[end])) {
    ++end;
  }
  const std::string_view word = aRest.substr(0, end);
  aRest.remove_prefix(end);
  if (!aRest.empty()) {
    aRest.remove_prefix(1); // exactly one separating blank: the text keeps its own blanks
  }
  return word;
}

bool parseCount(std::string_view aText, int& aValue) {
  return tryParseInteger(aText, aValue) && aValue >= 0;
}

bool parseSwitch(std::string_view aText, bool& aValue) {
  if (aText == "on") {
    aValue = true;
    return true;
  }
  if (aText == "off") {
    aValue = false;
    return true;
  }
  return false;
}

bool unescape(std::string_view aText, std::string& aResult, std::string& aError) {
  aResult.clear();
  for (std::size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] != '\\') {
      aResult += aText[i];
      continue;
    }
    if (++i == aText.size()) {
      aError = "text ends in a lone backslash";
      return false;
    }
    switch (aText[i]) {
    case 'n':
      aResult += '\n';
      break;
    case 'r':
      aResult += '\r';
      break;
    case 't':
      aResult += '\t';
      break;
    case '\\':
      aResult += '\\';
      break;
    default:
      aError = "unknown escape \\" + std::string(1, aText[i]);
      return false;
    }
  }
  return true;
}

} // namespace

bool parseControlCommand(std::string_view aLine, TControlCommand& aCommand, std::string& aError) {
  while (!aLine.empty() && (aLine.back() == '\r' || aLine.back() == '\n')) {
    aLine.remove_suffix(1);
  }
  std::string_view rest = aLine;
  const std::string_view verbText = nextWord(rest);
  const TVerbName* found = nullptr;
  for (const auto& entry : IC_VERBS) {
    if (verbText == entry.Name) {
      found = &entry;
    }
  }
  if (found == nullptr) {
    aError = verbText.empty() ? "empty command" : "unknown command " + std::string(verbText);
    return false;
  }
  TControlCommand command;
  command.Verb = found->Verb;
  bool ok = true;
  switch (command.Verb) {
  case cvDeliver:
    command.Address = std::string(nextWord(rest));
    if (command.Address.empty()) {
      aError = "usage: deliver <sender> <text>";
      return false;
    }
    if (!unescape(rest, command.Text, aError)) {
      return false;
    }
    break;
  case cvDeliverPdu:
    command.Text = std::string(nextWord(rest));
    ok = !command.Text.empty();
    break;
  case cvReplug: {
    const std::string_view mode = nextWord(rest);
    command.Flag = mode == "reset";
    ok = mode.empty() || command.Flag;
    break;
  }
  case cvMute:
  case cvNoPrompt:
  case cvNoSendAnswer:
    ok = parseSwitch(nextWord(rest), command.Flag);
    break;
  case cvFailEvery:
    ok = parseCount(nextWord(rest), command.Number);
    command.Text = std::string(rest);
    break;
  case cvSendDelay:
  case cvGarbageEvery:
  case cvFailDelete:
  case cvBaud:
  case cvPromptDelay:
    ok = parseCount(nextWord(rest), command.Number);
    break;
  case cvCnmiOffer:
  case cvUrc:
    command.Text = std::string(rest);
    rest = {};
    ok = !command.Text.empty();
    break;
  case cvUrcAt: {
    const std::string_view place = nextWord(rest);
    command.Flag = place == "prompt";
    command.Text = std::string(rest);
    rest = {};
    ok = (command.Flag || place == "answer") && !command.Text.empty();
    break;
  }
  case cvUrcEvery:
    ok = parseCount(nextWord(rest), command.Number);
    command.Text = std::string(rest);
    rest = {};
    break;
  case cvPowerCycle:
  case cvUnplug:
  case cvStatus:
  case cvStorage:
  case cvLastPdu:
  case cvQuit:
    break;
  }
  if (ok && command.Verb != cvDeliver && command.Verb != cvFailEvery) {
    while (!rest.empty() && isBlank(rest.front())) {
      rest.remove_prefix(1);
    }
    ok = rest.empty();
  }
  if (!ok) {
    aError = "bad arguments for " + std::string(found->Name);
    return false;
  }
  aCommand = command;
  return true;
}

} // namespace modemsim
