#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "windows/ocr/glyph_shape.h"
#include "windows/ocr/line_script.h"
#include "windows/ocr/ocr_module.h"
#include "windows/ocr/recognition_input.h"
#include "windows/ocr/row_bands.h"
#include "windows/ocr/stderr_capture.h"

namespace lorvane {
namespace {

// Japanese reads both scripts; lines without kana or kanji come out better from the English
// model, which then reads them once more (the Japanese model also turns an English full stop
// into "。"); so do lines with only a few, which keep the more confident reading (lineScript). Each
// model has engines of its own: with "jpn+eng" in one engine Tesseract keeps using the language of
// the previous word and read whole Japanese lines as English letters.
constexpr const char* kPrimary = "jpn";
constexpr const char* kLatin = "eng";
constexpr int kMaxWorkers = 4;
constexpr int64_t kMinBandHeight = 120;  // rows; below that a band is not worth an engine
constexpr int64_t kMaxSide = 32767;      // leptonica's and Tesseract's limit per side
constexpr int kLinePad = 4;              // rows and columns kept around a line read again

struct ApiDeleter {
  void operator()(tesseract::TessBaseAPI* api) const {
    api->End();
    delete api;
  }
};
using Api = std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter>;

// Takes over a text Tesseract made (with new[]); trailing whitespace goes.
std::string takeText(char* text) {
  const std::unique_ptr<char[]> owned(text);
  std::string s = text == nullptr ? "" : text;
  const auto last = s.find_last_not_of(" \t\r\n");
  return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

// One line in pixels of the band it was read from.
struct Line {
  int left, top, right, bottom;
  std::string text;
  float confidence = 0;  // the Japanese model's, 0 to 100
};

// Loads a model into `api` unless already there; false when it cannot be loaded.
bool load(Api& api, const char* language, tesseract::PageSegMode mode) {
  if (api) return true;
  Api made(new tesseract::TessBaseAPI);
  if (made->Init(nullptr, language, tesseract::OEM_LSTM_ONLY) != 0) return false;
  made->SetPageSegMode(mode);
  // Dark themes are inverted beforehand; Tesseract's own second, inverted pass only costs.
  made->SetVariable("tessedit_do_invert", "0");
  api = std::move(made);
  return true;
}

std::string cannotLoad(const char* language) {
  return std::string("cannot load the language model \"") + language + "\"";
}

// The English engine, shared by the workers in turn: its part of the work is small, while
// loading a model costs as much CPU as reading a good part of a page.
struct LatinEngine {
  std::mutex mutex;
  Api api;

  void warmUp() {
    std::lock_guard lock(mutex);
    load(api, kLatin, tesseract::PSM_SINGLE_LINE);
  }
};

// Turns each "," of the text that `api` just read into "." where its mark is round (see
// isRoundMark). The k-th comma symbol of the iterator is the k-th "," of the text. Only bitmap
// fonts need it: anti-aliased full stops read right.
void restoreFullStops(tesseract::TessBaseAPI& api, const PreparedImage& input, RowBand band,
                      std::string& text) {
  if (text.find(',') == std::string::npos) return;
  std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
  if (!it || it->Empty(tesseract::RIL_SYMBOL)) return;
  size_t at = 0;
  do {
    std::unique_ptr<char[]> symbol(it->GetUTF8Text(tesseract::RIL_SYMBOL));
    if (symbol == nullptr || std::string_view(symbol.get()) != ",") continue;
    at = text.find(',', at);
    if (at == std::string::npos) return;
    int left, top, right, bottom;
    if (it->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom) &&
        isRoundMark(input.gray, input.paper, {left, band.top + top, right, band.top + bottom})) {
      text[at] = '.';
    }
    ++at;
  } while (it->Next(tesseract::RIL_SYMBOL));
}

// A Japanese engine of its own per worker thread, made on first use and kept.
struct Worker {
  Api primary;
  std::string error;

  bool ready() {
    if (load(primary, kPrimary, tesseract::PSM_AUTO)) return true;
    error = cannotLoad(kPrimary);
    return false;
  }

  // Loads the model ahead of use; a failure shows again when the model is needed.
  void warmUp() { load(primary, kPrimary, tesseract::PSM_AUTO); }

  // Reads rows [band.top, band.bottom) of `input`; fills `lines`, or sets `error`.
  void read(const PreparedImage& input, RowBand band, LatinEngine& latin,
            std::vector<Line>& lines) {
    // Tesseract's OpenMP regions otherwise ask for more threads than there are cores and spin
    // against each other (five times slower on two cores). They name their thread count, so
    // only turning nesting levels off keeps them on one thread; the setting belongs to the
    // calling thread, so every worker makes it. Parallelism comes from the bands instead.
    omp_set_max_active_levels(0);
    const GrayImage& gray = input.gray;
    const int width = static_cast<int>(gray.width);
    const int height = static_cast<int>(band.bottom - band.top);
    const unsigned char* rows = gray.pixels.data() + band.top * gray.width;

    if (!ready()) return;
    primary->SetImage(rows, width, height, 1, width);
    primary->SetSourceResolution(96 * input.scale);
    if (primary->Recognize(nullptr) != 0) {
      error = "recognition failed";
      return;
    }
    std::unique_ptr<tesseract::ResultIterator> it(primary->GetIterator());
    if (it && !it->Empty(tesseract::RIL_TEXTLINE)) {
      do {
        Line line{};
        if (it->BoundingBox(tesseract::RIL_TEXTLINE, &line.left, &line.top, &line.right,
                            &line.bottom)) {
          line.text = takeText(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
          line.confidence = it->Confidence(tesseract::RIL_TEXTLINE);
          lines.push_back(std::move(line));
        }
      } while (it->Next(tesseract::RIL_TEXTLINE));
    }

    auto readAgain = [](const Line& l) {
      return !l.text.empty() && lineScript(l.text) != LineScript::kJapanese;
    };
    if (std::none_of(lines.begin(), lines.end(), readAgain)) return;
    std::lock_guard lock(latin.mutex);
    if (!load(latin.api, kLatin, tesseract::PSM_SINGLE_LINE)) {
      error = cannotLoad(kLatin);
      return;
    }
    latin.api->SetImage(rows, width, height, 1, width);
    latin.api->SetSourceResolution(96 * input.scale);
    for (Line& line : lines) {
      if (!readAgain(line)) continue;
      const int left = std::max(0, line.left - kLinePad);
      const int top = std::max(0, line.top - kLinePad);
      const int right = std::min(width, line.right + kLinePad);
      const int bottom = std::min(height, line.bottom + kLinePad);
      latin.api->SetRectangle(left, top, right - left, bottom - top);
      std::string text = takeText(latin.api->GetUTF8Text());
      if (text.empty()) continue;
      if (lineScript(line.text) == LineScript::kUnsure &&
          static_cast<float>(latin.api->MeanTextConf()) <= line.confidence) {
        continue;
      }
      line.text = std::move(text);
      if (input.bitmapText) restoreFullStops(*latin.api, input, band, line.text);
    }
  }
};

class TesseractRecognizer final : public TextRecognizer {
 public:
  // Starts loading the models at once, so that loading overlaps the window capture.
  TesseractRecognizer() {
    const unsigned cores = std::thread::hardware_concurrency();
    workers_.resize(std::clamp<size_t>(cores, 1, kMaxWorkers));
    try {
      for (Worker& w : workers_) loading_.emplace_back([&w] { w.warmUp(); });
      loading_.emplace_back([this] { latin_.warmUp(); });
    } catch (const std::system_error&) {
      // No thread to spare: the models load when first needed.
    }
  }

  Outcome<std::vector<TextObservation>> recognize(const Image& image) override {
    using Result = Outcome<std::vector<TextObservation>>;
    loading_.clear();  // joins
    const long mark = capture_.size();
    auto fail = [&](const std::string& what) {
      std::string text = "Tesseract: " + what;
      const std::string printed = capture_.textSince(mark);
      if (!printed.empty()) text += ": " + printed;
      return Result::failure(text);
    };

    if (image.width < 0 || image.height < 0 ||
        image.pixels.size() != static_cast<size_t>(image.width * image.height)) {
      return fail("malformed image of " + std::to_string(image.width) + " x " +
                  std::to_string(image.height) + " pixels");
    }
    const PreparedImage input = prepareForRecognition(image);
    const GrayImage& gray = input.gray;
    if (gray.width == 0 || gray.height == 0) return Result::success({});
    if (gray.width > kMaxSide || gray.height > kMaxSide) {
      return fail("image of " + std::to_string(gray.width) + " x " + std::to_string(gray.height) +
                  " pixels is too large");
    }

    // A missing model fails here once, rather than in every worker at the same time.
    if (!workers_[0].ready()) return fail(std::exchange(workers_[0].error, {}));
    if (!load(latin_.api, kLatin, tesseract::PSM_SINGLE_LINE)) return fail(cannotLoad(kLatin));

    const std::vector<RowBand> bands = splitIntoBands(
        gray, input.paper, static_cast<int>(workers_.size()), kMinBandHeight * input.scale);
    std::vector<std::vector<Line>> found(bands.size());
    {
      std::vector<std::jthread> threads;
      for (size_t i = 1; i < bands.size(); ++i) {
        auto job = [&, i] { workers_[i].read(input, bands[i], latin_, found[i]); };
        try {
          threads.emplace_back(job);
        } catch (const std::system_error&) {
          job();  // no thread to spare: read this band here
        }
      }
      workers_[0].read(input, bands[0], latin_, found[0]);
    }

    std::vector<TextObservation> observations;
    const double w = static_cast<double>(gray.width), h = static_cast<double>(gray.height);
    for (size_t i = 0; i < bands.size(); ++i) {
      if (!workers_[i].error.empty()) return fail(std::exchange(workers_[i].error, {}));
      for (Line& line : found[i]) {
        const double bottom = static_cast<double>(bands[i].top + line.bottom);
        TextObservation o;
        o.boundingBox = {line.left / w, (h - bottom) / h, (line.right - line.left) / w,
                         (line.bottom - line.top) / h};
        // A line that reads as nothing offers no candidate, like a region without text.
        if (!line.text.empty()) o.topCandidate = std::move(line.text);
        observations.push_back(std::move(o));
      }
    }
    return Result::success(std::move(observations));
  }

 private:
  StderrCapture capture_;
  LatinEngine latin_;
  std::vector<Worker> workers_;
  std::vector<std::jthread> loading_;  // last: joined before the engines go
};

}  // namespace
}  // namespace lorvane

lorvane::TextRecognizer* lorvane_make_recognizer() {
  return new lorvane::TesseractRecognizer();
}
