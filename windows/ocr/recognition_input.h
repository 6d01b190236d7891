#pragma once

#include <cstdint>
#include <vector>

#include "windows/image.h"

namespace lorvane {

/// A pixel at least this far from the paper level counts as ink.
inline constexpr int kInkContrast = 64;

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

/// True when row y holds a pixel far from the paper level.
bool isInkRow(const GrayImage& gray, int64_t y, uint8_t paper);

/// The height in pixels of a text line's band of rows (rows with pixels far from the paper
/// level), measured in narrow strips of columns so that frames and rules do not count; bands
/// under 3 rows left out; 0 when there are none.
int64_t typicalLineHeight(const GrayImage& gray, uint8_t paper);

/// True when edges are hard steps without in-between levels: text drawn with a bitmap font,
/// whose one-pixel strokes blur away under a smooth enlargement.
bool hasCrispEdges(const GrayImage& gray);

/// How much to enlarge, and whether crisp (scale2x) rather than smooth (bilinear).
struct Enlargement {
  int factor = 1;
  bool crisp = false;
};

/// The recognizer reads lines best from about 15 rows of anti-aliased text up; small bitmap
/// glyphs need about 20 rows and keep their shape only under a crisp enlargement: 1, 2 or 4.
Enlargement enlargementFor(int64_t lineHeight, bool crisp);

/// Bilinear enlargement by a whole factor (1 returns a copy).
GrayImage upscale(const GrayImage& gray, int factor);

/// Twice the size, each pixel made four that round off diagonal steps and keep straight edges
/// sharp (the Scale2x rule for pixel art).
GrayImage scale2x(const GrayImage& gray);

/// What the recognizer is given, and how much it was enlarged.
struct PreparedImage {
  GrayImage gray;
  int scale = 1;
  uint8_t paper = 255;      // background level after inversion
  bool bitmapText = false;  // see hasCrispEdges
};

/// Grey, dark text on a light background (dark themes are inverted) and small text enlarged,
/// since the recognizer reads both far worse otherwise. Enlargement is uniform, so normalized
/// boxes mean the same in the result and in the capture.
PreparedImage prepareForRecognition(const Image& image);

}  // namespace lorvane
