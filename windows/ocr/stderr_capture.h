#pragma once

#include <string>

namespace lorvane {

/// While alive, descriptor 2 writes into an anonymous in-memory file instead of the parent's
/// stderr. Tesseract and leptonica print their diagnostics there (text capture must keep stderr
/// silent), and an error reply can quote them.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  /// Bytes captured so far; a mark for `textSince`.
  long size() const;
  /// What was written after `mark`, whitespace at both ends removed, at most 2000 bytes.
  std::string textSince(long mark) const;

 private:
  int saved_ = -1;    // the original stderr
  int capture_ = -1;  // the in-memory file
};

}  // namespace lorvane
