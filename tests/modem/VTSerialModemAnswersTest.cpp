#include "modem/VTSerialModemAnswers.h"

#include "modem/VTModemAnswerFramer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string joined(const std::vector<std::string>& aLines) {
  std::string text;
  for (std::size_t i = 0; i < aLines.size(); ++i) {
    text += (i == 0 ? "" : "|") + aLines[i];
  }
  return text;
}

std::vector<std::string> splitAtBar(const std::string& aText) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto bar = aText.find('|', start);
    parts.push_back(aText.substr(start, bar - start));
    if (bar == std::string::npos) {
      return parts;
    }
    start = bar + 1;
  }
}

// Every rule as text in, text out, so that one table holds the examples of all of them.
std::string applyRule(const std::string& aRule, const std::string& aInput) {
  if (aRule == "split") {
    return joined(splitModemAnswer(aInput));
  }
  if (aRule == "lineEnd") {
    return withModemLineEnd(aInput);
  }
  if (aRule == "int") {
    return std::to_string(modemStrToIntDef(aInput, -7));
  }
  if (aRule == "trim") {
    return std::string(trimModemLine(aInput));
  }
  if (aRule == "cpms") {
    int a = -1;
    int b = -1;
    int c = -1;
    return parseCPMSReport(aInput, a, b, c)
               ? std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c)
               : "no";
  }
  if (aRule == "usage") {
    int used = -1;
    int total = -1;
    return parseCPMSUsage(aInput, used, total) ? std::to_string(used) + "/" + std::to_string(total)
                                               : "no";
  }
  if (aRule == "csq") {
    int rssi = -1;
    int ber = -1;
    return parseCSQReport(aInput, rssi, ber) ? std::to_string(rssi) + "," + std::to_string(ber)
                                             : "no";
  }
  if (aRule == "creg") {
    int status = -1;
    return parseCREGReport(aInput, status) ? std::to_string(status) : "no";
  }
  if (aRule == "cmgl") {
    const TCMGLHeader h = parseCMGLHeader(aInput);
    return std::to_string(h.Index) + "," + std::to_string(h.State) + "," + std::to_string(h.Length);
  }
  if (aRule == "listing") {
    std::string text;
    for (const auto& entry : parseCMGLListing(splitAtBar(aInput))) {
      text += std::to_string(entry.Header.Index) + ":" + entry.Pdu + " ";
    }
    return text;
  }
  if (aRule == "cmgr") {
    TCMGLHeader h;
    return parseCMGRHeader(aInput, h) ? std::to_string(h.State) + "," + std::to_string(h.Length)
                                      : "no";
  }
  if (aRule == "send") {
    return std::to_string(modemSendResult(aInput));
  }
  if (aRule == "hex") {
    return isModemHexLine(aInput) ? "yes" : "no";
  }
  if (aRule == "final") {
    const TModemFinalKind kind = modemFinalResult(aInput);
    return kind == mfOK ? "ok" : kind == mfError ? "error" : "none";
  }
  if (aRule == "urc") {
    const auto bar = aInput.find('|'); // "line|expected prefix"
    const TModemUnsolicitedKind kind =
        bar == std::string::npos
            ? modemUnsolicitedKind(aInput)
            : modemUnsolicitedKind(aInput.substr(0, bar), aInput.substr(bar + 1));
    return kind == muPlain ? "plain" : kind == muWithPdu ? "pdu" : "none";
  }
  if (aRule == "prompt") {
    return isModemPrompt(aInput) ? "yes" : "no";
  }
  if (aRule == "restart") {
    return modemNeedsStartup(aInput) ? "yes" : "no";
  }
  if (aRule == "cmti") {
    std::string memory;
    int index = -1;
    return parseCMTINotice(aInput, memory, index) ? memory + "," + std::to_string(index) : "no";
  }
  if (aRule == "cmt") {
    return std::to_string(parseCMTLength(aInput));
  }
  if (aRule == "cnmi") {
    return chooseCNMISetting(aInput);
  }
  return "unknown rule";
}

TEST(VTSerialModemAnswersTest, TheRulesGiveTheirExamples) {
  struct TRow {
    const char* Rule;
    std::string Input;
    std::string Expected;
  };
  const TRow rows[] = {
      {"split", "\r\nOK\r\n", "|OK"},
      {"split", "a\rb\nc\r\n\r\nd", "a|b|c||d"},
      {"lineEnd", "AT", "AT\r\n"},
      {"lineEnd", "AT\r\n", "AT\r\n"},
      {"lineEnd", "A", "A\r\n"},
      {"int", " 42", "42"},
      {"int", "-3", "-3"},
      {"int", "4x", "-7"},
      {"int", "99999999999", "-7"},
      {"trim", "\x7f  > \r", ">"},
      {"cpms", "+CPMS: \"SM\",3,30,\"SM\",3,30,\"SM\",3,30", "30,30,30"},
      {"cpms", "+CPMS: \"SM\",3,x,\"SM\",3,20,\"SM\",3,25", "10,20,25"},
      {"cpms", "+CPMS: 2,30,2,30,2,30", "no"},
      {"usage", "+CPMS: 2,30,2,30,2,30", "2/30"},
      {"usage", "+CPMS: \"SM\",3,25,\"ME\",0,50,\"SM\",3,25", "3/25"},
      {"usage", "+CPMS: (\"SM\",\"ME\"),(\"SM\")", "no"},
      {"usage", "+CPMS: 2", "no"},
      {"usage", "+CPMSX: 2,30", "no"},
      {"csq", "+CSQ: 21,99", "21,99"},
      {"csq", " +CSQ: 99,99 \r", "99,99"},
      {"csq", "+CSQ: 21", "no"},
      {"csq", "+CSQ: -1,0", "no"},
      {"csq", "+CSQ: (0-31,99),(0-7,99)", "no"},
      {"creg", "+CREG: 0,1", "1"},
      {"creg", "+CREG: 2,5,\"00C3\",\"0010\"", "5"},
      {"creg", "+CREG: 2,1,\"00C3\",\"0010\",7", "1"},
      {"creg", "+CREG: 3", "3"},
      {"creg", "+CREG: 0,x", "no"},
      {"creg", "+CREG:", "no"},
      {"creg", "+CGREG: 0,1", "no"},
      {"cmgl", "+CMGL: 1,0,,23", "1,0,23"},
      {"cmgl", "+CMGL: 3,0,23", "3,0,23"},
      {"cmgl", "+CMGL: x", "-1,-1,-1"},
      {"listing", "+CMGL: 1,0,,23|~#noise|0791AB|+CMGL: 2,1,,5|+CMGL: 3,1,,5|00AA|OK",
       "1:0791AB 3:00AA "},
      {"cmgr", "+CMGR: 1,,24", "1,24"},
      {"cmgr", "+CMGR: 0,24", "0,24"},
      {"cmgr", "+CMGL: 0,24", "no"},
      {"send", "+CMGS: 12", "0"},
      {"send", "ERROR 500", "500"},
      {"send", "+CMS ERROR: 500", "2"},
      {"send", "ERROR 0", "2"},
      {"send", "", "1"},
      {"hex", "07FFFF", "yes"},
      {"hex", "07FFF", "no"},
      {"hex", "OK", "no"},
      {"final", "OK", "ok"},
      {"final", " OK \r", "ok"},
      {"final", "ERROR", "error"},
      {"final", "ERROR 500", "error"},
      {"final", "+CMS ERROR: 500", "error"},
      {"final", "+CME ERROR: 11", "error"},
      {"final", "COMMAND NOT SUPPORT", "error"},
      {"final", "OKAY", "none"},
      {"final", "+CMGS: 1", "none"},
      {"urc", "+CMTI: \"SM\",3", "plain"},
      {"urc", "RING", "plain"},
      {"urc", "+CREG: 1", "plain"},
      {"urc", "^RSSI:17", "plain"},
      {"urc", "^BOOT:1234,0,0,0,6", "plain"},
      {"urc", "+CMT: ,24", "pdu"},
      {"urc", "+CDS: 6,1", "pdu"},
      {"urc", "+CPIN: READY", "plain"},
      {"urc", "+CPIN: READY|+CPIN", "none"},
      {"urc", "+CMGL: 1,0,,23", "none"},
      {"urc", "RINGING", "none"},
      {"prompt", "> ", "yes"},
      {"prompt", ">", "yes"},
      {"prompt", "> 00", "no"},
      {"restart", "RDY", "yes"},
      {"restart", "^SYSSTART", "yes"},
      {"restart", "+CMS ERROR: 311", "yes"},
      {"restart", "+CME ERROR: 11", "yes"},
      {"restart", "+CPIN: SIM PIN", "yes"},
      {"restart", "+CPIN: READY", "no"},
      {"cmti", "+CMTI: \"SM\",3", "SM,3"},
      {"cmti", "+CMTI: \"ME\", 12", "ME,12"},
      {"cmti", "+CMTI: \"SM\"", "no"},
      {"cmti", "+CMTI: \"SM\",x", "no"},
      {"cmt", "+CMT: ,24", "24"},
      {"cmt", "+CMT: \"Anna\",31", "31"},
      {"cmt", "+CMTI: \"SM\",3", "-1"},
      {"cnmi", "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", "2,1,0,0,0"},
      {"cnmi", "+CNMI: (0,1),(0,2),(0),(0),(0)", "1,2,0,0,0"},
      {"cnmi", "+CNMI: (0-3),(1),(2),(1),(1)", "2,1,2,1,1"},
      {"cnmi", "+CNMI: (3),(0-3)", "3,1"},
      {"cnmi", "+CNMI: (0),(0-3),(0),(0),(0)", ""},
      {"cnmi", "+CNMI: (0-2),(0),(0),(0),(0)", ""},
      {"cnmi", "+CNMI: (0-2)", ""},
      {"cnmi", "OK", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(applyRule(row.Rule, row.Input), row.Expected)
        << row.Rule << " of \"" << row.Input << "\"";
  }
}

std::string describe(const std::vector<TModemAnswerPiece>& aPieces) {
  std::string text;
  for (const auto& piece : aPieces) {
    static const char* const IC_KINDS[] = {"line", "final", "prompt", "urc", "noise"};
    text += std::string(IC_KINDS[piece.Kind]) + "(" + piece.Text +
            (piece.Pdu.empty() ? "" : "/" + piece.Pdu) + ") ";
  }
  return text;
}

// However the bytes are cut, the framer finds the same pieces.
TEST(VTModemAnswerFramerTest, FindsThePiecesWhereverTheBytesAreCut) {
  struct TCase {
    std::string Bytes;
    std::string ExpectedPrefix;
    std::string Pieces;
  };
  const TCase cases[] = {
      {"\r\n+CMGL: 1,0,,23\r\n^RSSI:18\r\n0791AB\r\n\r\nOK\r\n", "+CMGL",
       "line(+CMGL: 1,0,,23) urc(^RSSI:18) line(0791AB) final(OK) "},
      {"\r\n> \r\n+CMTI: \"SM\",2\r\n", "", "prompt(> ) urc(+CMTI: \"SM\",2) "},
      {"\r\n+CMT: ,24\r\n0791AB\r\n\r\n+CMGS: 3\r\n\r\nOK\r\n", "+CMGS",
       "urc(+CMT: ,24/0791AB) line(+CMGS: 3) final(OK) "},
      {"AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", "+CPIN",
       "line(AT+CPIN?) line(+CPIN: SIM PIN) final(OK) "},
      {"\r\n\x7f\x01#~~#\x02\xfe\r\n+CMS ERROR: 500\r\n", "",
       "noise(#~~#\x02\xfe) final(+CMS ERROR: 500) "},
      {"\r\n+CMT: ,24\r\nOK\r\n", "", "urc(+CMT: ,24) final(OK) "},
  };
  std::mt19937 random(7);
  for (const auto& c : cases) {
    for (int round = 0; round < 20; ++round) {
      TVTModemAnswerFramer framer;
      framer.setExpectedPrefix(c.ExpectedPrefix);
      std::vector<TModemAnswerPiece> pieces;
      for (std::size_t offset = 0; offset < c.Bytes.size();) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 6)(random);
        const auto found = framer.feed(c.Bytes.substr(offset, round == 0 ? c.Bytes.size() : size));
        pieces.insert(pieces.end(), found.begin(), found.end());
        offset += round == 0 ? c.Bytes.size() : size;
      }
      EXPECT_EQ(describe(pieces), c.Pieces) << "round " << round;
    }
  }
}

TEST(VTModemAnswerFramerTest, SeesThePromptAloneAndTheEchoedPDUAfterIt) {
  TVTModemAnswerFramer framer;
  EXPECT_EQ(describe(framer.feed("AT+CMGS=18\r\r\n>")), "line(AT+CMGS=18) prompt(> ) ");
  EXPECT_EQ(describe(framer.feed(" 0001AB")), "");
  EXPECT_EQ(describe(framer.feed("\r\n+CMGS: 1\r\n\r\nOK\r\n")),
            "line(0001AB) line(+CMGS: 1) final(OK) ");
}

TEST(VTModemAnswerFramerTest, CutsOverlongLinesAndForgetsWhatClearDrops) {
  TVTModemAnswerFramer framer;
  const auto pieces = framer.feed(std::string(TVTModemAnswerFramer::IC_MAXLINE + 10, 'A'));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].Text.size(), TVTModemAnswerFramer::IC_MAXLINE);
  (void)framer.feed("+CMT: ,3");
  framer.clear();
  EXPECT_EQ(describe(framer.feed("\r\nOK\r\n")), "final(OK) ");
}

} // namespace
