#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "windows/image.h"

namespace lorvane {

/// 8-bit grey pixels, row-major from the top-left corner.
struct GrayImage {
  int64_t width = 0;
  int64_t height = 0;
  std::vector<uint8_t> pixels;
};

/// Luma of each pixel (ITU-R BT.601 weights).
GrayImage toGray(const Image& image);

/// The most frequent grey level: the window's background.
uint8_t backgroundLevel(const GrayImage& gray);

/// The median height in pixels of the bands of rows that hold text (rows with pixels far from
/// the background), bands under 3 rows left out; 0 when there are none.
int64_t typicalLineHeight(const GrayImage& gray, uint8_t background);

/// Bilinear enlargement by a whole factor (1 returns a copy).
GrayImage upscale(const GrayImage& gray, int factor);

/// What the recognizer is given, and how much it was enlarged.
struct PreparedImage {
  GrayImage gray;
  int scale = 1;
  uint8_t paper = 255;  // background level after inversion
};

/// A run of whole rows [top, bottom).
struct RowBand {
  int64_t top = 0;
  int64_t bottom = 0;
};

/// Cuts the image into at most `parts` bands of similar height for recognition in parallel.
/// Every cut lies on a row without ink (nearest to the even split), so no text line is cut;
/// bands lower than `minHeight` are not made. Always at least one band for a non-empty image.
std::vector<RowBand> splitIntoBands(const GrayImage& gray, uint8_t paper, int parts,
                                    int64_t minHeight);

/// True when the UTF-8 text holds a CJK character (ideograph, kana, CJK punctuation or
/// full-width form): a line without one is read again with the English model.
bool hasCjk(std::string_view utf8);

/// Grey, dark text on a light background (dark themes are inverted) and small text enlarged,
/// since the recognizer reads both far worse otherwise. Enlargement is uniform, so normalized
/// boxes mean the same in the result and in the capture.
PreparedImage prepareForRecognition(const Image& image);

}  // namespace lorvane
