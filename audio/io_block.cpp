#include "audio/io_block.h"

#include <algorithm>
#include <cstring>

#include "audio/capture_state.h"
#include "audio/mixdown.h"
#include "audio/teardown.h"
#include "report/status_line.h"

namespace lorvane::audio {
namespace {

void writeSamples(const int16_t* samples, size_t n) {
  if (n == 0) return;
  if (!announced) {
    announced = true;
    log("READY");
  }
  std::vector<uint8_t> bytes(2 * n);
  std::memcpy(bytes.data(), samples, bytes.size());
  if (!stdoutHandle->write(std::move(bytes))) readerGone();
}

}  // namespace

void drainConverter() {
  const std::vector<int16_t> tail = converter->drain();
  writeSamples(tail.data(), tail.size());
}

ConverterInputBlock inputBlock(bool& handedOver, const std::vector<float>& mono) {
  return
      [&handedOver, &mono](uint32_t /*packetCount*/,
                           ConverterInputStatus& status) -> std::optional<std::span<const float>> {
        if (handedOver) {
          status = ConverterInputStatus::NoDataNow;
          return std::nullopt;
        }
        handedOver = true;
        status = ConverterInputStatus::HaveData;
        return std::span<const float>(mono);
      };
}

void ioBlock(const AudioFormat& tapFmt, const AudioBufferList& input) {
  const uint32_t frames = input.frames;
  if (frames == 0) return;
  // The graph may run at another rate than the tap reported at setup; the block says which.
  const double rate = input.sampleRate > 0 ? input.sampleRate : tapFmt.sampleRate;
  if (rate != converter->inputRate()) {
    // No converter for the new rate: keep the old one rather than stop the stream.
    if (auto next = Converter::make(rate)) {
      drainConverter();
      converter = std::move(next);
    }
  }

  std::vector<float> mono(frames);
  AudioBufferList list = input;
  list.channelCount = std::min(tapFmt.channelCount, input.channelCount);
  list.interleaved = tapFmt.interleaved;
  mixDown(list, mono);

  const auto capacity = outputCapacity(frames, converter->inputRate());
  if (!capacity) return;
  std::vector<int16_t> out(*capacity);
  bool handedOver = false;
  const size_t n = converter->convert(out, inputBlock(handedOver, mono));
  writeSamples(out.data(), n);
}

}  // namespace lorvane::audio
