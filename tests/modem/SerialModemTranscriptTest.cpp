// The serial modem driver against recorded AT transcripts, one test case per file in
// tests/data/modem/*.transcript, played on an in-memory serial line in random pieces and on
// a wait clock that lets time-outs pass without waiting for them.
//
// A transcript is a sequence of lines:
//   > bytes   the driver must write these next (writes may be cut anywhere)
//   < bytes   the modem sends these once the lines before are through (cut in random pieces)
//   ~ unplug  the device vanishes (or ~ plug: comes back) once the lines before are through,
//             also in the middle of an exchange
//   ! action  the test does something: pin P, activate, deactivate, send NUMBER TEXT -> RESULT,
//             store ok|fail|throw, poll, unplug, plug, network-status-every MS (the polling
//             cycle asks for signal and registration at most this often; never unless set)
//   = event   the next event of the polling thread must be this one: received SLOT SENDER
//             "TEXT", not-stored SLOT SENDER "TEXT" (SENDER - when empty), decode-error PDU,
//             deleted SLOT, read-error N, delete-error N
//   ? check   identity VENDOR|MODEL|SERIAL|STORAGE-SIZE, notices SETTING (- for none),
//             waited MS (at least so much time passed on the driver's clock),
//             network SIGNAL|BER|REGISTRATION|USED/TOTAL (-1 for not known)
// In the bytes \r, \n, \\ and \xNN stand for their bytes; "#" starts a comment line.
#include "modem/VTSMSManagerSerialModem.h"
#include "tests/modem/MemorySerialLine.h"
#include "tests/support/TestSupport.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using modemtest::TManualWaitClock;
using modemtest::TMemorySerialLine;

struct TStep {
  char Kind = '#';
  std::string Text;
  int Line = 0;
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
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.size() < 2 || line[1] != ' ' ||
        std::string("><~!=?").find(line[0]) == std::string::npos) {
      continue;
    }
    const bool bytes = line[0] == '>' || line[0] == '<';
    steps.push_back({line[0], bytes ? unescape(line.substr(2)) : line.substr(2), number});
  }
  return steps;
}

std::string printable(const std::string& aBytes) {
  std::string text;
  for (unsigned char c : aBytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

// The modem's side of a transcript: one cursor over the steps, moved on by the driver's
// writes (">" steps), by itself over the modem's lines ("<" steps, queued on the line in
// random pieces), and by the test over the other steps. Lock: fCSPlayer before the line's.
class TTranscriptPlayer {
public:
  TTranscriptPlayer(std::vector<TStep> aSteps, std::shared_ptr<TMemorySerialLine> aLine,
                    unsigned aSeed)
      : fSteps(std::move(aSteps)), fLine(std::move(aLine)), fRandom(aSeed) {
    fLine->OnWrite = [this](const std::string& aBytes) { written(aBytes); };
    TScopedLock lock(fCSPlayer);
    advance();
  }

  // Waits until the cursor stands at step aIndex; false after a mismatch or a time-out.
  bool waitForStep(std::size_t aIndex) EXCLUDES(fCSPlayer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    TUniqueLock lock(fCSPlayer);
    while (fCursor != aIndex && fMismatch.empty()) {
      if (!fMoved.waitUntil(lock, deadline)) {
        break;
      }
    }
    return fCursor == aIndex && fMismatch.empty();
  }
  void pass(std::size_t aIndex) EXCLUDES(fCSPlayer) {
    {
      TScopedLock lock(fCSPlayer);
      if (fCursor == aIndex) {
        ++fCursor;
        advance();
      }
    }
    fMoved.notifyAll();
  }
  // The modem waits for the driver (or has nothing left to say, or the test's next step
  // waits for the test, which is busy with the driver).
  bool waitsForDriver() const EXCLUDES(fCSPlayer) {
    TScopedLock lock(fCSPlayer);
    return fCursor == fSteps.size() || fSteps[fCursor].Kind == '>' ||
           (fTestBusy && fSteps[fCursor].Kind != '<' && fSteps[fCursor].Kind != '~');
  }
  // The test waits for the driver (in an action or for an event).
  void setTestBusy(bool aBusy) { fTestBusy = aBusy; }
  std::string mismatch() const EXCLUDES(fCSPlayer) {
    TScopedLock lock(fCSPlayer);
    return fMismatch;
  }
  std::string unmatched() const EXCLUDES(fCSPlayer) {
    TScopedLock lock(fCSPlayer);
    return fWritten;
  }
  const std::vector<TStep>& steps() const { return fSteps; }

private:
  void written(const std::string& aBytes) EXCLUDES(fCSPlayer) {
    {
      TScopedLock lock(fCSPlayer);
      fWritten += aBytes;
      advance();
    }
    fMoved.notifyAll();
  }

  void advance() REQUIRES(fCSPlayer) {
    while (fCursor < fSteps.size() && fMismatch.empty()) {
      const TStep& step = fSteps[fCursor];
      if (step.Kind == '<') {
        std::vector<std::string> pieces;
        for (std::size_t offset = 0; offset < step.Text.size();) {
          const std::size_t piece = std::uniform_int_distribution<std::size_t>(1, 9)(fRandom);
          pieces.push_back(step.Text.substr(offset, piece));
          offset += piece;
        }
        fLine->answer(pieces);
        ++fCursor;
        continue;
      }
      if (step.Kind == '~') {
        if (step.Text == "unplug") {
          fLine->unplug();
        } else {
          fLine->plug();
        }
        ++fCursor;
        continue;
      }
      if (step.Kind != '>') {
        return; // the test's step
      }
      if (fWritten.size() >= step.Text.size()) {
        if (fWritten.compare(0, step.Text.size(), step.Text) != 0) {
          fMismatch = "line " + std::to_string(step.Line) + ": expected the driver to write \"" +
                      printable(step.Text) + "\", it wrote \"" + printable(fWritten) + "\"";
          return;
        }
        fWritten.erase(0, step.Text.size());
        ++fCursor;
        continue;
      }
      if (step.Text.compare(0, fWritten.size(), fWritten) != 0) {
        fMismatch = "line " + std::to_string(step.Line) + ": expected the driver to write \"" +
                    printable(step.Text) + "\", it wrote \"" + printable(fWritten) + "\"";
      }
      return; // the rest of the step is still to come
    }
  }

  std::vector<TStep> fSteps;
  std::shared_ptr<TMemorySerialLine> fLine;
  mutable TCriticalSection fCSPlayer;
  TConditionVariable fMoved;
  std::size_t fCursor GUARDED_BY(fCSPlayer) = 0;
  std::atomic<bool> fTestBusy{false};
  std::string fWritten GUARDED_BY(fCSPlayer);
  std::string fMismatch GUARDED_BY(fCSPlayer);
  std::mt19937 fRandom GUARDED_BY(fCSPlayer);
};

// What the polling thread reported, in order.
class TEventRecord {
public:
  void add(const std::string& aEvent) EXCLUDES(fCSEvents) {
    {
      TScopedLock lock(fCSEvents);
      fEvents.push_back(aEvent);
    }
    fAdded.notifyAll();
  }
  // The event number aIndex once it has come; empty after a time-out.
  std::string waitFor(std::size_t aIndex) EXCLUDES(fCSEvents) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    TUniqueLock lock(fCSEvents);
    while (fEvents.size() <= aIndex) {
      if (!fAdded.waitUntil(lock, deadline)) {
        return {};
      }
    }
    return fEvents[aIndex];
  }
  std::vector<std::string> all() EXCLUDES(fCSEvents) {
    TScopedLock lock(fCSEvents);
    return fEvents;
  }

private:
  TCriticalSection fCSEvents;
  TConditionVariable fAdded;
  std::vector<std::string> fEvents GUARDED_BY(fCSEvents);
};

std::vector<std::string> transcriptFiles() {
  std::vector<std::string> names;
  const std::string dir = testsupport::sourcePath("tests/data/modem");
  if (DIR* folder = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      const std::string suffix = ".transcript";
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        names.push_back(name.substr(0, name.size() - suffix.size()));
      }
    }
    ::closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class SerialModemTranscriptTest : public ::testing::TestWithParam<std::string> {};

enum class EStore { Stored, Refused, Throws };

void playTranscript(const std::vector<TStep>& aSteps, unsigned aSeed) {
  auto line = TMemorySerialLine::create();
  TTranscriptPlayer player(aSteps, line, aSeed);
  TEventRecord events;
  std::atomic<EStore> store{EStore::Stored};
  std::atomic<TVTSerialPort*> port{nullptr};
  TManualWaitClock clock([&] {
    return player.waitsForDriver() && line->readerIdle() && port.load() != nullptr &&
           port.load()->undeliveredSize() == 0;
  });
  TVTSMSManagerSerialModem driver(line->createDevice());
  port = &driver.serialPort();
  driver.OnSMSReceived = [&](TVTSMSManager*, const std::string& aSender, const std::string& aText,
                             const std::string&, const TVTSMSManagerMessage& aSMSInfo) {
    const EStore mode = store;
    events.add((mode == EStore::Stored ? "received " : "not-stored ") +
               std::to_string(aSMSInfo.getMessageIndex()) + " " +
               (aSender.empty() ? "-" : aSender) + " \"" + aText + "\"");
    if (mode == EStore::Throws) {
      throw std::runtime_error("the store is gone");
    }
    return mode == EStore::Stored;
  };
  driver.OnDecodeError = [&](TVTSMSManager*, const std::string& aPdu, const std::string&) {
    events.add("decode-error " + aPdu);
  };
  driver.OnSMSDeleted = [&](TVTSMSManager*, const TVTSMSManagerMessageList& aList) {
    for (const auto& message : aList) {
      events.add("deleted " + std::to_string(message->getMessageIndex()));
    }
  };
  driver.OnAutoReadSMSError = [&](TVTSMSManager*, int aCode) {
    events.add("read-error " + std::to_string(aCode));
  };
  driver.OnAutoDeleteSMSError = [&](TVTSMSManager*, int aCode) {
    events.add("delete-error " + std::to_string(aCode));
  };
  driver.setWaitClock(clock);
  driver.setAutoDeleteSMS(true);
  driver.setSMSCheckIntervall(3'600'000); // full reads only at activation and when asked
  driver.serialPort().setDelayAutoConnect(20);
  TVTSerialModemTimings timings = driver.getTimings();
  timings.NetworkStatusIntervalMS = -1;
  driver.setTimings(timings);

  std::size_t nextEvent = 0;
  for (std::size_t i = 0; i < aSteps.size(); ++i) {
    const TStep& step = aSteps[i];
    if (step.Kind == '<' || step.Kind == '>' || step.Kind == '~') {
      continue;
    }
    SCOPED_TRACE("transcript line " + std::to_string(step.Line) + ": " + step.Kind + " " +
                 step.Text);
    ASSERT_TRUE(player.waitForStep(i)) << player.mismatch();
    std::istringstream words(step.Text);
    std::string verb;
    words >> verb;
    if (step.Kind == '=') {
      player.pass(i);
      player.setTestBusy(true);
      EXPECT_EQ(events.waitFor(nextEvent++), step.Text) << player.mismatch();
      player.setTestBusy(false);
      continue;
    }
    if (step.Kind == '?') {
      if (verb == "identity") {
        EXPECT_EQ(step.Text.substr(9), driver.getModemVendorInfo() + "|" +
                                           driver.getModemModelInfo() + "|" +
                                           driver.getModemSerialNumberInfo() + "|" +
                                           std::to_string(driver.getSMSMemorySizeDefaultStorage()));
      } else if (verb == "waited") { // at least so many ms passed on the driver's clock
        EXPECT_GE(clock.elapsed().count(), std::stol(step.Text.substr(7)));
      } else if (verb == "notices") {
        const std::string notices = driver.getNewMessageNotices();
        EXPECT_EQ(step.Text.substr(8), notices.empty() ? "-" : notices);
      } else if (verb == "network") {
        const TVTModemNetworkStatus status = driver.getNetworkStatus();
        EXPECT_EQ(step.Text.substr(8), std::to_string(status.SignalQuality) + "|" +
                                           std::to_string(status.BitErrorRate) + "|" +
                                           std::to_string(status.Registration) + "|" +
                                           std::to_string(status.StorageUsed) + "/" +
                                           std::to_string(status.StorageTotal));
      } else {
        ADD_FAILURE() << "unknown check";
      }
      player.pass(i);
      continue;
    }
    if (verb == "activate") {
      player.pass(i);
      player.setTestBusy(true);
      driver.setActive(true);
      player.setTestBusy(false);
    } else if (verb == "send") {
      std::string number;
      words >> number;
      const auto arrow = step.Text.rfind(" -> ");
      ASSERT_NE(arrow, std::string::npos);
      const auto textStart = step.Text.find(number) + number.size() + 1;
      const std::string text = step.Text.substr(textStart, arrow - textStart);
      const int expected = std::stoi(step.Text.substr(arrow + 4));
      player.pass(i);
      player.setTestBusy(true);
      EXPECT_EQ(driver.sendSMSText(number, text), expected) << player.mismatch();
      player.setTestBusy(false);
    } else {
      if (verb == "pin") {
        std::string pin;
        words >> pin;
        driver.setPIN(pin);
      } else if (verb == "deactivate") {
        driver.setActive(false);
      } else if (verb == "store") {
        std::string mode;
        words >> mode;
        store = mode == "ok" ? EStore::Stored : mode == "fail" ? EStore::Refused : EStore::Throws;
      } else if (verb == "poll") {
        driver.requestFullRead();
      } else if (verb == "network-status-every") {
        int interval = 0;
        words >> interval;
        TVTSerialModemTimings changed = driver.getTimings();
        changed.NetworkStatusIntervalMS = interval;
        driver.setTimings(changed);
      } else if (verb == "unplug") {
        line->unplug();
      } else if (verb == "plug") {
        line->plug();
      } else {
        FAIL() << "unknown action";
      }
      player.pass(i);
    }
  }
  ASSERT_TRUE(player.waitForStep(aSteps.size())) << player.mismatch();
  driver.setActive(false);
  EXPECT_EQ(player.mismatch(), "");
  EXPECT_EQ(printable(player.unmatched()), "") << "written beyond the transcript";
  const auto all = events.all();
  EXPECT_EQ(all.size(), nextEvent) << "events beyond the transcript, the first: "
                                   << (all.size() > nextEvent ? all[nextEvent] : "");
}

TEST_P(SerialModemTranscriptTest, PlaysWithAnswersInRandomPieces) {
  const auto steps =
      loadTranscript(testsupport::sourcePath("tests/data/modem/" + GetParam() + ".transcript"));
  ASSERT_FALSE(steps.empty());
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    playTranscript(steps, seed);
    if (HasFatalFailure()) {
      return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Transcripts, SerialModemTranscriptTest,
                         ::testing::ValuesIn(transcriptFiles()),
                         [](const ::testing::TestParamInfo<std::string>& aInfo) {
                           std::string name = aInfo.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

} // namespace
