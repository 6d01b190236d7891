#pragma once

#include <cstdint>

namespace lorvane::audio::capture_test {

/// Makes the daemon send the PipeWire client of process `pid` an error on its core object, as
/// it does when a request names an object that has just gone. False when no such client exists.
bool sendClientError(int32_t pid, int res, const char* message);

}  // namespace lorvane::audio::capture_test
