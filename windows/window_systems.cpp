#include "windows/window_systems.h"

#include "windows/gnome/gnome_window_system.h"
#include "windows/kwin/kwin_window_system.h"
#include "windows/sway/sway_window_system.h"
#include "windows/sway/wlroots_window_system.h"
#include "windows/x11/x11_window_system.h"

namespace lorvane {
namespace {

// A desktop family's window system, or null when that desktop does not answer here.
using OpenBackend = std::unique_ptr<WindowSystem> (*)();

// Compositors first: their sessions also run an X server (Xwayland), which alone would show
// only part of the desktop.
constexpr OpenBackend kBackends[] = {
    makeSwayWindowSystem,    makeKWinWindowSystem, makeGnomeWindowSystem,
    makeWlrootsWindowSystem,  // other wlroots compositors (sway offers the same protocol)
    makeX11WindowSystem,
};

}  // namespace

std::unique_ptr<WindowSystem> openWindowSystem() {
  for (OpenBackend open : kBackends) {
    if (std::unique_ptr<WindowSystem> system = open()) return system;
  }
  return makeX11WindowSystem();
}

}  // namespace lorvane
