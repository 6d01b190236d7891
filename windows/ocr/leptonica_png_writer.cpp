#include <leptonica/allheaders.h>

#include "windows/ocr/ocr_module.h"

namespace lorvane {
namespace {

struct PixDeleter {
  void operator()(PIX* pix) const { pixDestroy(&pix); }
};

class LeptonicaPngWriter final : public PngWriter {
 public:
  LeptonicaPngWriter() { setMsgSeverity(L_SEVERITY_NONE); }

  bool writePng(const Image& image, const std::string& path) override {
    constexpr int64_t kMaxSide = 1 << 24;
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxSide ||
        image.height > kMaxSide ||
        image.pixels.size() != static_cast<size_t>(image.width * image.height)) {
      return false;
    }
    const int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
    std::unique_ptr<PIX, PixDeleter> pix(pixCreate(width, height, 32));
    if (!pix) return false;
    // leptonica keeps 32-bit pixels as 0xRRGGBBAA words.
    l_uint32* data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < height; ++y) {
      const uint32_t* src = image.pixels.data() + static_cast<size_t>(y) * width;
      l_uint32* dst = data + static_cast<size_t>(y) * wpl;
      for (int x = 0; x < width; ++x) dst[x] = (src[x] << 8) | 0xFF;
    }
    return pixWrite(path.c_str(), pix.get(), IFF_PNG) == 0;
  }
};

}  // namespace
}  // namespace lorvane

lorvane::PngWriter* lorvane_make_png_writer() {
  return new lorvane::LeptonicaPngWriter();
}
