#pragma once

#include <vector>

#include "audio/audio_format.h"
#include "audio/audio_platform.h"
#include "audio/converter.h"

namespace lorvane::audio {

/// The converter's input callback for one ioBlock call: hands `mono` over on the first
/// request and answers NoDataNow afterwards (`handedOver` is that call's flag).
ConverterInputBlock inputBlock(bool& handedOver, const std::vector<float>& mono);

/// The capture callback, one call per captured block, on "lorvane.tap": mixes the block down
/// to mono, converts it to 16 kHz s16 and queues the samples on stdout, writing "READY" once
/// right before the first ones. A block at another rate than the converter's (the graph rate
/// changed) first drains the converter and rebuilds it for the new rate. A failed write ends
/// the capture (teardown, status 0): the reader has gone.
void ioBlock(const AudioFormat& tapFmt, const AudioBufferList& input);

/// Ends the converter's signal and writes its tail: the last step of a flush at the stop, on
/// "lorvane.tap". The converter takes no more input afterwards.
void drainConverter();

}  // namespace lorvane::audio
