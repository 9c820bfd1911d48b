#include "platform/StoppableThread.h"

TStoppableThread::~TStoppableThread() {
  stop();
}

void TStoppableThread::start(TBody aBody) {
  stop();
  fStopRequested = false;
  {
    TScopedLock lock(fCSWake);
    fWoken = false;
  }
  fThread = std::thread([this, body = std::move(aBody)] { body(*this); });
}

void TStoppableThread::requestStop() {
  {
    TScopedLock lock(fCSWake);
    fStopRequested = true;
  }
  fWake.notifyAll();
}

void TStoppableThread::stop() {
  requestStop();
  join();
}

void TStoppableThread::join() {
  if (fThread.joinable() && !isCurrentThread()) {
    fThread.join();
  }
}

void TStoppableThread::wake() {
  {
    TScopedLock lock(fCSWake);
    fWoken = true;
  }
  fWake.notifyAll();
}

bool TStoppableThread::waitFor(std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  TUniqueLock lock(fCSWake);
  while (!fStopRequested && !fWoken) {
    if (!fWake.waitUntil(lock, deadline)) {
      break;
    }
  }
  fWoken = false;
  return fStopRequested;
}
