#pragma once

#include "platform/Locks.h"
#include "platform/SerialDevice.h"
#include "platform/WaitClock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace modemtest {

// A serial line in memory: createDevice() gives the port its end (the platform serial
// device interface), the test plays the other end. What the port writes goes to OnWrite on
// the writing thread; what the test queues with answer() the port reads piece by piece, so
// that deliveries are cut where the pieces end. unplug() makes the device vanish as an
// unplugged USB modem does (it cannot be opened, and an opening from before stays dead),
// plug() brings a new one that must be opened again.
//
// Any thread; fCSLine is a leaf and OnWrite runs without it.
class TMemorySerialLine : public std::enable_shared_from_this<TMemorySerialLine> {
public:
  static std::shared_ptr<TMemorySerialLine> create();
  std::unique_ptr<platform::IVTSerialDevice> createDevice();

  void answer(const std::vector<std::string>& aPieces) EXCLUDES(fCSLine);
  void plug() EXCLUDES(fCSLine);
  void unplug() EXCLUDES(fCSLine);
  // Everything queued has been read and the reader waits for more (or the device is gone).
  bool readerIdle() const EXCLUDES(fCSLine);

  std::function<void(const std::string& aBytes)> OnWrite; // set before the port is used

private:
  friend class TMemorySerialDevice;
  TMemorySerialLine() = default;
  bool gone() const REQUIRES(fCSLine) { return !fPlugged || fStale; }

  mutable TCriticalSection fCSLine;
  TConditionVariable fChanged;
  std::deque<std::string> fPieces GUARDED_BY(fCSLine);
  bool fPlugged GUARDED_BY(fCSLine) = true;
  bool fOpen GUARDED_BY(fCSLine) = false;
  bool fStale GUARDED_BY(fCSLine) = false; // opened before an unplug: dead until reopened
  bool fReaderWaiting GUARDED_BY(fCSLine) = false;
  bool fInterrupted GUARDED_BY(fCSLine) = false;
};

// A wait clock for tests: sleeps take no time at all, and a wait whose deadline lies ahead
// jumps there as soon as aIdle says that nothing can happen any more (the line is quiet and
// all that came was delivered). So a three-second pause or a ten-second answer time-out
// costs a test nothing, while answers that are on their way are still waited for.
class TManualWaitClock : public platform::IWaitClock {
public:
  explicit TManualWaitClock(std::function<bool()> aIdle) : fIdle(std::move(aIdle)) {}

  TTimePoint now() override { return TTimePoint(std::chrono::nanoseconds(fElapsedNs.load())); }
  void sleepFor(std::chrono::milliseconds aDuration) override {
    fElapsedNs += std::chrono::duration_cast<std::chrono::nanoseconds>(aDuration).count();
  }
  bool waitUntil(TConditionVariable& aCondition, TUniqueLock& aLock, TTimePoint aDeadline) override;
  // The time that passed on this clock.
  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::nanoseconds(fElapsedNs.load()));
  }

private:
  std::function<bool()> fIdle;
  std::atomic<std::int64_t> fElapsedNs{0};
};

} // namespace modemtest
