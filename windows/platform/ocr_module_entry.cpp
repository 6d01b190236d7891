// The entry points of lorvane-tap-ocr.so (see ocr_module.h).
#include "windows/platform/leptonica_png_writer.h"
#include "windows/platform/ocr_module.h"
#include "windows/platform/tesseract_recognizer.h"

extern "C" __attribute__((visibility("default"))) lorvane::TextRecognizer*
lorvane_make_recognizer() {
  return lorvane::makeTesseractRecognizer().release();
}

extern "C" __attribute__((visibility("default"))) lorvane::PngWriter* lorvane_make_png_writer() {
  return lorvane::makeLeptonicaPngWriter().release();
}
