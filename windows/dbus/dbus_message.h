#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>
#include <vector>

#include "windows/dbus/dbus_values.h"

namespace lorvane::dbus {

struct MessageUnref {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
/// An sd-bus message reference.
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

/// A D-Bus error that frees its strings.
struct BusError {
  sd_bus_error e = SD_BUS_ERROR_NULL;
  BusError() = default;
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  ~BusError() { sd_bus_error_free(&e); }
};

/// Appends `args` to `m`; a negative errno when sd-bus refuses one.
int appendArgs(sd_bus_message* m, const std::vector<Arg>& args);

/// Reads the arguments of `m` from the start; those of types Arg cannot hold are skipped.
std::vector<Arg> readArgs(sd_bus_message* m);

/// "<name>: <message>" of a D-Bus error, or of an errno when the error holds none.
std::string describe(const sd_bus_error& e, int errnoValue);

}  // namespace lorvane::dbus
