#pragma once

#include <string>
#include <string_view>
#include <vector>

// The pure text rules of the serial modem dialogue: how an answer splits into lines and how
// the report lines of AT+CPMS?, AT+CMGL and AT+CMGS are read. No I/O, no state; nothing
// throws.

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
// Walks the answer lines of AT+CMGL: empty lines and lines with "OK" are skipped, a line
// with "+CMGL" sets the header values, any other line is a PDU under the last header.
std::vector<TCMGLEntry> parseCMGLListing(const std::vector<std::string>& aLines);
