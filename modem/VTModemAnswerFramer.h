#pragma once

#include "modem/VTSerialModemAnswers.h"

#include <string>
#include <string_view>
#include <vector>

// One thing the modem said, as the framer found it in the received bytes.
struct TModemAnswerPiece {
  enum TKind {
    mpLine,        // an information line of the running answer (or an echo, or a stray line)
    mpFinal,       // the final result that ends an answer (Final tells which)
    mpPrompt,      // "> ": the modem waits for a PDU
    mpUnsolicited, // an unsolicited result code, with its PDU line where it has one
    mpNoise        // a line with control characters inside: line noise, never an answer
  };
  TKind Kind = mpLine;
  std::string Text; // the line without blanks and control characters at its ends
  std::string Pdu;  // mpUnsolicited: the PDU line of "+CMT:", "+CDS:", "+CBM:"
  TModemFinalKind Final = mfNone;
};

// Cuts the bytes a modem sends into what they are: answer lines, final results, the PDU
// prompt and unsolicited result codes, wherever a delivery happens to cut them. A line ends
// at CR or LF; empty lines are dropped. The prompt is seen as soon as ">" stands alone after
// a line end, without waiting for more. An unsolicited code that carries a PDU takes the
// next line as its PDU. Lines longer than IC_MAXLINE are cut there.
//
// Pure and single-threaded: its owner feeds it under the owner's lock.
class TVTModemAnswerFramer {
public:
  static constexpr std::size_t IC_MAXLINE = 4096;

  // The information prefix of the command now running ("+CPIN" for AT+CPIN?): its lines are
  // answer lines even where the same start could come unasked. Empty: none.
  void setExpectedPrefix(std::string_view aPrefix) { fExpectedPrefix = aPrefix; }
  std::vector<TModemAnswerPiece> feed(std::string_view aBytes);
  // Forgets a started line and a code still waiting for its PDU (the line was reset).
  void clear();

private:
  void endLine(std::vector<TModemAnswerPiece>& aPieces);

  std::string fPartial;
  bool fPromptReported = false;
  std::string fExpectedPrefix;
  std::string fWaitingForPdu; // an unsolicited code whose PDU line is still to come
};
