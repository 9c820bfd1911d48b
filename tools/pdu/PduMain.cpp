// parlino-pdu: the gateway's PDU codec for operators and tests.
//   parlino-pdu decode HEX                          the four decoded entries as one JSON object
//   parlino-pdu encode text|binary|push DEST DATA   the SMS-SUBMIT PDU
// Exit status 0 on success, 2 for a codec error (its text on stderr), 1 for a wrong call.
#include "modem/SMSCodec.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr int IC_EXITCODECERROR = 2;
constexpr int IC_EXITUSAGE = 1;

void usage(std::FILE* aOut) {
  std::fputs("usage: parlino-pdu decode HEX\n"
             "       parlino-pdu encode text|binary|push DESTINATION DATA\n",
             aOut);
}

// A JSON string: quotes, backslashes and control characters escaped; the UTF-8 text of the
// codec is copied as it is.
std::string jsonString(std::string_view aText) {
  std::string out = "\"";
  for (const char c : aText) {
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (static_cast<unsigned char>(c) < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
        out += escaped;
      } else {
        out += c;
      }
    }
  }
  return out + "\"";
}

// Modem listings are often pasted with blanks or a line end around the digits.
std::string trimmed(std::string_view aText) {
  const auto first = aText.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = aText.find_last_not_of(" \t\r\n");
  return std::string(aText.substr(first, last - first + 1));
}

int decode(const TSMSCODEC& aCodec, const std::string& aPDU) {
  const auto entries = aCodec.DecodeSMS(trimmed(aPDU));
  std::cout << "{\"originator\": " << jsonString(entries[0])
            << ", \"message\": " << jsonString(entries[1])
            << ", \"alphabet\": " << jsonString(entries[2])
            << ", \"timestamp\": " << jsonString(entries[3]) << "}\n";
  return 0;
}

int encode(const TSMSCODEC& aCodec, std::string_view aKind, const std::string& aDestination,
           const std::string& aData) {
  std::string pdu;
  if (aKind == "text") {
    pdu = aCodec.EncodeSMS(aDestination, aData);
  } else if (aKind == "binary") {
    pdu = aCodec.EncodeSMSBinary(aDestination, aData);
  } else if (aKind == "push") {
    pdu = aCodec.EncodeSMSPush(aDestination, aData);
  } else {
    usage(stderr);
    return IC_EXITUSAGE;
  }
  std::cout << pdu << "\n";
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const TSMSCODEC codec;
  const std::string_view command = argc > 1 ? argv[1] : "";
  try {
    if (command == "decode" && argc == 3) {
      return decode(codec, argv[2]);
    }
    if (command == "encode" && argc == 5) {
      return encode(codec, argv[2], argv[3], argv[4]);
    }
  } catch (const ESMSCodecError& error) {
    std::cerr << error.what() << "\n";
    return IC_EXITCODECERROR;
  }
  if (command == "--help" || command == "-h") {
    usage(stdout);
    return 0;
  }
  usage(stderr);
  return IC_EXITUSAGE;
}
