#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "windows/dbus/dbus_values.h"
#include "windows/outcome.h"

struct sd_bus;
struct sd_bus_slot;

namespace lorvane::dbus {

using Clock = std::chrono::steady_clock;
/// The moment by which a D-Bus exchange must be over; no call here waits past it.
using Deadline = Clock::time_point;

/// A method call to make.
struct Call {
  std::string destination;  // a well-known or unique bus name
  std::string path;
  std::string interface;
  std::string member;
  std::vector<Arg> args;
};

/// A method's answer: its out arguments, or the D-Bus error.
struct Answer {
  std::vector<Arg> args;
  /// The D-Bus error name (the callee's, or sd-bus's own such as
  /// "org.freedesktop.DBus.Error.Timeout" when the deadline passed); empty on success.
  std::string errorName;
  /// On failure, the whole story: "D-Bus call <interface>.<member> to <destination> failed:
  /// <error name>: <message>".
  std::string error;
  bool ok() const { return errorName.empty(); }
};

/// A method call that arrived at an exported object.
struct Incoming {
  std::string sender;  // the caller's unique name
  std::string interface;
  std::string member;
  std::vector<Arg> args;
};

/// Handles a call to an exported object; the call is answered with an empty return after it.
using MethodHandler = std::function<void(const Incoming&)>;

/// One connection to the session bus (sd-bus). Single-threaded: calls, and the handlers of
/// exported objects, run on the thread that uses it. Every exchange ends by its deadline.
class Bus {
 public:
  /// Connects to the bus named by DBUS_SESSION_BUS_ADDRESS and waits, until `deadline`, for
  /// the bus to give this connection its unique name.
  static Outcome<std::unique_ptr<Bus>> openSession(Deadline deadline);
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  /// This connection's unique name (":1.42"), to which others can send calls.
  const std::string& uniqueName() const { return uniqueName_; }

  /// Makes a method call and waits for its answer until `deadline`. Calls to exported objects
  /// that arrive meanwhile wait for serveUntil().
  Answer call(const Call& c, Deadline deadline);

  /// Whether some connection owns `name` (org.freedesktop.DBus.NameHasOwner).
  Outcome<bool> hasOwner(const std::string& name, Deadline deadline);

  /// The unique name owning `name` (org.freedesktop.DBus.GetNameOwner).
  Outcome<std::string> nameOwner(const std::string& name, Deadline deadline);

  /// Serves calls to `path` (any interface, any member) with `handler` from now until the bus
  /// is closed; they are delivered while serveUntil() runs.
  Outcome<bool> exportObject(const std::string& path, MethodHandler handler);

  /// Delivers incoming calls until `done()` holds (true) or `deadline` passes (false). An error
  /// when the connection broke.
  Outcome<bool> serveUntil(const std::function<bool()>& done, Deadline deadline);

 private:
  struct Export;
  explicit Bus(sd_bus* bus);

  sd_bus* bus_;
  std::string uniqueName_;
  std::list<Export> exports_;  // stable addresses: each is its slot's userdata
};

}  // namespace lorvane::dbus
