#include "windows/platform/x11_client_facts.h"

#include <fstream>
#include <limits>

#include "report/json.h"

namespace lorvane {
namespace {

constexpr uint32_t kAllDesktops = 0xFFFFFFFF;

std::string latin1ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out.push_back(ch);
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// WM_CLASS is "instance\0class\0"; a missing terminator still gives the text that is there.
std::string classPart(const std::string& wmClass) {
  const size_t nul = wmClass.find('\0');
  if (nul == std::string::npos) return {};
  std::string cls = wmClass.substr(nul + 1);
  const size_t end = cls.find('\0');
  if (end != std::string::npos) cls.resize(end);
  return cls;
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
  if (overrideRedirect) return kLayerPopup;
  switch (type) {
    case X11WindowType::Unset:
    case X11WindowType::Normal:
    case X11WindowType::Dialog:
      return kLayerNormal;
    case X11WindowType::Toolbar:
    case X11WindowType::Splash:
      return kLayerFloating;
    case X11WindowType::Utility:
      return kLayerUtility;
    case X11WindowType::Dock:
      return kLayerDock;
    case X11WindowType::Notification:
      return kLayerNotification;
    case X11WindowType::Menu:
    case X11WindowType::DropdownMenu:
    case X11WindowType::PopupMenu:
    case X11WindowType::Combo:
      return kLayerPopup;
    case X11WindowType::Tooltip:
      return kLayerTooltip;
    case X11WindowType::Dnd:
      return kLayerDragging;
    case X11WindowType::Desktop:
      break;
  }
  return std::numeric_limits<int64_t>::min();  // desktop elements never reach the list
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
  if (f.netWmName) return sanitizeUtf8(*f.netWmName);
  if (!f.wmName) return {};
  return f.wmNameIsUtf8 ? sanitizeUtf8(*f.wmName) : latin1ToUtf8(*f.wmName);
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
  if (f.wmClass) info.ownerName = sanitizeUtf8(classPart(*f.wmClass));
  if (info.ownerName.empty() && info.ownerPID > 0)
    info.ownerName = sanitizeUtf8(comm(info.ownerPID));
  info.width = f.width;
  info.height = f.height;
  info.number = f.window;
  return info;
}

}  // namespace lorvane
