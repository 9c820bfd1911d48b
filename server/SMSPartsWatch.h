#pragma once

#include "platform/StoppableThread.h"

#include <chrono>

class TSMSInbox;

// Runs the inbox's check of kept SMS parts (deliverDueParts) when it starts and then every
// interval, so that a long SMS whose last parts never come is stored after the time-out even
// when no other SMS arrives, and one whose storing failed is tried again.
// Threads: start and stop on the owner's thread; the check runs on a thread of its own.
// Owned by the core, which starts it after the database connected and stops it before the
// database goes. The inbox is not owned and outlives the watch.
class TSMSPartsWatch {
public:
  explicit TSMSPartsWatch(TSMSInbox& aInbox) : fInbox(aInbox) {}
  ~TSMSPartsWatch() { stop(); }
  TSMSPartsWatch(const TSMSPartsWatch&) = delete;
  TSMSPartsWatch& operator=(const TSMSPartsWatch&) = delete;

  void start(std::chrono::milliseconds aInterval);
  void stop() { fThread.stop(); }

private:
  TSMSInbox& fInbox;
  TStoppableThread fThread; // last: its body uses the inbox
};
