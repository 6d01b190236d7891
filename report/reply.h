#pragma once

#include "report/json.h"

namespace lorvane {

/// Writes the compact document to descriptor 1 in one write and the line feed in a second.
/// The caller ends the process with status 0 afterwards; a failed write is not reported.
void writeReply(const JsonValue& value);

}  // namespace lorvane
