#include "tests/modem/MemorySerialLine.h"

#include <cerrno>
#include <cstring>

namespace modemtest {

class TMemorySerialDevice final : public platform::IVTSerialDevice {
public:
  explicit TMemorySerialDevice(std::shared_ptr<TMemorySerialLine> aLine)
      : fLine(std::move(aLine)) {}

  platform::TSerialResult open(const std::string&) override {
    TScopedLock lock(fLine->fCSLine);
    if (!fLine->fPlugged) {
      return platform::TSerialResult::failure(ENOENT);
    }
    fLine->fOpen = true;
    fLine->fStale = false;
    fLine->fInterrupted = false;
    return platform::TSerialResult::success();
  }
  platform::TSerialResult close() override {
    TScopedLock lock(fLine->fCSLine);
    fLine->fOpen = false;
    return platform::TSerialResult::success();
  }
  bool isOpen() const override {
    TScopedLock lock(fLine->fCSLine);
    return fLine->fOpen;
  }
  int handle() const override { return isOpen() ? 3 : -1; }
  platform::TSerialResult applySettings(const platform::TSerialLineSettings&) override {
    return platform::TSerialResult::success();
  }
  platform::TSerialResult queuedInput() override {
    TScopedLock lock(fLine->fCSLine);
    if (fLine->gone()) {
      return platform::TSerialResult::failure(EIO);
    }
    return platform::TSerialResult::success(fLine->fPieces.empty() ? 0
                                                                   : fLine->fPieces.front().size());
  }
  platform::TSerialResult waitForInput(int aTimeoutMs) override {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(aTimeoutMs, 0));
    TUniqueLock lock(fLine->fCSLine);
    fLine->fReaderWaiting = true;
    while (fLine->fPieces.empty() && !fLine->gone() && !fLine->fInterrupted) {
      if (!fLine->fChanged.waitUntil(lock, deadline)) {
        break;
      }
    }
    fLine->fReaderWaiting = false;
    if (fLine->fInterrupted) {
      fLine->fInterrupted = false;
      return platform::TSerialResult::success(0);
    }
    const bool ready = !fLine->fPieces.empty() || fLine->gone();
    return platform::TSerialResult::success(ready ? 1 : 0);
  }
  void interruptWait() override {
    {
      TScopedLock lock(fLine->fCSLine);
      fLine->fInterrupted = true;
    }
    fLine->fChanged.notifyAll();
  }
  platform::TSerialResult read(char* aBuffer, std::size_t aSize) override {
    TScopedLock lock(fLine->fCSLine);
    if (fLine->gone()) {
      return platform::TSerialResult::failure(EIO);
    }
    if (fLine->fPieces.empty()) {
      return platform::TSerialResult::success(0);
    }
    std::string& piece = fLine->fPieces.front();
    const std::size_t count = std::min(aSize, piece.size());
    std::memcpy(aBuffer, piece.data(), count);
    piece.erase(0, count);
    if (piece.empty()) {
      fLine->fPieces.pop_front();
    }
    return platform::TSerialResult::success(count);
  }
  platform::TSerialResult write(const char* aData, std::size_t aSize, int) override {
    {
      TScopedLock lock(fLine->fCSLine);
      if (fLine->gone() || !fLine->fOpen) {
        return platform::TSerialResult::failure(EIO);
      }
    }
    if (fLine->OnWrite) {
      fLine->OnWrite(std::string(aData, aSize));
    }
    return platform::TSerialResult::success(aSize);
  }
  platform::TSerialResult flushInput() override {
    TScopedLock lock(fLine->fCSLine);
    fLine->fPieces.clear();
    return platform::TSerialResult::success();
  }
  platform::TSerialResult flushOutput() override { return platform::TSerialResult::success(); }

private:
  std::shared_ptr<TMemorySerialLine> fLine;
};

std::shared_ptr<TMemorySerialLine> TMemorySerialLine::create() {
  return std::shared_ptr<TMemorySerialLine>(new TMemorySerialLine());
}

std::unique_ptr<platform::IVTSerialDevice> TMemorySerialLine::createDevice() {
  return std::make_unique<TMemorySerialDevice>(shared_from_this());
}

void TMemorySerialLine::answer(const std::vector<std::string>& aPieces) {
  {
    TScopedLock lock(fCSLine);
    for (const auto& piece : aPieces) {
      if (!piece.empty() && !gone()) {
        fPieces.push_back(piece);
      }
    }
  }
  fChanged.notifyAll();
}

void TMemorySerialLine::plug() {
  {
    TScopedLock lock(fCSLine);
    fPlugged = true;
  }
  fChanged.notifyAll();
}

void TMemorySerialLine::unplug() {
  {
    TScopedLock lock(fCSLine);
    fPlugged = false;
    fStale = fOpen;
    fPieces.clear();
  }
  fChanged.notifyAll();
}

bool TMemorySerialLine::readerIdle() const {
  TScopedLock lock(fCSLine);
  return fPieces.empty() && (!fOpen || gone() || fReaderWaiting);
}

bool TManualWaitClock::waitUntil(TConditionVariable& aCondition, TUniqueLock& aLock,
                                 TTimePoint aDeadline) {
  if (now() >= aDeadline) {
    return false;
  }
  // A short real wait lets an answer on its way come in; only a line that stays idle
  // across two of them lets the time jump.
  for (int look = 0; look < 2; ++look) {
    (void)aCondition.waitFor(aLock, std::chrono::milliseconds(2));
    if (!fIdle()) {
      return true;
    }
  }
  auto elapsed = fElapsedNs.load();
  const std::int64_t wanted =
      std::chrono::duration_cast<std::chrono::nanoseconds>(aDeadline.time_since_epoch()).count();
  while (elapsed < wanted && !fElapsedNs.compare_exchange_weak(elapsed, wanted)) {
  }
  return false;
}

} // namespace modemtest
