#pragma once

#include <string>
#include <string_view>
#include <vector>

// The pure text rules of the serial modem dialogue: how an answer splits into lines, which
// lines end an answer or arrive unasked, and how the report lines of AT+CPMS?, AT+CMGL,
// AT+CMGR, AT+CMGS, AT+CNMI=? and the new-message notices are read. No I/O, no state;
// nothing throws.

// Lines of a modem answer: a line ends at CR, LF or CR LF, and a line end at the very end
// gives no empty line after it (CR LF "OK" CR LF gives "" and "OK").
std::vector<std::string> splitModemAnswer(std::string_view aText);
// The lines again, each followed by CR LF.
std::string joinModemAnswer(const std::vector<std::string>& aLines);

// The text with the line end a command needs: CR LF is appended unless the text already
// ends in LF or has CR as its last-but-one character.
std::string withModemLineEnd(std::string_view aText);

// A decimal integer with optional leading blanks and sign, or aDefault.
int modemStrToIntDef(std::string_view aText, int aDefault);

// The text without leading and trailing blanks and control characters.
std::string_view trimModemLine(std::string_view aText);

// Reads the three storage capacities of a +CPMS report (+CPMS: "SM",3,30,"SM",3,30,...):
// the text from the eighth character after "+CPMS" begins, split at ",", needs at least
// nine fields; fields 2, 5 and 8 are the capacities, each 10 when it is not a number.
// False (values untouched) when the line is no such report.
bool parseCPMSReport(std::string_view aLine, int& aDefaultStorage, int& aSendStorage,
                     int& aReceiveStorage);

// How full the message storage is, from the answer to AT+CPMS= ("+CPMS: 3,30,3,30,3,30") or
// to AT+CPMS? ("+CPMS: "SM",3,30,"SM",3,30,"SM",3,30"): used and total slots of the first
// storage. False (values untouched) when the line is no such report or the numbers are
// missing or negative.
bool parseCPMSUsage(std::string_view aLine, int& aUsed, int& aTotal);

// The signal report of AT+CSQ ("+CSQ: 21,99"): the received signal strength indication
// (0..31, 99 unknown) and the bit error rate (0..7, 99 unknown). False (values untouched)
// when the line is no such report.
bool parseCSQReport(std::string_view aLine, int& aRssi, int& aBitErrorRate);

// The network registration of the answer to AT+CREG? ("+CREG: 0,1", also with location
// fields "+CREG: 2,1,"00C3","0010"") or of the unsolicited "+CREG: 5": the status (0 not
// registered, 1 home network, 2 searching, 3 denied, 4 unknown, 5 roaming). False (value
// untouched) when the line is no such report.
bool parseCREGReport(std::string_view aLine, int& aStatus);

// The values of a +CMGL header ("+CMGL: 1,0,,23" or "+CMGL: 3,0,23"): index, state and
// length as decimal integers, -1 where a field is missing or not a number.
struct TCMGLHeader {
  int Index = -1;
  int State = -1;
  int Length = -1;
};
TCMGLHeader parseCMGLHeader(std::string_view aLine);

// The result of a send from the answer line to the PDU: 0 for "+CMGS", the positive number
// after "ERROR" ("ERROR 500" gives 500), 2 for an "ERROR" without one ("+CMS ERROR: 500"),
// 1 for anything else (a time-out gives the empty line).
int modemSendResult(std::string_view aLine);

// One message of an AT+CMGL listing: the header values in force and the PDU line.
struct TCMGLEntry {
  TCMGLHeader Header;
  std::string Pdu;
};
// Walks the answer lines of AT+CMGL: a line with "+CMGL" is a header, and the first line of
// hex digits after it is its PDU. Other lines (empty ones, "OK", noise that slipped in
// between) are skipped, so is a header without a PDU before the next header.
// ("+CMGL: 1,0,,23", "~#noise", "0791..." gives one entry, index 1, PDU "0791...".)
std::vector<TCMGLEntry> parseCMGLListing(const std::vector<std::string>& aLines);

// The header of an AT+CMGR answer ("+CMGR: 1,,24" or "+CMGR: 0,24"): state and length,
// Index stays -1; false when the line is no such header.
bool parseCMGRHeader(std::string_view aLine, TCMGLHeader& aHeader);

// A line of hex digits only, at least two and an even count: the form of a PDU line.
bool isModemHexLine(std::string_view aLine);

// How a line ends an answer: "OK" is success; "ERROR" (also "ERROR 500"), "+CMS ERROR: n",
// "+CME ERROR: n" and "COMMAND NOT SUPPORT" are failures; any other line does not end it.
enum TModemFinalKind { mfNone, mfOK, mfError };
TModemFinalKind modemFinalResult(std::string_view aLine);

// Whether a line is an unsolicited result code: one the modem sends on its own at any
// moment ("+CMTI: "SM",3", "RING", "+CREG: 1", "^RSSI:17", "^BOOT:...", "+CMT: ,24" ...).
// Every line starting with "^" is one. A line that starts with aExpectedPrefix, the
// information prefix of the command now running ("+CPIN" while AT+CPIN? runs), is an answer
// line instead. muWithPdu: the code carries a PDU on the next line ("+CMT:", "+CDS:",
// "+CBM:").
enum TModemUnsolicitedKind { muNone, muPlain, muWithPdu };
TModemUnsolicitedKind modemUnsolicitedKind(std::string_view aLine,
                                           std::string_view aExpectedPrefix = {});

// The rest of the input after the last line end is the prompt for a PDU: ">" with or
// without blanks after it ("> ").
bool isModemPrompt(std::string_view aPartialLine);

// A line that shows that the modem has started anew or wants its PIN again, so that the
// start-up dialogue must run before the next command: "RDY", "^SYSSTART", "+CPIN: SIM PIN",
// "+CMS ERROR: 311" (SIM PIN required), "+CME ERROR: 11".
bool modemNeedsStartup(std::string_view aLine);

// A new-message notice "+CMTI: "SM",3": the storage name (without quotes) and the slot;
// false when the line is no such notice or has no slot number.
bool parseCMTINotice(std::string_view aLine, std::string& aMemory, int& aIndex);
// The length of a delivered message "+CMT: ,24" or "+CMT: "alpha",24" (its last field);
// -1 when the line is no such header or the length is not a number.
int parseCMTLength(std::string_view aLine);

// The AT+CNMI setting to ask for, chosen from the ranges the modem offers in its answer to
// "AT+CNMI=?" ("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"): mode 2, else 1, else 3; new
// messages stored and announced (1), else delivered (2), else 3; 0 for the other values
// where offered, else the smallest offered. "2,1,0,0,0" for the example; empty when the
// answer is no such report or offers no mode or no announcement, so that polling alone is
// left.
std::string chooseCNMISetting(std::string_view aTestAnswer);
