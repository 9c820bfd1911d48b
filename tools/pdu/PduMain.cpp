// parlino-pdu: the gateway's PDU codec for operators and tests.
//   parlino-pdu decode HEX                  the fields of one SMS-DELIVER or SMS-SUBMIT as JSON
//   parlino-pdu join HEX...                 the parts joined into messages, one JSON line each
//   parlino-pdu encode text [--reference N] [--max-parts N] DEST TEXT
//                                           the SMS-SUBMIT PDUs of a text, one per line
//   parlino-pdu encode binary|push DEST DATA
//                                           the SMS-SUBMIT PDU of hex data
// Exit status 0 on success, 2 for a codec error (its text on stderr), 1 for a wrong call.
#include "modem/SMSCodec.h"
#include "modem/SMSConcatCollector.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using TJson = nlohmann::ordered_json;

constexpr int IC_EXITCODECERROR = 2;
constexpr int IC_EXITUSAGE = 1;

void usage(std::FILE* aOut) {
  std::fputs("usage: parlino-pdu decode HEX\n"
             "       parlino-pdu join HEX...\n"
             "       parlino-pdu encode text [--reference N] [--max-parts N] DESTINATION TEXT\n"
             "       parlino-pdu encode binary|push DESTINATION DATA\n",
             aOut);
}

void printJson(const TJson& aValue) {
  std::cout << aValue.dump(-1, ' ', false, TJson::error_handler_t::replace) << "\n";
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

TJson concatJson(const TSMSConcatInfo& aConcat) {
  if (!aConcat.isPart()) {
    return nullptr;
  }
  return {{"reference", aConcat.Reference},
          {"referenceBits", aConcat.WideReference ? 16 : 8},
          {"total", aConcat.Total},
          {"number", aConcat.Number}};
}

int decode(const TSMSCODEC& aCodec, const std::string& aPDU) {
  const TSMSDecoded decoded = aCodec.DecodeSMSFull(trimmed(aPDU));
  TJson out;
  out["type"] = decoded.Submit ? "submit" : "deliver";
  out[decoded.Submit ? "destination" : "originator"] = decoded.Address;
  out["message"] = decoded.Message;
  out["alphabet"] = std::to_string(decoded.Alphabet);
  if (!decoded.Submit) {
    out["timestamp"] = decoded.TimeStamp;
  }
  out["header"] = decoded.Header;
  out["concat"] = concatJson(decoded.Concat);
  printJson(out);
  return 0;
}

void printJoined(const TSMSConcatMessage& aMessage) {
  const TSMSDecoded& first = aMessage.Parts.front().Decoded;
  TJson numbers = TJson::array();
  for (const auto& part : aMessage.Parts) {
    numbers.push_back(part.Decoded.Concat.Number);
  }
  printJson({{first.Submit ? "destination" : "originator", first.Address},
             {"message", aMessage.Text},
             {"alphabet", std::to_string(first.Alphabet)},
             {"complete", aMessage.Complete},
             {"total", first.Concat.Total},
             {"parts", numbers}});
}

// Whole messages as their last part comes, then what is left of incomplete ones.
int join(const TSMSCODEC& aCodec, const std::vector<std::string>& aPDUs) {
  std::vector<TSMSConcatPart> parts;
  for (const auto& pdu : aPDUs) {
    parts.push_back({aCodec.DecodeSMSFull(trimmed(pdu)), pdu, TDateTime()});
  }
  TSMSConcatCollector collector;
  for (auto& part : parts) {
    const TSMSConcatAdded added = collector.add(std::move(part));
    if (added.State == csComplete) {
      printJoined(added.Message);
    }
  }
  for (const auto& message : collector.takeExpired(TDateTime(1.0), std::chrono::milliseconds(0))) {
    printJoined(message);
  }
  return 0;
}

bool parseCount(std::string_view aText, int aMin, int aMax, int& aValue) {
  const auto [end, error] = std::from_chars(aText.data(), aText.data() + aText.size(), aValue);
  return error == std::errc() && end == aText.data() + aText.size() && aValue >= aMin &&
         aValue <= aMax;
}

// aArguments: the words after "encode".
int encode(const TSMSCODEC& aCodec, const std::vector<std::string>& aArguments) {
  if (aArguments.empty()) {
    usage(stderr);
    return IC_EXITUSAGE;
  }
  const std::string& kind = aArguments[0];
  std::size_t next = 1;
  int reference = 0;
  int maxParts = IC_DEFAULTMAXSMSPARTS;
  while (kind == "text" && next + 1 < aArguments.size() &&
         (aArguments[next] == "--reference" || aArguments[next] == "--max-parts")) {
    const bool isReference = aArguments[next] == "--reference";
    if (!(isReference ? parseCount(aArguments[next + 1], 0, 255, reference)
                      : parseCount(aArguments[next + 1], 1, IC_MAXSMSPARTS, maxParts))) {
      std::cerr << aArguments[next] << " takes a number from " << (isReference ? 0 : 1) << " to "
                << (isReference ? 255 : IC_MAXSMSPARTS) << "\n";
      usage(stderr);
      return IC_EXITUSAGE;
    }
    next += 2;
  }
  if (aArguments.size() != next + 2) {
    usage(stderr);
    return IC_EXITUSAGE;
  }
  const std::string& destination = aArguments[next];
  const std::string& data = aArguments[next + 1];
  std::vector<std::string> pdus;
  if (kind == "text") {
    pdus = aCodec.EncodeSMSParts(destination, data, static_cast<std::uint8_t>(reference), maxParts);
  } else if (kind == "binary") {
    pdus = {aCodec.EncodeSMSBinary(destination, data)};
  } else if (kind == "push") {
    pdus = {aCodec.EncodeSMSPush(destination, data)};
  } else {
    usage(stderr);
    return IC_EXITUSAGE;
  }
  for (const auto& pdu : pdus) {
    std::cout << pdu << "\n";
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const TSMSCODEC codec;
  const std::string_view command = argc > 1 ? argv[1] : "";
  const std::vector<std::string> rest(argv + std::min(argc, 2), argv + argc);
  try {
    if (command == "decode" && rest.size() == 1) {
      return decode(codec, rest[0]);
    }
    if (command == "join" && !rest.empty()) {
      return join(codec, rest);
    }
    if (command == "encode") {
      return encode(codec, rest);
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
