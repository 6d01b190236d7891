#include "windows/kwin/kwin_window_system.h"

#include <cstdlib>
#include <map>

#include "windows/dbus/dbus_bus.h"
#include "windows/kwin/kwin_capture.h"
#include "windows/kwin/kwin_listing.h"
#include "windows/kwin/kwin_window_facts.h"
#include "windows/resample.h"

namespace lorvane {
namespace {

// The whole run's exchanges with KWin end within this, as an X11 connection's do; finding out
// whether KWin is there at all takes a small part of it.
constexpr auto kAnswerLimit = std::chrono::milliseconds(2500);
constexpr auto kProbeLimit = std::chrono::milliseconds(500);

class KWinWindowSystem : public WindowSystem {
 public:
  KWinWindowSystem(std::unique_ptr<dbus::Bus> bus, dbus::Deadline deadline)
      : bus_(std::move(bus)), deadline_(deadline), listing_(*bus_) {}

  std::vector<WindowInfo> readWindowList() override {
    std::vector<WindowInfo> list;
    const auto windows = visibleWindows();
    if (!windows.ok()) return list;
    for (const KWinWindowFacts& f : windows.value()) list.push_back(windowInfoOf(f, numberOf(f)));
    return list;
  }

  bool preflightScreenCapture() override {
    if (!unanswered_.empty()) return true;
    const dbus::Answer a = probeKWinCapture(*bus_, deadline_);
    noteUnanswered(a);
    return a.errorName != kKWinNotAuthorized;  // a KWin that does not answer refuses nothing
  }

  void requestScreenCapture() override {}  // KWin asks nobody: its desktop files decide

  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    using Result = Outcome<std::vector<CapturableWindow>>;
    // The list read moments ago in this run is the one the target was chosen from.
    const auto windows =
        visible_ ? Outcome<std::vector<KWinWindowFacts>>::success(*visible_) : visibleWindows();
    if (!windows.ok()) return Result::failure(windows.error());
    std::vector<CapturableWindow> content;
    for (const KWinWindowFacts& f : windows.value()) {
      const WindowInfo info = windowInfoOf(f, numberOf(f));
      CapturableWindow w;
      w.windowID = info.number;
      if (!info.ownerName.empty()) w.applicationName = info.ownerName;
      w.title = info.title;
      w.contentWidth = f.width;
      w.contentHeight = f.height;
      content.push_back(std::move(w));
    }
    return Result::success(std::move(content));
  }

  Outcome<WindowCapture> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                                       int64_t pixelHeight) override {
    using Result = Outcome<WindowCapture>;
    const auto id = ids_.find(window.windowID);
    if (id == ids_.end()) return Result::success(std::nullopt);
    if (!unanswered_.empty()) return Result::failure(unanswered_);
    Result shot = captureKWinWindow(*bus_, id->second, deadline_);
    if (shot.ok() && shot.value() &&
        (shot.value()->width != pixelWidth || shot.value()->height != pixelHeight)) {
      return Result::success(resample(*shot.value(), pixelWidth, pixelHeight));
    }
    return shot;
  }

 private:
  Outcome<std::vector<KWinWindowFacts>> visibleWindows() {
    using Result = Outcome<std::vector<KWinWindowFacts>>;
    if (!unanswered_.empty()) return Result::failure(unanswered_);
    const auto report = listing_.run(deadline_);
    if (!report.ok()) return Result::failure(report.error());
    auto facts = parseKWinReport(report.value());
    if (!facts) return Result::failure("KWin: the listing script's report is no JSON list");
    visible_ = visibleFrontFirst(std::move(*facts));
    return Result::success(*visible_);
  }

  // The first exchange that ran out of time explains every later failure: the run's time is
  // used up, and the later calls would only report that.
  void noteUnanswered(const dbus::Answer& a) {
    if (a.errorName == "org.freedesktop.DBus.Error.Timeout" && unanswered_.empty()) {
      unanswered_ = a.error;
    }
  }

  // Numbers are handed out in the order windows are first seen, so they stay the same
  // within a run; the internal id is what KWin captures by.
  uint32_t numberOf(const KWinWindowFacts& f) {
    const auto [it, added] =
        numbers_.try_emplace(f.internalId, static_cast<uint32_t>(numbers_.size() + 1));
    if (added) ids_.emplace(it->second, f.internalId);
    return it->second;
  }

  std::unique_ptr<dbus::Bus> bus_;
  dbus::Deadline deadline_;
  KWinListing listing_;
  std::optional<std::vector<KWinWindowFacts>> visible_;
  std::map<std::string, uint32_t> numbers_;
  std::map<uint32_t, std::string> ids_;
  std::string unanswered_;
};

}  // namespace

std::unique_ptr<WindowSystem> makeKWinWindowSystem() {
  // KWin also manages X11 Plasma sessions; there the X11 window system sees every window
  // without asking KWin for permission.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland == nullptr || *wayland == '\0') return nullptr;
  const dbus::Deadline deadline = dbus::Clock::now() + kAnswerLimit;
  const dbus::Deadline probe = dbus::Clock::now() + kProbeLimit;
  auto bus = dbus::Bus::openSession(probe);
  if (!bus.ok()) return nullptr;
  const auto owned = bus.value()->hasOwner("org.kde.KWin", probe);
  if (!owned.ok() || !owned.value()) return nullptr;
  return std::make_unique<KWinWindowSystem>(std::move(bus.value()), deadline);
}

}  // namespace lorvane
