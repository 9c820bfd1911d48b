#pragma once

#include "tools/modemsim/ModemSimGsm.h"

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// How the simulated modem behaves; most of it can be changed while it runs.
struct TModemSimOptions {
  int StorageSize = 10;
  std::string Pin; // empty: the SIM asks for no PIN
  std::string Vendor = "Parlino Simulated Modems";
  std::string Model = "PSM-900";
  std::string SerialNumber = "356938035643809";
  std::string Smsc = "+491710760000"; // written in front of every stored SMS-DELIVER
  int SendDelayMs = 0;                // network time before the +CMGS answer
  int FailEvery = 0;                  // every k-th AT+CMGS fails; 0 never
  std::string FailAnswer = "+CMS ERROR: 500";
  bool NoPrompt = false;     // AT+CMGS gets no "> " prompt
  bool NoSendAnswer = false; // the PDU gets no answer at all
  bool Mute = false;         // nothing at all is answered (a dead modem)
  int GarbageEvery = 0;      // every k-th answer is preceded by a line of noise; 0 never
  int FailDeleteSlot = 0;    // AT+CMGD of this slot answers "ERROR"; 0 none
  int PromptDelayMs = 0;     // the "> " prompt comes this late (the PDU entry starts at once)
  // The answer to AT+CNMI=?: the values AT+CNMI accepts, group by group.
  std::string CnmiOffer = "(0-2),(0-3),(0,2),(0-2),(0,1)";
  int Signal = 21;      // AT+CSQ: received signal strength 0..31, 99 not known
  int Registration = 1; // AT+CREG?: 1 home network, 5 roaming, 0 not registered, ...
  int PinDelayMs = 0;   // the answer to a correct AT+CPIN= comes this late
};

// Where an injected unsolicited result code goes: right after the next "> " prompt (between
// prompt and PDU), or inside the next answer with information lines, after its first line
// (between a +CMGL or +CMGR header and its PDU).
enum TUrcPlace { upAfterPrompt, upInAnswer };

// Bytes the modem writes, DelayMs after the previous output is out.
struct TSimOutput {
  int DelayMs = 0;
  std::string Bytes;
};

struct TStoredSms {
  int Status = 0; // 0 received unread, 1 received read
  std::string Pdu;
};

// The AT command side of a GSM modem in PDU mode, as pure logic: bytes in, outputs out.
// Not thread-safe: the simulator's single I/O loop owns it. OnLog receives one line for
// every command, submitted PDU and stored SMS.
class TModemSimEngine {
public:
  explicit TModemSimEngine(TModemSimOptions aOptions);

  // Feeds bytes from the line; returns what the modem answers.
  std::vector<TSimOutput> feed(std::string_view aBytes);

  // Stores an SMS-DELIVER (with its service-centre field) in the first free slot; when the
  // storage is full it waits until a slot is freed. False with aError for a malformed PDU.
  bool deliverPdu(const std::string& aPdu, std::string& aError, std::vector<TSimOutput>& aOutputs);

  // A power cycle: echo back on, PIN asked again, new-message indications off, command line
  // cleared; the SIM keeps its messages.
  void powerCycle();
  // Puts "<text>" as an unsolicited line at aPlace of the coming output (once).
  void injectUnsolicited(TUrcPlace aPlace, const std::string& aText);

  TModemSimOptions& options() { return fOptions; }
  const std::vector<std::optional<TStoredSms>>& storage() const { return fStorage; }
  std::size_t pendingCount() const { return fPending.size(); }
  int submittedCount() const { return fSubmitted; }
  const std::string& lastSubmittedPdu() const { return fLastSubmittedPdu; }
  bool echo() const { return fEcho; }
  // 0 none, 1 "+CMTI" for every stored SMS, 2 "+CMT" with the SMS instead of storing it.
  int newMessageIndication() const { return fIndication; }

  std::function<void(const std::string& aLine)> OnLog;

private:
  enum TState { stCommand, stPduEntry };
  // One answer: the information text as it goes on the line, then the final result code
  // as its own line.
  struct TReply {
    std::string Info;
    std::string Final = "OK";
    int DelayMs = 0;
    bool Silent = false;
  };

  void log(const std::string& aLine);
  void feedCommandByte(char c, std::vector<TSimOutput>& aOut);
  void feedPduByte(char c, std::vector<TSimOutput>& aOut);
  void executeLine(const std::string& aLine, std::vector<TSimOutput>& aOut);
  // One command of a line without the "AT"; false when it is not understood.
  bool executeBasic(std::string_view aCommand, TReply& aReply);
  bool executeExtended(std::string_view aCommand, TReply& aReply);
  void submit(std::vector<TSimOutput>& aOut);
  void emit(const TReply& aReply, std::vector<TSimOutput>& aOut);
  void storePending(std::vector<TSimOutput>& aOut);
  bool simLocked() const { return !fOptions.Pin.empty() && !fPinEntered; }

  bool cmdCpin(std::string_view aArgs, TReply& aReply);
  bool cmdCpms(std::string_view aArgs, TReply& aReply);
  bool cmdCmgl(std::string_view aArgs, TReply& aReply);
  bool cmdCmgr(std::string_view aArgs, TReply& aReply);
  bool cmdCmgd(std::string_view aArgs, TReply& aReply);
  bool cmdCmgs(std::string_view aArgs, TReply& aReply);
  bool cmdCnmi(std::string_view aArgs, TReply& aReply);
  void smsListEntry(int aIndex, const TStoredSms& aSms, const char* aHeader, TReply& aReply);

  TModemSimOptions fOptions;
  TState fState = stCommand;
  bool fEcho = true;
  bool fPinEntered = false;
  int fCnmiMode = 0;
  int fCnmiMt = 0;
  int fIndication = 0; // what AT+CNMI asked for, see newMessageIndication()
  std::string fUrcAfterPrompt;
  std::string fUrcInAnswer;
  std::string fLine;
  std::string fPduText;
  int fPduLength = 0;
  std::array<std::string, 3> fStorageNames{"SM", "SM", "SM"};
  std::vector<std::optional<TStoredSms>> fStorage;
  std::deque<std::string> fPending;
  int fSendCount = 0;
  int fSubmitted = 0;
  int fMessageReference = 0;
  int fAnswerCount = 0;
  std::string fLastSubmittedPdu;
};

} // namespace modemsim
