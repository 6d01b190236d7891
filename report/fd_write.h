#pragma once

#include <cstddef>

namespace lorvane {

/// Writes all of [data, data + size) to fd. The first write(2) carries everything; further
/// calls only happen after a partial write, EINTR, or EAGAIN on a non-blocking
/// descriptor (then it waits for room). Returns false once the descriptor fails
/// (EPIPE, EBADF, ...).
bool writeAll(int fd, const void* data, size_t size);

}  // namespace lorvane
