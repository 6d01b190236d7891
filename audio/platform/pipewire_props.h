#pragma once

// Internal to the PipeWire backend: what the registry and bound objects say, read from their
// property dictionaries into plain facts that the bookkeeping (StreamGraph) decides from.

#include <cstdint>
#include <optional>
#include <string>

#include "audio/platform/stream_graph.h"

struct spa_dict;

namespace lorvane::audio {

/// A positive 32-bit decimal ("1234"); nothing for "", "0", "-5", "12x" or an overflow.
std::optional<int32_t> parsePositive(const char* text);
/// A sample rate between 1 and 999999 Hz; 0 for anything else or nothing.
uint32_t parseRate(const char* text);
/// The "name" member of a metadata value such as {"name": "nullsink"}; empty when absent.
std::string parseMetadataName(const char* json);

/// A registry global of the given interface type.
GlobalFacts readGlobal(const char* type, const spa_dict* props);
/// A bound client's info properties.
ClientFacts readClient(const spa_dict* props);
/// A bound playback node's info properties.
StreamNodeInfo readNode(const spa_dict* props);

}  // namespace lorvane::audio
