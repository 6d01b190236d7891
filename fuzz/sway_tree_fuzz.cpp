// sway's window tree as the compositor might send it, broken in any way: parsing must give a
// list or a failure and never throw, crash or read out of bounds; every window it keeps has
// a size that is not negative.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "windows/sway/sway_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parsed =
      lorvane::parseSwayTree(std::string_view(reinterpret_cast<const char*>(data), size));
  if (parsed.ok()) {
    for (const auto& w : parsed.value()) {
      if (w.content.width < 0 || w.content.height < 0 || w.frame.height < 0) std::abort();
    }
  } else if (parsed.error().empty()) {
    std::abort();
  }
  return 0;
}
