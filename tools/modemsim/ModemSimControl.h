#pragma once

#include <string>
#include <string_view>

namespace modemsim {

enum TControlVerb {
  cvDeliver,      // deliver <sender> <text>
  cvDeliverPdu,   // deliver-pdu <hex>
  cvUnplug,       // unplug
  cvReplug,       // replug [reset]
  cvMute,         // mute on|off
  cvNoPrompt,     // no-prompt on|off
  cvNoSendAnswer, // no-send-answer on|off
  cvFailEvery,    // fail-every <k> [answer]
  cvSendDelay,    // send-delay <ms>
  cvGarbageEvery, // garbage-every <k>
  cvFailDelete,   // fail-delete <slot>
  cvBaud,         // baud <rate>
  cvPromptDelay,  // prompt-delay <ms>
  cvCnmiOffer,    // cnmi-offer <groups>
  cvUrc,          // urc <text>
  cvUrcAt,        // urc-at prompt|answer <text>
  cvUrcEvery,     // urc-every <ms> [text]
  cvPowerCycle,   // power-cycle
  cvStatus,       // status
  cvStorage,      // storage
  cvLastPdu,      // last-pdu
  cvQuit          // quit
};

// One line of the control protocol, parsed. Text arguments keep their case; in the text of
// "deliver" the escapes \n, \r, \t and \\ stand for their characters.
struct TControlCommand {
  TControlVerb Verb = cvStatus;
  std::string Address; // deliver: the sender
  std::string Text;    // deliver: the text; deliver-pdu: the PDU; fail-every: the answer;
                       // cnmi-offer: the groups; urc, urc-at, urc-every: the line
  int Number = 0;      // k, ms, slot, rate
  bool Flag = false;   // on/off; replug: reset; urc-at: true for "prompt", false "answer"
};

// Parses one control line (without its line end). False with aError when it is not a
// command; pure, never throws.
bool parseControlCommand(std::string_view aLine, TControlCommand& aCommand, std::string& aError);

} // namespace modemsim
