// tone_track FILE FREQ: the amplitude (full scale 1.0) of a tone at FREQ in each 100 ms of a
// 16 kHz s16le mono PCM file, one a line; bench/audio/soak reads them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "audio/tests/tone.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tone_track FILE FREQ\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const double freq = std::atof(argv[2]);
  std::vector<uint8_t> bytes(3200);
  std::vector<int16_t> window(1600);
  while (std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size()) {
    for (size_t i = 0; i < window.size(); ++i) {
      window[i] = int16_t(uint16_t(bytes[2 * i]) | uint16_t(bytes[2 * i + 1]) << 8);
    }
    const auto fit =
        lorvane::audio::testing::fitTone(std::span<const int16_t>(window), freq, 16000.0);
    std::printf("%.4f\n", fit.amplitude / 32768.0);
  }
  std::fclose(in);
}
