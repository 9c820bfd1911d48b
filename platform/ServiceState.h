#pragma once

#include <memory>
#include <string>
#include <string_view>

// The state of a system service, in the numbering installers know from the service control
// of other systems: 0 when it cannot be told (no service manager, no such service, no
// permission), otherwise stopped, start pending, stop pending or running. Nothing here throws.
namespace platform {

enum TServiceState {
  svsUnknown = 0,
  svsStopped = 1,
  svsStartPending = 2,
  svsStopPending = 3,
  svsRunning = 4,
};

class IServiceStates {
public:
  virtual ~IServiceStates() = default;
  // The state of the service aName ("firebird3.0.service"); blocks for the one question.
  virtual TServiceState serviceState(const std::string& aName) = 0;
};

// systemd's unit state, read over the system D-Bus from the unit's properties LoadState,
// ActiveState and SubState. Without a system bus (no systemd) every state is svsUnknown.
std::unique_ptr<IServiceStates> createSystemdServiceStates();

// The state of a systemd unit by its properties: a unit that is not loaded is unknown; it
// runs only when active with the sub-state "running" (a one-shot unit that has exited does
// not); activating and reloading count as start pending, deactivating as stop pending, and
// everything else (inactive, failed, maintenance) as stopped.
TServiceState serviceStateOfUnit(std::string_view aLoadState, std::string_view aActiveState,
                                 std::string_view aSubState);

} // namespace platform
