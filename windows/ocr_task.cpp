#include "windows/ocr_task.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

#include "report/exit_status.h"
#include "report/reply.h"
#include "windows/ocr/ocr_module.h"
#include "windows/reading_order.h"

namespace lorvane {
namespace {

// Pixels for a length in points, truncated toward zero; nothing when the product is not finite
// or does not fit a signed 64-bit integer. A negative length counts as its size.
std::optional<int64_t> pixelLength(double points, double scale) {
  const double pixels = std::fabs(points) * scale;
  // 2^63 is exact as a double; anything at or above it does not fit.
  if (!std::isfinite(pixels) || pixels < 0 || pixels >= 9223372036854775808.0) return std::nullopt;
  return static_cast<int64_t>(pixels);
}

}  // namespace

std::optional<std::string> savePath(ArgList args) {
  constexpr std::string_view kPrefix = "--save=";
  for (const char* element : args) {
    if (element == nullptr) continue;
    const std::string_view text(element);
    if (text.starts_with(kPrefix)) return std::string(text.substr(kPrefix.size()));
  }
  return std::nullopt;
}

JsonObject ocrReply(uint32_t target, ArgList args, OcrServices services) {
  auto content = services.windows.shareableContent();
  if (!content.ok()) return errorReply(content.error());

  const CapturableWindow* window = nullptr;
  for (const CapturableWindow& w : content.value()) {
    if (w.windowID == target) {
      window = &w;
      break;
    }
  }
  if (window == nullptr) return errorReply("no-window");

  const double scale = static_cast<double>(window->pointPixelScale);
  const auto width = pixelLength(window->contentWidth, scale);
  const auto height = pixelLength(window->contentHeight, scale);
  if (!width || !height) {
    return errorReply("capture of window " + std::to_string(target) + ": unusable pixel size " +
                      std::to_string(window->contentWidth) + " x " +
                      std::to_string(window->contentHeight) + " at scale " + std::to_string(scale));
  }

  auto capture = services.windows.captureWindow(*window, *width, *height);
  if (!capture.ok()) return errorReply(capture.error());
  if (!capture.value()) return errorReply("no-window");  // it went while being captured
  const Image& image = *capture.value();

  // The copy is a convenience for the parent: whether it works changes nothing.
  if (const auto path = savePath(args)) services.png.writePng(image, *path);

  auto lines = services.recognizer.recognize(image);
  if (!lines.ok()) return errorReply(lines.error());

  JsonObject reply;
  reply.members.emplace_back("app", window->applicationName.value_or(""));
  reply.members.emplace_back("title", window->title.value_or(""));
  reply.members.emplace_back("text", assembleText(std::move(lines.value())));
  return reply;
}

void ocrTask(uint32_t target, ArgList args, std::unique_ptr<WindowSystem> windows) {
  OcrBackends backends = loadOcrBackends();  // the recognizer starts loading its models
  writeReply(ocrReply(target, args, OcrServices{*windows, *backends.recognizer, *backends.png}));
  // Model loading may still run when the reply came before recognition: let it end before
  // exit tears down the library under it.
  backends.recognizer.reset();
  std::exit(kExitOk);
}

}  // namespace lorvane
