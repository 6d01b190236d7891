#pragma once

#include <memory>

#include "windows/text_recognizer.h"

namespace lorvane {

/// Tesseract with the Japanese and English models, LSTM engine, automatic page segmentation,
/// one observation per text line. Loading the models starts on creation (in the background);
/// destruction waits for it. From creation on, stderr is captured (and so kept silent) for as
/// long as the recognizer lives; errors quote what Tesseract printed.
std::unique_ptr<TextRecognizer> makeTesseractRecognizer();

}  // namespace lorvane
