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

/// The module's entry points (C names, looked up with dlsym).
extern "C" {
using MakeRecognizerFn = TextRecognizer*();
using MakePngWriterFn = PngWriter*();
}
inline constexpr const char* kMakeRecognizerSymbol = "lorvane_make_recognizer";
inline constexpr const char* kMakePngWriterSymbol = "lorvane_make_png_writer";

}  // namespace lorvane
