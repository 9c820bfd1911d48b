#include "platform/ServiceNotify.h"

#include <systemd/sd-daemon.h>

namespace platform {

void notifyServiceReady(const std::string& aStatus) {
  (void)sd_notify(0, ("READY=1\nSTATUS=" + aStatus).c_str());
}

void notifyServiceStopping() {
  (void)sd_notify(0, "STOPPING=1");
}

} // namespace platform
