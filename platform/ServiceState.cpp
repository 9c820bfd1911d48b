#include "platform/ServiceState.h"

#include <systemd/sd-bus.h>

#include <cstdlib>

namespace platform {
namespace {

constexpr const char* SC_SYSTEMD_SERVICE = "org.freedesktop.systemd1";
constexpr const char* SC_SYSTEMD_UNITS = "/org/freedesktop/systemd1/unit";
constexpr const char* SC_SYSTEMD_UNIT_INTERFACE = "org.freedesktop.systemd1.Unit";

// Owns one connection to the system bus.
class TBusConnection {
public:
  TBusConnection() {
    if (sd_bus_open_system(&fBus) < 0) {
      fBus = nullptr;
    }
  }
  ~TBusConnection() { sd_bus_flush_close_unref(fBus); }
  TBusConnection(const TBusConnection&) = delete;
  TBusConnection& operator=(const TBusConnection&) = delete;
  sd_bus* get() const { return fBus; }

private:
  sd_bus* fBus = nullptr;
};

// One text property of a unit object; false when the question fails.
bool readUnitProperty(sd_bus* aBus, const char* aPath, const char* aName, std::string& aValue) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  char* value = nullptr;
  const int result = sd_bus_get_property_string(aBus, SC_SYSTEMD_SERVICE, aPath,
                                                SC_SYSTEMD_UNIT_INTERFACE, aName, &error, &value);
  sd_bus_error_free(&error);
  if (result < 0 || value == nullptr) {
    return false;
  }
  aValue = value;
  std::free(value);
  return true;
}

class TSystemdServiceStates : public IServiceStates {
public:
  TServiceState serviceState(const std::string& aName) override {
    TBusConnection bus;
    if (bus.get() == nullptr) {
      return svsUnknown;
    }
    // The object path of a unit is derived from its name, as systemctl does; systemd loads
    // a unit that is not loaded yet when its object is asked.
    char* path = nullptr;
    if (sd_bus_path_encode(SC_SYSTEMD_UNITS, aName.c_str(), &path) < 0 || path == nullptr) {
      return svsUnknown;
    }
    std::string loadState;
    std::string activeState;
    std::string subState;
    const bool read = readUnitProperty(bus.get(), path, "LoadState", loadState) &&
                      readUnitProperty(bus.get(), path, "ActiveState", activeState) &&
                      readUnitProperty(bus.get(), path, "SubState", subState);
    std::free(path);
    return read ? serviceStateOfUnit(loadState, activeState, subState) : svsUnknown;
  }
};

} // namespace

std::unique_ptr<IServiceStates> createSystemdServiceStates() {
  return std::make_unique<TSystemdServiceStates>();
}

TServiceState serviceStateOfUnit(std::string_view aLoadState, std::string_view aActiveState,
                                 std::string_view aSubState) {
  if (aLoadState != "loaded") {
    return svsUnknown;
  }
  if (aActiveState == "active") {
    return aSubState == "running" ? svsRunning : svsStopped;
  }
  if (aActiveState == "activating" || aActiveState == "reloading") {
    return svsStartPending;
  }
  if (aActiveState == "deactivating") {
    return svsStopPending;
  }
  return svsStopped;
}

} // namespace platform
