#include "report/reply.h"

#include <unistd.h>

#include "report/fd_write.h"

namespace lorvane {

void writeReply(const JsonValue& value) {
  const std::string document = toJson(value);
  if (writeAll(STDOUT_FILENO, document.data(), document.size())) {
    writeAll(STDOUT_FILENO, "\n", 1);
  }
}

}  // namespace lorvane
