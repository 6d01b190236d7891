#include "main/platform/x11_input_facts.h"

#include <algorithm>
#include <string_view>

namespace lorvane {

bool mayBeXwayland(const X11InputFacts& facts) {
  if (!facts.xwaylandExtension || *facts.xwaylandExtension) return true;
  if (!facts.outputNames) return true;
  return std::ranges::any_of(*facts.outputNames,
                             [](std::string_view name) { return name.starts_with("XWAYLAND"); });
}

bool x11GrantsGlobalInput(const X11InputFacts& facts) {
  if (mayBeXwayland(facts)) return false;
  // XInput 1 alone cannot select raw events on the root window: version 2 is needed.
  return facts.record || facts.xinputMajor >= 2;
}

}  // namespace lorvane
