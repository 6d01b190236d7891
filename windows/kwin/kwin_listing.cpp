#include "windows/kwin/kwin_listing.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "windows/kwin/kwin_script.h"

namespace lorvane {
namespace {

constexpr char kKWin[] = "org.kde.KWin";
constexpr char kReportPath[] = "/org/lorvane/tap/WindowList";
constexpr char kReportInterface[] = "org.lorvane.tap.WindowList";
// The unload call goes out even after the deadline, with a moment to leave the socket: a
// script left loaded stays in KWin until it restarts, and a KWin that is only slow handles
// the call when it gets to it.
constexpr auto kUnloadGrace = std::chrono::milliseconds(20);

// A file of this user's only, removed again when it goes.
class TempScript {
 public:
  explicit TempScript(const std::string& text) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    path_ = std::string(runtime && *runtime ? runtime : "/tmp") + "/lorvane-tap-XXXXXX.js";
    const int fd = mkstemps(path_.data(), 3);  // mode 0600
    if (fd < 0) {
      path_.clear();
      return;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (close(fd) != 0 || !written) {
      unlink(path_.c_str());
      path_.clear();
    }
  }
  ~TempScript() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempScript(const TempScript&) = delete;
  TempScript& operator=(const TempScript&) = delete;

  /// Empty when the file could not be written.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

dbus::Call scripting(const char* member, std::vector<dbus::Arg> args) {
  return {kKWin, "/Scripting", "org.kde.kwin.Scripting", member, std::move(args)};
}

}  // namespace

std::string kwinListScript(const std::string& service, const std::string& path,
                           const std::string& interface) {
  std::string text = kKWinListScript;
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"@SERVICE@", service},
                                   {"@PATH@", path},
                                   {"@INTERFACE@", interface}}) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
      text.replace(at, key.size(), value);
      at += value.size();
    }
  }
  return text;
}

Outcome<std::string> KWinListing::run(dbus::Deadline deadline) {
  using Result = Outcome<std::string>;
  if (kwin_.empty()) {
    auto owner = bus_.nameOwner(kKWin, deadline);
    if (!owner.ok()) return Result::failure(owner.error());
    kwin_ = owner.value();
  }
  if (!exported_) {
    auto exported = bus_.exportObject(kReportPath, [this](const dbus::Incoming& in) {
      const auto json = dbus::argAt<std::string>(in.args, 0);
      if (in.sender != kwin_ || in.member != "Windows" || !json) return;
      report_ = *json;
      reported_ = true;
    });
    if (!exported.ok()) return Result::failure(exported.error());
    exported_ = true;
  }

  const TempScript file(kwinListScript(bus_.uniqueName(), kReportPath, kReportInterface));
  if (file.path().empty()) return Result::failure("KWin: cannot write the listing script");
  // KWin refuses a second script of the same name; a run's name is its own.
  const std::string name =
      "lorvane-tap-" + std::to_string(getpid()) + "-" + std::to_string(++runs_);
  const auto id = load(file.path(), name, deadline);
  if (!id.ok()) return Result::failure(id.error());

  reported_ = false;
  const dbus::Answer started = start(id.value(), deadline);
  Outcome<bool> served = Outcome<bool>::success(false);
  if (started.ok()) served = bus_.serveUntil([this] { return reported_; }, deadline);
  unload(name, std::max(deadline, dbus::Clock::now() + kUnloadGrace));

  if (!started.ok()) return Result::failure(started.error);
  if (!served.ok()) return Result::failure(served.error());
  if (!reported_) return Result::failure("KWin: no report from the listing script in time");
  return Result::success(report_);
}

Outcome<int32_t> KWinListing::load(const std::string& file, const std::string& name,
                                   dbus::Deadline deadline) {
  const dbus::Answer a = bus_.call(scripting("loadScript", {file, name}), deadline);
  if (!a.ok()) return Outcome<int32_t>::failure(a.error);
  const auto id = dbus::argAt<int32_t>(a.args, 0);
  if (!id || *id < 0) {
    return Outcome<int32_t>::failure("KWin: org.kde.kwin.Scripting.loadScript refused " + file);
  }
  return Outcome<int32_t>::success(*id);
}

dbus::Answer KWinListing::start(int32_t id, dbus::Deadline deadline) {
  // KWin 6 puts a script's object at /Scripting/Script<id>, 5.27 at /<id>.
  const std::string number = std::to_string(id);
  dbus::Answer a;
  for (const std::string& path : {"/Scripting/Script" + number, "/" + number}) {
    a = bus_.call({kKWin, path, "org.kde.kwin.Script", "run", {}}, deadline);
    if (a.errorName != "org.freedesktop.DBus.Error.UnknownObject") break;
  }
  return a;
}

void KWinListing::unload(const std::string& name, dbus::Deadline deadline) {
  bus_.call(scripting("unloadScript", {name}), deadline);  // nothing to do when it fails
}

}  // namespace lorvane
