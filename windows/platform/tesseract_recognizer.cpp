#include "windows/platform/tesseract_recognizer.h"

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <string>

#include "windows/platform/stderr_capture.h"
#include "windows/recognition_input.h"

namespace lorvane {
namespace {

constexpr const char* kLanguages = "jpn+eng";

struct ApiDeleter {
  void operator()(tesseract::TessBaseAPI* api) const {
    api->End();
    delete api;
  }
};

std::string trimmed(const char* text) {
  std::string s = text == nullptr ? "" : text;
  const auto last = s.find_last_not_of(" \t\r\n");
  return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

class TesseractRecognizer final : public TextRecognizer {
 public:
  TesseractRecognizer() {
    // Tesseract's OpenMP regions ask for more threads than this machine class has cores and
    // then spin against each other (five times slower on two cores); recognition of one window
    // is fastest single-threaded.
    omp_set_max_active_levels(0);
  }

  Outcome<std::vector<TextObservation>> recognize(const Image& image) override {
    const long mark = capture_.size();
    auto fail = [&](const std::string& what) {
      std::string text = "Tesseract: " + what;
      const std::string printed = capture_.textSince(mark);
      if (!printed.empty()) text += ": " + printed;
      return Outcome<std::vector<TextObservation>>::failure(text);
    };

    if (!api_) {
      std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api(new tesseract::TessBaseAPI);
      if (api->Init(nullptr, kLanguages, tesseract::OEM_LSTM_ONLY) != 0) {
        return fail(std::string("cannot load the language models \"") + kLanguages + "\"");
      }
      api->SetPageSegMode(tesseract::PSM_AUTO);
      // Dark themes are inverted before recognition; a second inverted pass only costs time.
      api->SetVariable("tessedit_do_invert", "0");
      api_ = std::move(api);
    }

    const PreparedImage input = prepareForRecognition(image);
    const GrayImage& gray = input.gray;
    if (gray.width <= 0 || gray.height <= 0) return Outcome<std::vector<TextObservation>>::success({});
    if (gray.width > kMaxSide || gray.height > kMaxSide) {
      return fail("image of " + std::to_string(gray.width) + " x " + std::to_string(gray.height) +
                  " pixels is too large");
    }
    const int width = static_cast<int>(gray.width), height = static_cast<int>(gray.height);
    api_->SetImage(gray.pixels.data(), width, height, 1, width);
    api_->SetSourceResolution(96 * input.scale);
    if (api_->Recognize(nullptr) != 0) return fail("recognition failed");

    std::vector<TextObservation> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
    if (!it || it->Empty(tesseract::RIL_TEXTLINE)) return Outcome<std::vector<TextObservation>>::success({});
    do {
      int left = 0, top = 0, right = 0, bottom = 0;
      if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) continue;
      std::unique_ptr<char[]> raw(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
      TextObservation o;
      o.boundingBox = {static_cast<double>(left) / width,
                       static_cast<double>(height - bottom) / height,
                       static_cast<double>(right - left) / width,
                       static_cast<double>(bottom - top) / height};
      // A line that reads as nothing offers no candidate, like a region with no text.
      if (std::string text = trimmed(raw.get()); !text.empty()) o.topCandidate = std::move(text);
      lines.push_back(std::move(o));
    } while (it->Next(tesseract::RIL_TEXTLINE));
    return Outcome<std::vector<TextObservation>>::success(std::move(lines));
  }

 private:
  static constexpr int64_t kMaxSide = 32767;  // leptonica's and Tesseract's limit per side
  StderrCapture capture_;
  std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api_;
};

}  // namespace

std::unique_ptr<TextRecognizer> makeTesseractRecognizer() {
  return std::make_unique<TesseractRecognizer>();
}

}  // namespace lorvane
