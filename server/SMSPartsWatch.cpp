#include "server/SMSPartsWatch.h"

#include "server/SMSInbox.h"

void TSMSPartsWatch::start(std::chrono::milliseconds aInterval) {
  fThread.start([this, aInterval](TStoppableThread& aThread) {
    while (!aThread.stopRequested()) {
      try {
        (void)fInbox.deliverDueParts(fInbox.now());
      } catch (...) {
        // the check logs its own failures; the next one runs as usual
      }
      (void)aThread.waitFor(aInterval);
    }
  });
}
