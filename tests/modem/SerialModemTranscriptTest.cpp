#include "modem/VTSMSManagerSerialModem.h"
#include "tests/modem/ModemTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

namespace {

struct TStep {
  bool FromDriver = false;
  std::string Bytes;
};

std::string unescape(const std::string& aText) {
  std::string bytes;
  for (std::size_t i = 0; i < aText.size(); ++i) {
    if (aText[i] != '\\' || i + 1 == aText.size()) {
      bytes += aText[i];
      continue;
    }
    const char c = aText[++i];
    if (c == 'r') {
      bytes += '\r';
    } else if (c == 'n') {
      bytes += '\n';
    } else if (c == 'x' && i + 2 < aText.size()) {
      bytes += static_cast<char>(std::stoi(aText.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

std::vector<TStep> loadTranscript(const std::string& aPath) {
  std::vector<TStep> steps;
  std::ifstream in(aPath);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() >= 2 && (line[0] == '>' || line[0] == '<') && line[1] == ' ') {
      steps.push_back({line[0] == '>', unescape(line.substr(2))});
    }
  }
  return steps;
}

// Plays the modem's side of a transcript on the line: checks every write of the driver and
// answers in randomly cut pieces, so that markers arrive split across deliveries.
class TScriptedModem {
public:
  TScriptedModem(modemtest::TPtyLine& aLine, std::vector<TStep> aSteps, unsigned aSeed)
      : fLine(aLine), fSteps(std::move(aSteps)), fRandom(aSeed) {
    fThread = std::thread([this] { play(); });
  }
  ~TScriptedModem() {
    fStop = true;
    fThread.join();
  }
  bool finished() const { return fFinished; }
  std::string mismatch() {
    std::lock_guard lock(fCS);
    return fMismatch;
  }

private:
  void play() {
    std::string pending;
    for (const auto& step : fSteps) {
      if (step.FromDriver) {
        while (!fStop && pending.size() < step.Bytes.size()) {
          pending += fLine.readAvailable(50);
        }
        if (pending.compare(0, step.Bytes.size(), step.Bytes) != 0) {
          std::lock_guard lock(fCS);
          fMismatch = "expected \"" + step.Bytes + "\", got \"" + pending + "\"";
          return;
        }
        pending.erase(0, step.Bytes.size());
        continue;
      }
      std::size_t offset = 0;
      while (offset < step.Bytes.size()) {
        const std::size_t piece = std::uniform_int_distribution<std::size_t>(1, 9)(fRandom);
        fLine.write(step.Bytes.substr(offset, piece));
        offset += piece;
        // The pieces come with the gaps of a slow line.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 12)(fRandom)));
      }
    }
    fFinished = true;
  }

  modemtest::TPtyLine& fLine;
  std::vector<TStep> fSteps;
  std::mt19937 fRandom;
  std::mutex fCS;
  std::string fMismatch;
  std::atomic<bool> fStop{false};
  std::atomic<bool> fFinished{false};
  std::thread fThread;
};

TEST(SerialModemTranscriptTest, SessionWithAnswersInRandomPieces) {
  const auto steps =
      loadTranscript(testsupport::sourcePath("tests/data/modem/activation-poll-send.transcript"));
  ASSERT_EQ(steps.size(), 19u);
  for (unsigned seed : {1u, 2u, 3u}) {
    testsupport::TTempDir dir;
    modemtest::TPtyLine line(dir.file("COM2"));
    TScriptedModem modem(line, steps, seed);
    TVTSMSManagerSerialModem driver;
    std::mutex cs;
    std::vector<TVTSMSManagerMessage> received;
    std::vector<std::string> undecodable;
    driver.OnSMSReceived = [&](TVTSMSManager*, const std::string&, const std::string&,
                               const std::string&, const TVTSMSManagerMessage& aSMSInfo) {
      std::lock_guard lock(cs);
      received.push_back(aSMSInfo);
    };
    driver.OnDecodeError = [&](TVTSMSManager*, const std::string& aPDU, const std::string&) {
      std::lock_guard lock(cs);
      undecodable.push_back(aPDU);
    };
    driver.setSerialDeviceDir(dir.path());
    driver.setCommPort(2);
    driver.setTimings(modemtest::fastTimings());
    driver.setActive(true);
    EXPECT_EQ(driver.getModemVendorInfo(), "Simulated Vendor");
    EXPECT_EQ(driver.getModemModelInfo(), "Model 7");
    EXPECT_EQ(driver.getModemSerialNumberInfo(), "490154203237518");
    EXPECT_EQ(driver.getSMSMemorySizeDefaultStorage(), 30);
    ASSERT_TRUE(testsupport::waitFor([&] {
      std::lock_guard lock(cs);
      return received.size() == 2;
    })) << modem.mismatch();
    EXPECT_EQ(driver.sendSMSText("+491711234567", "Hallo"), ICSMSRESULT_OK) << modem.mismatch();
    EXPECT_TRUE(testsupport::waitFor([&] { return modem.finished(); })) << modem.mismatch();
    driver.setActive(false);

    std::lock_guard lock(cs);
    EXPECT_EQ(received[0].getMessageIndex(), 1);
    EXPECT_EQ(received[0].getMessageState(), 0);
    EXPECT_EQ(received[0].getMessageLength(), 23);
    EXPECT_EQ(received[0].getRecipient(), "491711234567");
    EXPECT_EQ(received[0].getTheMessage(), "Hallo");
    EXPECT_EQ(received[1].getMessageIndex(), 2);
    EXPECT_EQ(received[1].getMessageLength(), 25);
    EXPECT_EQ(received[1].getMessageType(), VTSMSMMT_DATA);
    EXPECT_EQ(received[1].getMessageDataPDU(), "07FFFF");
    EXPECT_EQ(undecodable, std::vector<std::string>{"07FFFF"});
  }
}

} // namespace
