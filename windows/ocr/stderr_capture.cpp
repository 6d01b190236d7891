#include "windows/ocr/stderr_capture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace lorvane {

StderrCapture::StderrCapture() {
  capture_ = memfd_create("lorvane-diagnostics", MFD_CLOEXEC);
  // No memory file: silence stderr at least.
  const int target = capture_ >= 0 ? capture_ : open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (target < 0) return;
  saved_ = dup(2);
  dup2(target, 2);
  if (target != capture_) close(target);
}

StderrCapture::~StderrCapture() {
  if (saved_ >= 0) {
    dup2(saved_, 2);
    close(saved_);
  }
  if (capture_ >= 0) close(capture_);
}

long StderrCapture::size() const {
  struct stat st {};
  if (capture_ < 0 || fstat(capture_, &st) != 0) return 0;
  return static_cast<long>(st.st_size);
}

std::string StderrCapture::textSince(long mark) const {
  constexpr long kLimit = 2000;
  const long end = size();
  if (end <= mark) return {};
  const long begin = std::max(mark, end - kLimit);
  std::string text(static_cast<size_t>(end - begin), '\0');
  const ssize_t got = pread(capture_, text.data(), text.size(), begin);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace lorvane
