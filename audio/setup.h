#pragma once

#include <optional>
#include <string>

#include "audio/audio_format.h"
#include "audio/audio_platform.h"
#include "main/args.h"

namespace lorvane::audio {

/// The process object of `pid`, or nothing when the system gives none (no status line).
std::optional<AudioObjectID> processObject(int32_t pid);

/// Reads a global property of `object`. A failed read writes "prop error <selector>
/// <status>" and gives `def`. Defined for AudioObjectID, std::string and
/// AudioStreamBasicDescription.
template <class T>
T getProp(AudioObjectID object, uint32_t selector, T def);

/// A fresh random (version 4) UUID in its 36-character text form.
std::string makeUUID();

/// The aggregate device's description dictionary, keys in this order: name, uid, master,
/// private, stacked, tapautostart, subdevices, taps.
Dictionary makeAggregateDescription(const std::string& aggUID, const std::string& deviceUID,
                                    const std::string& tapUUID);

/// Creates the tap and the aggregate device, reports the stream format and prepares the
/// formats and the converter. Returns the tap's format; on failure writes "ERROR ..." and
/// ends the process with status 2, 3 or 4 (nothing is torn down).
AudioFormat setupCapture(ArgList args);

/// Writes a setup failure's status line and ends the process with `status`, without
/// teardown and without static destructors (platform threads may be running already).
[[noreturn]] void failSetup(const std::string& line, int status);

/// The teardown: destroys the aggregate device, then the tap; statuses ignored.
void cleanup();

}  // namespace lorvane::audio
