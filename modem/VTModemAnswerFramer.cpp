#include "modem/VTModemAnswerFramer.h"

#include <algorithm>

namespace {

bool hasControlInside(std::string_view aLine) {
  return std::any_of(aLine.begin(), aLine.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

} // namespace

void TVTModemAnswerFramer::clear() {
  fPartial.clear();
  fPromptReported = false;
  fWaitingForPdu.clear();
}

std::vector<TModemAnswerPiece> TVTModemAnswerFramer::feed(std::string_view aBytes) {
  std::vector<TModemAnswerPiece> pieces;
  for (const char c : aBytes) {
    if (c == '\r' || c == '\n') {
      endLine(pieces);
      continue;
    }
    fPartial += c;
    if (fPartial.size() >= IC_MAXLINE) {
      endLine(pieces);
    }
  }
  if (!fPromptReported && fWaitingForPdu.empty() && isModemPrompt(fPartial)) {
    pieces.push_back({TModemAnswerPiece::mpPrompt, "> ", {}, mfNone});
    fPromptReported = true;
  }
  return pieces;
}

void TVTModemAnswerFramer::endLine(std::vector<TModemAnswerPiece>& aPieces) {
  std::string_view text = trimModemLine(fPartial);
  if (!fPromptReported && fWaitingForPdu.empty() && isModemPrompt(text)) {
    aPieces.push_back({TModemAnswerPiece::mpPrompt, "> ", {}, mfNone}); // a line end came with it
    text = {};
  } else if (fPromptReported && !text.empty() && text.front() == '>') {
    text = trimModemLine(text.substr(1)); // what follows the prompt (a PDU echoed) is a line
  }
  const std::string line(text);
  fPartial.clear();
  fPromptReported = false;
  if (line.empty()) {
    return;
  }
  if (!fWaitingForPdu.empty()) {
    TModemAnswerPiece code{TModemAnswerPiece::mpUnsolicited, fWaitingForPdu, {}, mfNone};
    fWaitingForPdu.clear();
    if (isModemHexLine(line)) {
      code.Pdu = line;
      aPieces.push_back(std::move(code));
      return;
    }
    aPieces.push_back(std::move(code)); // its PDU never came; this line is something else
  }
  if (hasControlInside(line)) {
    aPieces.push_back({TModemAnswerPiece::mpNoise, line, {}, mfNone});
    return;
  }
  if (const TModemFinalKind final = modemFinalResult(line); final != mfNone) {
    aPieces.push_back({TModemAnswerPiece::mpFinal, line, {}, final});
    return;
  }
  switch (modemUnsolicitedKind(line, fExpectedPrefix)) {
  case muWithPdu:
    fWaitingForPdu = line;
    return;
  case muPlain:
    aPieces.push_back({TModemAnswerPiece::mpUnsolicited, line, {}, mfNone});
    return;
  case muNone:
    break;
  }
  aPieces.push_back({TModemAnswerPiece::mpLine, line, {}, mfNone});
}
