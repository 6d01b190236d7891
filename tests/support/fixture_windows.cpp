#include "tests/support/fixture_windows.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace lorvane::testing {

std::string fixtureWindowsPath() {
  const char* path = std::getenv("LORVANE_FIXTURE_WINDOWS");
  return path != nullptr ? path : "./lorvane-test-windows";
}

FixtureWindows::FixtureWindows(const std::string& layout) {
  char name[] = "/tmp/lorvane-fixture-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) {
    error_ = "cannot create a layout file";
    return;
  }
  close(fd);
  layoutPath_ = name;
  std::ofstream(layoutPath_, std::ios::binary) << layout;
  child_ = std::make_unique<ChildProcess>(
      fixtureWindowsPath(), std::vector<std::string>{"lorvane-test-windows", layoutPath_});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string out = child_->out();
    if (const size_t eol = out.find('\n'); eol != std::string::npos) {
      std::istringstream line(out.substr(0, eol));
      std::string word;
      line >> word;
      for (uint32_t id = 0; line >> id;) ids_.push_back(id);
      ready_ = word == "ready";
      if (!ready_) error_ = "unexpected output: " + out;
      return;
    }
    if (child_->err().find("lorvane-test-windows:") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  error_ = "fixture not ready: " + child_->err();
}

FixtureWindows::~FixtureWindows() {
  if (child_) {
    child_->closeStdin();
    child_->wait(std::chrono::seconds(5));
  }
  if (!layoutPath_.empty()) std::remove(layoutPath_.c_str());
}

}  // namespace lorvane::testing
