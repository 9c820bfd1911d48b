// Encode and decode throughput of the SMS codec (PDUs per second) for a mix of short and full
// texts, UCS2 and 8-bit messages, and of long texts sent as concatenated SMS (messages per
// second: encoding all parts; decoding all parts and joining them). Prints figures, asserts
// nothing.
//   pdu_bench [seconds per figure, default 2]
#include "modem/SMSCodec.h"
#include "modem/SMSConcatCollector.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

const std::string kDestination = "491711234567";
// SMS-DELIVER head up to the data coding: no centre, first octet, originator, protocol id.
const std::string kDeliverHead = "00040C9194711132547600";
const std::string kTimestamp = "11305071409080";

// Runs aWork until aSeconds have passed; returns the calls per second.
double rate(double aSeconds, const std::function<void()>& aWork) {
  long long calls = 0;
  const auto start = TClock::now();
  const auto end = start + std::chrono::duration<double>(aSeconds);
  while (TClock::now() < end) {
    for (int i = 0; i < 100; ++i) {
      aWork();
    }
    calls += 100;
  }
  return static_cast<double>(calls) / std::chrono::duration<double>(TClock::now() - start).count();
}

std::string hexOctets(std::size_t aCount) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < aCount; ++i) {
    hex += digits[(i * 7) % 16];
    hex += digits[(i * 3) % 16];
  }
  return hex;
}

// The user data length and user data of a 7-bit SUBMIT, as a DELIVER carries them.
std::string deliverOfText(const TSMSCODEC& aCodec, const std::string& aText) {
  const std::string submit = aCodec.EncodeSMS(kDestination, aText);
  const std::size_t userData = 6 + 4 + kDestination.size() + 4;
  return kDeliverHead + "00" + kTimestamp + submit.substr(userData);
}

// The SMS-DELIVER a phone would receive for one SMS-SUBMIT of the encoder.
std::string deliverOfSubmit(const std::string& aSubmit) {
  const std::size_t dataCoding = 6 + 4 + kDestination.size() + 2;
  const std::string firstOctet = aSubmit.substr(2, 2) == "41" ? "44" : "04";
  return "00" + firstOctet + kDeliverHead.substr(4) + aSubmit.substr(dataCoding, 2) + kTimestamp +
         aSubmit.substr(dataCoding + 2);
}

void report(const char* aWhat, double aPerSecond, const char* aUnit = "PDUs/s") {
  std::printf("%-40s %12.0f %s\n", aWhat, aPerSecond, aUnit);
}

// Encoding a long text into its parts, and decoding and joining the parts as they arrive.
int reportLongText(double aSeconds, const TSMSCODEC& aCodec, const char* aName,
                   const std::string& aText) {
  std::vector<std::string> received;
  try {
    for (const auto& pdu : aCodec.EncodeSMSParts(kDestination, aText, 1)) {
      received.push_back(deliverOfSubmit(pdu));
    }
    if (aCodec.DecodeSMSFull(received.front()).Concat.Total != static_cast<int>(received.size())) {
      throw ESMSCodecError("the parts do not read back");
    }
  } catch (const ESMSCodecError& e) {
    std::fprintf(stderr, "pdu_bench: %s: %s\n", aName, e.what());
    return 1;
  }
  const std::string parts = ", " + std::to_string(received.size()) + " parts";
  const std::string encodeName = std::string("encode ") + aName + parts;
  report(encodeName.c_str(),
         rate(aSeconds, [&] { (void)aCodec.EncodeSMSParts(kDestination, aText, 1); }),
         "messages/s");
  const std::string decodeName = std::string("decode, join ") + aName + parts;
  report(decodeName.c_str(),
         rate(aSeconds,
              [&] {
                TSMSConcatCollector collector;
                for (const auto& pdu : received) {
                  (void)collector.add({aCodec.DecodeSMSFull(pdu), pdu, TDateTime()});
                }
              }),
         "messages/s");
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  const TSMSCODEC codec;
  const std::string shortText = "Termin morgen um 10 Uhr, bitte bestaetigen.";
  const std::string fullText(160, 'x');
  const std::string euroText = std::string(70, 'a') + "\xE2\x82\xAC" + "[]" + std::string(70, 'b');
  const std::string binary = hexOctets(140);

  std::printf("SMS codec, %.1f s per figure\n", seconds);
  report("encode text, 43 characters",
         rate(seconds, [&] { (void)codec.EncodeSMS(kDestination, shortText); }));
  report("encode text, 160 characters",
         rate(seconds, [&] { (void)codec.EncodeSMS(kDestination, fullText); }));
  report("encode text with extension chars",
         rate(seconds, [&] { (void)codec.EncodeSMS(kDestination, euroText); }));
  report("encode binary, 140 octets",
         rate(seconds, [&] { (void)codec.EncodeSMSBinary(kDestination, binary); }));
  report("encode push, 140 octets",
         rate(seconds, [&] { (void)codec.EncodeSMSPush(kDestination, binary); }));

  std::string ucs2Text = "0048"; // "H" and 34 Greek capital deltas: 70 octets
  for (int i = 0; i < 34; ++i) {
    ucs2Text += "0394";
  }
  const std::vector<std::string> received{
      deliverOfText(codec, shortText),
      deliverOfText(codec, fullText),
      kDeliverHead + "08" + kTimestamp + "46" + ucs2Text,
      kDeliverHead + "04" + kTimestamp + "8C" + binary,
  };
  const char* const names[] = {"decode text, 43 characters", "decode text, 160 characters",
                               "decode UCS2, 35 characters", "decode 8-bit, 140 octets"};
  for (std::size_t i = 0; i < received.size(); ++i) {
    try {
      (void)codec.DecodeSMS(received[i]);
    } catch (const ESMSCodecError& e) {
      std::fprintf(stderr, "pdu_bench: %s: %s\n", names[i], e.what());
      return 1;
    }
    report(names[i], rate(seconds, [&] { (void)codec.DecodeSMS(received[i]); }));
  }
  const double mixed = rate(seconds, [&] {
    for (const auto& pdu : received) {
      (void)codec.DecodeSMS(pdu);
    }
  });
  report("decode mix of the four", mixed * static_cast<double>(received.size()));

  std::string cyrillic; // 400 characters
  for (int i = 0; i < 36; ++i) {
    cyrillic += "Привет мир ";
  }
  cyrillic += "Мир!";
  std::string emoji; // 300 characters, 400 UTF-16 units
  for (int i = 0; i < 100; ++i) {
    emoji += "😀ok";
  }
  return reportLongText(seconds, codec, "7-bit, 918 septets", std::string(916, 'x') + "{") +
         reportLongText(seconds, codec, "UCS2, 400 chars", cyrillic) +
         reportLongText(seconds, codec, "UCS2, 100 emoji", emoji);
}
