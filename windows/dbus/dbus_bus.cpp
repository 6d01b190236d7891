#include "windows/dbus/dbus_bus.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "windows/dbus/dbus_message.h"

namespace lorvane::dbus {
namespace {

// Microseconds left until `deadline`; at least 1, as 0 means "no limit" to sd-bus.
uint64_t usecLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return static_cast<uint64_t>(std::max<int64_t>(left.count(), 1));
}

std::string errnoText(int r) {
  return std::strerror(r < 0 ? -r : r);
}

}  // namespace

struct Bus::Export {
  sd_bus_slot* slot = nullptr;
  MethodHandler handler;
};

Bus::Bus(sd_bus* bus) : bus_(bus) {}

Bus::~Bus() {
  for (Export& e : exports_) sd_bus_slot_unref(e.slot);
  // No flush: what is still queued is not worth a wait the caller did not ask for.
  sd_bus_close_unref(bus_);
}

Outcome<std::unique_ptr<Bus>> Bus::openSession(Deadline deadline) {
  using Result = Outcome<std::unique_ptr<Bus>>;
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address == nullptr || *address == '\0') {
    return Result::failure("D-Bus: no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");
  }
  const std::string where = std::string("D-Bus: the session bus at ") + address;
  sd_bus* raw = nullptr;
  int r = sd_bus_new(&raw);
  if (r < 0) return Result::failure("D-Bus: cannot make a connection: " + errnoText(r));
  std::unique_ptr<Bus> bus(new Bus(raw));
  if ((r = sd_bus_set_address(raw, address)) < 0 || (r = sd_bus_set_bus_client(raw, 1)) < 0 ||
      (r = sd_bus_start(raw)) < 0) {
    return Result::failure(where + " cannot be reached: " + errnoText(r));
  }
  // Authentication and Hello run while the connection is processed; bounded here, as the
  // first blocking call would otherwise wait for them with sd-bus's own 25 s.
  while ((r = sd_bus_is_ready(raw)) == 0) {
    if (Clock::now() >= deadline) return Result::failure(where + " did not answer in time");
    r = sd_bus_process(raw, nullptr);
    if (r == 0) r = sd_bus_wait(raw, usecLeft(deadline));
    if (r < 0) break;
  }
  const char* unique = nullptr;
  if (r < 0 || (r = sd_bus_get_unique_name(raw, &unique)) < 0) {
    return Result::failure(where + " refused the connection: " + errnoText(r));
  }
  bus->uniqueName_ = unique;
  return Result::success(std::move(bus));
}

Answer Bus::call(const Call& c, Deadline deadline) {
  Answer answer;
  sd_bus_message* raw = nullptr;
  BusError err;
  int r = sd_bus_message_new_method_call(bus_, &raw, c.destination.c_str(), c.path.c_str(),
                                         c.interface.c_str(), c.member.c_str());
  const MessagePtr msg(raw);
  sd_bus_message* rawReply = nullptr;
  if (r >= 0) r = appendArgs(msg.get(), c.args);
  if (r >= 0) r = sd_bus_call(bus_, msg.get(), usecLeft(deadline), &err.e, &rawReply);
  const MessagePtr reply(rawReply);
  if (r < 0) {
    if (!sd_bus_error_is_set(&err.e)) sd_bus_error_set_errno(&err.e, -r);
    answer.errorName = err.e.name ? err.e.name : "unknown";
    answer.error = "D-Bus call " + c.interface + "." + c.member + " to " + c.destination +
                   " failed: " + describe(err.e, r);
    return answer;
  }
  answer.args = readArgs(reply.get());
  return answer;
}

Outcome<bool> Bus::hasOwner(const std::string& name, Deadline deadline) {
  Answer a = call({"org.freedesktop.DBus",
                   "/org/freedesktop/DBus",
                   "org.freedesktop.DBus",
                   "NameHasOwner",
                   {name}},
                  deadline);
  const std::optional<bool> owned = argAt<bool>(a.args, 0);
  if (!a.ok()) return Outcome<bool>::failure(a.error);
  if (!owned) return Outcome<bool>::failure("D-Bus: NameHasOwner gave no boolean");
  return Outcome<bool>::success(*owned);
}

Outcome<std::string> Bus::nameOwner(const std::string& name, Deadline deadline) {
  Answer a = call({"org.freedesktop.DBus",
                   "/org/freedesktop/DBus",
                   "org.freedesktop.DBus",
                   "GetNameOwner",
                   {name}},
                  deadline);
  std::optional<std::string> owner = argAt<std::string>(a.args, 0);
  if (!a.ok()) return Outcome<std::string>::failure(a.error);
  if (!owner) return Outcome<std::string>::failure("D-Bus: GetNameOwner gave no name");
  return Outcome<std::string>::success(std::move(*owner));
}

Outcome<bool> Bus::exportObject(const std::string& path, MethodHandler handler) {
  Export& e = exports_.emplace_back();
  e.handler = std::move(handler);
  const auto onCall = [](sd_bus_message* m, void* userdata, sd_bus_error*) -> int {
    if (!sd_bus_message_is_method_call(m, nullptr, nullptr)) return 0;
    Incoming in;
    const auto text = [](const char* s) { return std::string(s ? s : ""); };
    in.sender = text(sd_bus_message_get_sender(m));
    in.interface = text(sd_bus_message_get_interface(m));
    in.member = text(sd_bus_message_get_member(m));
    in.args = readArgs(m);
    static_cast<Export*>(userdata)->handler(in);
    return sd_bus_reply_method_return(m, "");
  };
  const int r = sd_bus_add_object(bus_, &e.slot, path.c_str(), onCall, &e);
  if (r < 0) {
    exports_.pop_back();
    return Outcome<bool>::failure("D-Bus: cannot export " + path + ": " + errnoText(r));
  }
  return Outcome<bool>::success(true);
}

Outcome<bool> Bus::serveUntil(const std::function<bool()>& done, Deadline deadline) {
  for (;;) {
    if (done()) return Outcome<bool>::success(true);
    int r = sd_bus_process(bus_, nullptr);
    if (r == 0) {
      if (Clock::now() >= deadline) return Outcome<bool>::success(false);
      r = sd_bus_wait(bus_, usecLeft(deadline));
    }
    if (r < 0) {
      return Outcome<bool>::failure("D-Bus: the session bus connection broke: " + errnoText(r));
    }
  }
}

}  // namespace lorvane::dbus
