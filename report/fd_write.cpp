#include "report/fd_write.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace lorvane {

bool writeAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A non-blocking descriptor that is full: wait for room, as a blocking one would.
        pollfd room{fd, POLLOUT, 0};
        poll(&room, 1, -1);
        continue;
      }
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace lorvane
