#pragma once

#include <memory>

#include "windows/text_recognizer.h"

namespace lorvane {

/// Tesseract with Japanese and English models ("jpn+eng"), LSTM engine, automatic page
/// segmentation, one observation per text line. From creation on, stderr is captured (and so
/// kept silent) for as long as the recognizer lives; errors quote what Tesseract printed.
std::unique_ptr<TextRecognizer> makeTesseractRecognizer();

}  // namespace lorvane
