#include "windows/x11/x11_client_facts.h"

#include <fstream>
#include <limits>

#include "report/json.h"

namespace lorvane {
namespace {

constexpr uint32_t kAllDesktops = 0xFFFFFFFF;

// WM_CLASS is "instance\0class\0", each part in the property's encoding; a missing
// terminator still gives the text that is there.
std::string classPart(const TextProperty& wmClass) {
  const std::string_view bytes = wmClass.bytes;
  const size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos) return {};
  const std::string_view cls = bytes.substr(nul + 1);
  const size_t end = cls.find('\0');
  if (end != std::string_view::npos) return decodeText(cls.substr(0, end), wmClass.encoding);
  return decodeText(cls, wmClass.encoding, wmClass.cut);
}

// The pid of the window's owner: X-Resource knows it even for toolkits that omit _NET_WM_PID.
int32_t ownerPidOf(const X11ClientFacts& f) {
  for (const auto& pid : {f.resPid, f.netWmPid}) {
    if (pid && *pid > 0 && *pid <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
      return static_cast<int32_t>(*pid);
    }
  }
  return 0;
}

}  // namespace

int64_t layerOf(X11WindowType type, bool overrideRedirect) {
  if (overrideRedirect) type = X11WindowType::PopupMenu;
  if (type == X11WindowType::Unset) type = X11WindowType::Normal;
  return kX11WindowTypes[static_cast<size_t>(type) - 1].second;
}

bool isOnScreen(const X11ClientFacts& f, const X11ScreenFacts& screen) {
  if (!f.viewable || f.width == 0 || f.height == 0) return false;
  if (screen.wmLive) {
    if (f.iconic || f.hidden) return false;
    if (f.desktop && *f.desktop != kAllDesktops && screen.currentDesktop &&
        *f.desktop != *screen.currentDesktop) {
      return false;
    }
  }
  const int64_t left = f.rootX, top = f.rootY;
  const int64_t right = left + f.width, bottom = top + f.height;
  return right > 0 && bottom > 0 && left < static_cast<int64_t>(screen.width) &&
         top < static_cast<int64_t>(screen.height);
}

std::string titleOf(const X11ClientFacts& f) {
  if (f.netWmName) return decodeText(*f.netWmName);
  return f.wmName ? decodeText(*f.wmName) : std::string();
}

std::string procComm(int32_t pid) {
  if (pid <= 0) return {};
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

std::optional<WindowInfo> decodeClient(const X11ClientFacts& f, const X11ScreenFacts& screen,
                                       const CommReader& comm) {
  if (f.type == X11WindowType::Desktop || !isOnScreen(f, screen)) return std::nullopt;
  WindowInfo info;
  info.layer = layerOf(f.type, f.overrideRedirect);
  info.title = titleOf(f);
  info.ownerPID = ownerPidOf(f);
  if (f.wmClass) info.ownerName = classPart(*f.wmClass);
  if (info.ownerName.empty() && info.ownerPID > 0)
    info.ownerName = sanitizeUtf8(comm(info.ownerPID));
  info.width = f.width;
  info.height = f.height;
  info.number = f.window;
  return info;
}

}  // namespace lorvane
