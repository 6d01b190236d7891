#include "windows/sway/sway_ipc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lorvane {
namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr size_t kHeader = kMagic.size() + 8;  // magic, payload length, message type
// get_tree of thousands of windows stays far below this; anything larger is no sway reply.
constexpr uint32_t kMaxPayload = 64u << 20;

std::string errnoText(int err) {
  return std::strerror(err);
}

// Waits until `fd` is ready for `events`, or the deadline passes; false then.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, static_cast<int>(left.count()) + 1);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

}  // namespace

SwayIpc::SwayIpc(const std::string& path) {
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    failure_ = "sway: no usable IPC socket path";
    return;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) {
    failure_ = "sway: cannot make a socket (" + errnoText(errno) + ")";
    return;
  }
  // A local socket connects at once or not at all: nobody listening is ECONNREFUSED.
  if (connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 &&
      errno != EINPROGRESS) {
    failure_ = "sway: cannot connect to " + path + " (" + errnoText(errno) + ")";
    close(fd_);
    fd_ = -1;
  }
}

SwayIpc::~SwayIpc() {
  if (fd_ >= 0) close(fd_);
}

Outcome<std::string> SwayIpc::fail(const std::string& what) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  failure_ = "sway IPC: " + what;
  return Outcome<std::string>::failure(failure_);
}

Outcome<std::string> SwayIpc::request(SwayMessage type, std::string_view payload,
                                      std::chrono::steady_clock::time_point deadline) {
  if (fd_ < 0) return Outcome<std::string>::failure(failure_);
  std::string message(kMagic);
  const auto length = static_cast<uint32_t>(payload.size());
  const auto code = static_cast<uint32_t>(type);
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&code), 4);
  message.append(payload);
  for (size_t sent = 0; sent < message.size();) {
    if (!waitFor(fd_, POLLOUT, deadline)) return fail("sway did not take the request in time");
    const ssize_t n = send(fd_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return fail("send: " + errnoText(errno));
    if (n > 0) sent += static_cast<size_t>(n);
  }
  std::string reply;
  size_t wanted = kHeader;
  while (reply.size() < wanted) {
    if (!waitFor(fd_, POLLIN, deadline)) return fail("sway did not answer in time");
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, std::min(sizeof buffer, wanted - reply.size()), 0);
    if (n == 0) return fail("sway closed the connection");
    if (n < 0 && errno != EAGAIN && errno != EINTR) return fail("recv: " + errnoText(errno));
    if (n > 0) reply.append(buffer, static_cast<size_t>(n));
    if (wanted == kHeader && reply.size() == kHeader) {
      if (!std::string_view(reply).starts_with(kMagic)) return fail("a reply without i3-ipc magic");
      uint32_t size = 0, replyType = 0;
      std::memcpy(&size, reply.data() + kMagic.size(), 4);
      std::memcpy(&replyType, reply.data() + kMagic.size() + 4, 4);
      if (replyType != code) return fail("a reply of type " + std::to_string(replyType));
      if (size > kMaxPayload) return fail("a reply of " + std::to_string(size) + " bytes");
      wanted = kHeader + size;
      reply.reserve(wanted);
    }
  }
  return Outcome<std::string>::success(reply.substr(kHeader));
}

}  // namespace lorvane
