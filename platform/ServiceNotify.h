#pragma once

#include <string>

// Telling the service manager how the program stands, for a systemd unit of Type=notify:
// it counts the service as started only once the program says it is ready. Outside such a
// unit (no NOTIFY_SOCKET in the environment) nothing happens. Any thread; never fails.
namespace platform {

// "READY=1" with a status line for systemctl status.
void notifyServiceReady(const std::string& aStatus);
// "STOPPING=1": the program has begun to shut down.
void notifyServiceStopping();

} // namespace platform
