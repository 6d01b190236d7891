#include "report/reply.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "report/status_line.h"

namespace lorvane {
namespace {

// Points `fd` at a pipe while `write` runs and returns what reached it.
template <typename Write>
std::string capture(int fd, Write write) {
  int p[2];
  EXPECT_EQ(pipe(p), 0);
  const int saved = dup(fd);
  dup2(p[1], fd);
  write();
  dup2(saved, fd);
  close(saved);
  close(p[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(p[0]);
  return out;
}

TEST(Channels, StatusLineGoesToStderrWithItsLineFeed) {
  EXPECT_EQ(capture(STDERR_FILENO, [] { log("READY"); }), "READY\n");
  EXPECT_EQ(capture(STDERR_FILENO, [] { log(propErrorLine(1969841184, -2)); }),
            "prop error 1969841184 -2\n");
}

TEST(Channels, ReplyIsOneLineOnStdout) {
  const JsonValue reply = JsonObject{{{"app", "Notes"}, {"title", "a/b\nc"}, {"text", ""}}};
  EXPECT_EQ(capture(STDOUT_FILENO, [&] { writeReply(reply); }),
            "{\"app\":\"Notes\",\"title\":\"a\\/b\\nc\",\"text\":\"\"}\n");
  EXPECT_EQ(capture(STDOUT_FILENO, [] { writeReply(JsonArray{}); }), "[]\n");
}

}  // namespace
}  // namespace lorvane
