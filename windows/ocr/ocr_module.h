#pragma once

#include <memory>
#include <string>

#include "windows/png_writer.h"
#include "windows/text_recognizer.h"

namespace lorvane {

/// The recognizer and the PNG writer. Tesseract and leptonica live in a module of their own
/// (lorvane-tap-ocr.so beside the executable, or in the installed tree's library directory),
/// loaded only by "--ocr": linked into the executable they would add about 25 ms to the start
/// of every mode.
struct OcrBackends {
  std::shared_ptr<void> module;  // the dlopen handle; declared first, so closed last
  std::unique_ptr<TextRecognizer> recognizer;
  std::unique_ptr<PngWriter> png;
};

/// Loads the module and makes both. Without the module the recognizer answers every call
/// with an error naming the module and the loader's message, and the writer writes nothing.
OcrBackends loadOcrBackends();

}  // namespace lorvane

/// The module's entry points, looked up by these names with dlsym; each makes an object the
/// caller owns.
extern "C" {
/// Tesseract with the Japanese and English models, LSTM engine, automatic page segmentation,
/// one observation per text line. Loading the models starts on creation (in the background);
/// destruction waits for it. From creation on, stderr is captured (and so kept silent) for as
/// long as the recognizer lives; errors quote what Tesseract printed.
__attribute__((visibility("default"))) lorvane::TextRecognizer* lorvane_make_recognizer();
/// PNG files through leptonica, which prints nothing on failure.
__attribute__((visibility("default"))) lorvane::PngWriter* lorvane_make_png_writer();
}
