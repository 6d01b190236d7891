#include "windows/gnome/gnome_window_system.h"

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "windows/dbus/dbus_bus.h"
#include "windows/gnome/raw_image.h"
#include "windows/gnome/shell_windows.h"
#include "windows/resample.h"
#include "windows/x11/x11_window_system.h"

namespace lorvane {
namespace {

using namespace std::chrono_literals;
using dbus::Answer;
using dbus::Bus;
using dbus::Call;
using dbus::Clock;

constexpr char kShell[] = "org.gnome.Shell";
constexpr char kPath[] = "/org/example/LorvaneTap/Windows";
constexpr char kInterface[] = "org.example.LorvaneTap.Windows";
constexpr uint32_t kVersion = 1;  // of the extension's interface, as GetVersion gives it

// Each exchange with the shell, like each X11 connection, ends within this.
constexpr auto kCallLimit = 2500ms;

Call extensionCall(const char* member, std::vector<dbus::Arg> args = {}) {
  return Call{kShell, kPath, kInterface, member, std::move(args)};
}

// A file descriptor closed with its owner.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

class GnomeWindowSystem : public WindowSystem {
 public:
  explicit GnomeWindowSystem(std::unique_ptr<Bus> bus)
      : bus_(std::move(bus)), x11_(makeX11WindowSystem()) {}

  std::vector<WindowInfo> readWindowList() override {
    if (!extensionAnswers()) return x11_->readWindowList();  // Xwayland's windows only
    std::vector<WindowInfo> list;
    auto windows = listWindows();
    if (!windows.ok()) return list;
    for (const ShellWindow& w : windows.value()) {
      if (auto info = windowInfoOf(w)) list.push_back(std::move(*info));
    }
    return list;
  }

  bool preflightScreenCapture() override { return extensionAnswers(); }

  void requestScreenCapture() override {
    if (shellSilent_) return;  // each further call would cost the whole limit again
    // Where the user turns extensions on; only when ours is installed (it could not be
    // enabled otherwise) and the app is not open already.
    const Answer info = bus_->call(Call{kShell,
                                        "/org/gnome/Shell",
                                        "org.gnome.Shell.Extensions",
                                        "GetExtensionInfo",
                                        {std::string(kGnomeExtensionUuid)}},
                                   Clock::now() + kCallLimit);
    const auto dict = dbus::argAt<dbus::Dict>(info.args, 0);
    if (!info.ok() || !dict || !dbus::member<std::string>(*dict, "uuid")) return;
    const auto open = bus_->hasOwner("org.gnome.Extensions", Clock::now() + kCallLimit);
    if (!open.ok() || open.value()) return;
    // The bus starts the app for this call; its answer comes once the window is up, which
    // need not hold up the reply.
    bus_->call(Call{"org.gnome.Extensions",
                    "/org/gnome/Extensions",
                    "org.freedesktop.Application",
                    "Activate",
                    {dbus::Dict{}}},
               Clock::now() + 1500ms);
  }

  Outcome<std::vector<CapturableWindow>> shareableContent() override {
    using Result = Outcome<std::vector<CapturableWindow>>;
    if (!extensionAnswers()) return x11_->shareableContent();
    auto windows = listWindows();
    if (!windows.ok()) return Result::failure(windows.error());
    std::vector<CapturableWindow> content;
    for (const ShellWindow& w : windows.value()) {
      if (auto c = capturableOf(w)) content.push_back(std::move(*c));
    }
    return Result::success(std::move(content));
  }

  Outcome<WindowCapture> captureWindow(const CapturableWindow& window, int64_t pixelWidth,
                                       int64_t pixelHeight) override {
    using Result = Outcome<WindowCapture>;
    if (!extensionAnswers()) return x11_->captureWindow(window, pixelWidth, pixelHeight);
    const std::string what = "GNOME Shell capture of window " + std::to_string(window.windowID);
    constexpr int64_t kMaxSide = 32767;
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > kMaxSide || pixelHeight > kMaxSide) {
      return Result::failure(what + " failed: no image of " + std::to_string(pixelWidth) + "x" +
                             std::to_string(pixelHeight) + " pixels can be made");
    }
    // The shell writes the pixels into memory of ours; nothing reaches the file system.
    const Fd file(memfd_create("lorvane-tap-capture", MFD_CLOEXEC));
    if (file.fd < 0) return Result::failure(what + " failed: no memory file for the image");
    const Answer answer =
        bus_->call(extensionCall("CaptureWindow", {window.windowID, dbus::Fd{file.fd}}),
                   Clock::now() + kCallLimit);
    if (!answer.ok()) return Result::failure(what + " failed: " + answer.error);
    const PixelLayout layout{dbus::argAt<int32_t>(answer.args, 0).value_or(-1),
                             dbus::argAt<int32_t>(answer.args, 1).value_or(-1),
                             dbus::argAt<int32_t>(answer.args, 2).value_or(-1),
                             dbus::argAt<int32_t>(answer.args, 3).value_or(-1)};
    if (layout.width == 0 && layout.height == 0) return Result::success(std::nullopt);  // gone
    auto bytes = readWholeFd(file.fd);
    if (!bytes.ok()) return Result::failure(what + " failed: " + bytes.error());
    auto image = imageFromPixels(bytes.value(), layout);
    if (!image.ok()) return Result::failure(what + " failed: " + image.error());
    if (image.value().width != pixelWidth || image.value().height != pixelHeight) {
      return Result::success(resample(image.value(), pixelWidth, pixelHeight));
    }
    return Result::success(std::move(image.value()));
  }

 private:
  // Whether our extension is enabled and speaks our interface version; asked once per run.
  bool extensionAnswers() {
    if (!extension_) {
      const Answer a = bus_->call(extensionCall("GetVersion"), Clock::now() + kCallLimit);
      extension_ = a.ok() && dbus::argAt<uint32_t>(a.args, 0) == kVersion;
      shellSilent_ = a.errorName == "org.freedesktop.DBus.Error.Timeout" ||
                     a.errorName == "org.freedesktop.DBus.Error.NoReply";
    }
    return *extension_;
  }

  Outcome<std::vector<ShellWindow>> listWindows() {
    const Answer a = bus_->call(extensionCall("ListWindows"), Clock::now() + kCallLimit);
    if (!a.ok()) return Outcome<std::vector<ShellWindow>>::failure(a.error);
    const auto json = dbus::argAt<std::string>(a.args, 0);
    if (!json) {
      return Outcome<std::vector<ShellWindow>>::failure(
          "GNOME Shell extension: the window list answer holds no text");
    }
    return parseShellWindows(*json);
  }

  std::unique_ptr<Bus> bus_;
  std::unique_ptr<WindowSystem> x11_;
  std::optional<bool> extension_;
  bool shellSilent_ = false;  // the shell let the version call run out of time
};

}  // namespace

std::unique_ptr<WindowSystem> makeGnomeWindowSystem() {
  // GNOME on Xorg needs none of this: X11 lists and captures every window there.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland == nullptr || *wayland == '\0') return nullptr;
  const auto deadline = Clock::now() + kCallLimit;
  auto bus = Bus::openSession(deadline);
  if (!bus.ok()) return nullptr;
  const auto shell = bus.value()->hasOwner(kShell, deadline);
  if (!shell.ok() || !shell.value()) return nullptr;
  return std::make_unique<GnomeWindowSystem>(std::move(bus.value()));
}

}  // namespace lorvane
