// The system D-Bus through sd-bus, for the parts that talk to udisks2 and logind: the connection, a reply and
// an error, each let go of on every path.
#pragma once
#include <systemd/sd-bus.h>

#include <memory>
#include <string_view>

namespace scaleboot::platform {

struct BusDeleter {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;
using BusMessage = std::unique_ptr<sd_bus_message, MessageDeleter>;

// The system bus, or nothing (then `result` holds the negative errno of why).
inline Bus OpenSystemBus(int* result = nullptr) {
  sd_bus* bus = nullptr;
  const int r = sd_bus_open_system(&bus);
  if (result != nullptr) *result = r;
  return Bus(r >= 0 ? bus : nullptr);
}

struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&error); }
  bool Is(const char* name) const { return sd_bus_error_has_name(&error, name); }
  bool NameStartsWith(std::string_view prefix) const {
    return error.name != nullptr && std::string_view(error.name).starts_with(prefix);
  }
  // The service is not on the bus, or knows no such object, interface or method.
  bool Absent() const {
    for (const char* name :
         {SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_UNKNOWN_OBJECT,
          SD_BUS_ERROR_UNKNOWN_INTERFACE, SD_BUS_ERROR_UNKNOWN_METHOD})
      if (Is(name)) return true;
    return false;
  }
};

}  // namespace scaleboot::platform
