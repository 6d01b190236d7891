#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "main/args.h"
#include "report/json.h"
#include "windows/png_writer.h"
#include "windows/text_recognizer.h"
#include "windows/window_system.h"

namespace lorvane {

/// What the capture task talks to.
struct OcrServices {
  WindowSystem& windows;
  TextRecognizer& recognizer;
  PngWriter& png;
};

/// The path of the first "--save=" element (element 0 included); later ones are ignored.
std::optional<std::string> savePath(ArgList args);

/// Finds window `target` among the capturable windows, captures it at full pixel size, saves
/// the PNG copy when asked, recognizes its text and returns the reply: {"app","title","text"}
/// or {"error"}.
JsonObject ocrReply(uint32_t target, ArgList args, OcrServices services);

/// Loads the recognition module (the real recognizer and PNG writer) on the calling thread,
/// writes `ocrReply` and ends the process with status 0.
[[noreturn]] void ocrTask(uint32_t target, ArgList args, std::unique_ptr<WindowSystem> windows);

}  // namespace lorvane
