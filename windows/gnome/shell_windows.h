#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "windows/outcome.h"
#include "windows/window_info.h"
#include "windows/window_system.h"
#include "windows/x11/x11_client_facts.h"

namespace lorvane {

/// One window as the shell extension's ListWindows describes it (see
/// org.example.LorvaneTap.Windows.xml). A member that is missing or of another type keeps
/// its default.
struct ShellWindow {
  uint32_t id = 0;  // the shell's stable sequence number; 0 is none
  int32_t pid = 0;
  std::string title;
  std::string wmClass;
  std::string appId;
  std::string app;
  std::string type;  // mutter's window type, lower case
  bool x11 = false;
  bool focus = false;
  double width = 0, height = 0;  // the content area, in logical pixels
  double scale = 1;              // pixels per logical pixel of the window's buffer
};

/// The windows of a ListWindows answer, in its order (front-most first); an error when the
/// text is not a JSON array. Entries that are not objects are left out.
Outcome<std::vector<ShellWindow>> parseShellWindows(std::string_view json);

/// The layer of a mutter window type, numbered as on X11 (normal and dialogs on 0); nothing
/// for a desktop window, which never reaches a list, and for a type we do not know, which
/// is listed on no layer and so never counts as an application window.
std::optional<int64_t> layerOfShellType(std::string_view type);

/// The window-list entry of a shell window; nothing for a desktop window. The owner's name is
/// the application's name when the shell knows the application, else the WM class, else the
/// process name.
std::optional<WindowInfo> windowInfoOf(const ShellWindow& w, const CommReader& comm = procComm);

/// The capturable window of a shell window; nothing for a desktop window. Its size is the
/// content area's, its scale the buffer's (the extension captures at that scale).
std::optional<CapturableWindow> capturableOf(const ShellWindow& w,
                                             const CommReader& comm = procComm);

}  // namespace lorvane
