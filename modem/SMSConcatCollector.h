#pragma once

#include "common/DateTime.h"
#include "modem/SMSCodec.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <tuple>
#include <vector>

// One received SMS as the collector keeps it: the decoded unit, the PDU it came in and when
// the gateway received it. The collector reads Decoded.Address (the sender), Decoded.Concat
// and Decoded.Message; everything else is carried unchanged.
struct TSMSConcatPart {
  TSMSDecoded Decoded;
  std::string PDU;
  TDateTime Received;
};

// A whole message, or what arrived of one.
struct TSMSConcatMessage {
  std::vector<TSMSConcatPart> Parts; // in part order, each part number once
  std::string Text;                  // the parts' messages joined in part order
  bool Complete = false;             // every part 1..total is there (a single SMS always is)
};

// Joins the parts of one message: sorted by part number, a repeated number kept once (the
// first given), the texts joined. Complete when the parts are exactly 1..total of the first
// part's total; a single SMS (no concatenation element) is a complete message of one part.
TSMSConcatMessage joinSMSParts(std::vector<TSMSConcatPart> aParts);

enum TSMSConcatState {
  csComplete,  // the part completed its message (or was a single SMS): see Message
  csPending,   // kept; its message waits for more parts
  csDuplicate, // a part of that number was already kept: dropped
};

struct TSMSConcatAdded {
  TSMSConcatState State = csPending;
  TSMSConcatMessage Message; // with csComplete
};

// Collects received parts of concatenated SMS until their message is whole. A message is
// told apart by its sender, its reference (8-bit and 16-bit references never mix) and its part
// count, so parts of several messages and senders may arrive interleaved and in any order.
// Pure logic: no clock, no storage; the caller passes the times and keeps the parts where
// they survive a restart (adding them again after a restart rebuilds the state). Not
// thread-safe: one owner, or the owner's lock around every call.
class TSMSConcatCollector {
public:
  // A single SMS, or a part numbered outside 1..total (which no decoded unit is), comes back
  // at once as a whole message of its own.
  TSMSConcatAdded add(TSMSConcatPart aPart);

  // Takes out every pending message whose first part arrived more than aTimeout before aNow,
  // as incomplete messages, the longest waiting first.
  std::vector<TSMSConcatMessage> takeExpired(TDateTime aNow, std::chrono::milliseconds aTimeout);

  std::size_t pendingMessages() const { return fPending.size(); }

private:
  // sender, wide reference, reference, total
  using TKey = std::tuple<std::string, bool, int, int>;
  struct TPending {
    std::map<int, TSMSConcatPart> Parts; // by part number
    TDateTime FirstReceived;
  };
  std::map<TKey, TPending> fPending;
};
