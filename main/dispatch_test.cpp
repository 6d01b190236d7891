#include "main/dispatch.h"

#include <fcntl.h>
#include <glob.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <vector>

#include "build_info.h"
#include "main/about.h"
#include "tests/support/child_process.h"

namespace lorvane {
namespace {

using testing::runProgram;
using testing::tapPath;

Mode modeOf(std::vector<const char*> argv) {
  return selectMode(argv);
}

TEST(SelectMode, Precedence) {
  EXPECT_EQ(modeOf({"tap"}), Mode::Audio);
  EXPECT_EQ(modeOf({}), Mode::Audio);
  EXPECT_EQ(modeOf({"tap", "--ocr"}), Mode::Ocr);
  EXPECT_EQ(modeOf({"tap", "--ocr", "--windows"}), Mode::Windows);
  EXPECT_EQ(modeOf({"tap", "--ocr", "--windows", "--listen-access"}), Mode::ListenAccess);
  EXPECT_EQ(modeOf({"tap", "--request"}), Mode::Audio);
  EXPECT_EQ(modeOf({"tap", "--request", "--windows"}), Mode::Windows);
  EXPECT_EQ(modeOf({"--ocr", "--exclude-pid=1"}), Mode::Ocr);
  EXPECT_EQ(modeOf({"tap", "--OCR", "--windows=", "-listen-access"}), Mode::Audio);
}

// In a child whose standard descriptors are all closed: a file opened afterwards (as a library
// opens its socket) never takes 0, 1 or 2, and each of them still fails as a closed one does.
TEST(Entry, ClosedStandardDescriptorsStayClosedToUs) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (const int fd : {0, 1, 2}) close(fd);
    holdClosedStandardDescriptors();
    char byte = 0;
    const bool fails = read(0, &byte, 1) == -1 && errno == EBADF && write(1, "x", 1) == -1 &&
                       errno == EBADF && write(2, "x", 1) == -1 && errno == EBADF;
    _exit(fails && open("/dev/null", O_RDWR) > 2 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

bool machineHasInputDevices() {
  glob_t found{};
  const bool any = glob("/dev/input/event*", 0, nullptr, &found) == 0;
  globfree(&found);
  return any;
}

// Without a display, and on a machine without input devices, nothing can listen.
testing::ChildOptions noDisplay() {
  testing::ChildOptions options;
  options.env["DISPLAY"] = std::nullopt;
  options.env["WAYLAND_DISPLAY"] = std::nullopt;
  return options;
}

TEST(Executable, ProbeWinsOverEveryOtherMode) {
  if (machineHasInputDevices()) GTEST_SKIP() << "this machine has input devices";
  for (std::vector<std::string> argv :
       {std::vector<std::string>{"lorvane-tap", "--listen-access"},
        {"lorvane-tap", "--windows", "--listen-access"},
        {"lorvane-tap", "--ocr", "--listen-access", "--exclude-pid=1"},
        {"--listen-access"},
        {"lorvane-tap", "--listen-access", "--request"}}) {
    const auto r = runProgram(tapPath(), argv, {}, noDisplay());
    EXPECT_EQ(r.out, "denied\n") << argv.back();
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.exit.exited);
    EXPECT_EQ(r.exit.code, 0);
  }
}

TEST(Executable, FlagInElementZeroSelectsItsMode) {
  const auto r = runProgram(tapPath(), {"--windows"}, {}, noDisplay());
  EXPECT_EQ(r.out, "[]\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit.code, 0);
}

TEST(Executable, RequestAloneChangesNothing) {
  const auto plain = runProgram(tapPath(), {"lorvane-tap", "--windows"}, {}, noDisplay());
  const auto withRequest =
      runProgram(tapPath(), {"lorvane-tap", "--request", "--windows"}, {}, noDisplay());
  EXPECT_EQ(plain.out, withRequest.out);
  EXPECT_EQ(plain.err, withRequest.err);
  EXPECT_EQ(plain.exit.code, withRequest.exit.code);
}

// "--version" and "--help" answer only when alone after the program name; in any other list
// they are unknown arguments, so the mode runs exactly as without them.
TEST(Executable, VersionAndHelpOnlyAsTheSoleArgument) {
  using V = std::vector<const char*>;
  EXPECT_EQ(aboutRequest(V{"tap", "--version"}), About::Version);
  EXPECT_EQ(aboutRequest(V{"tap", "--help"}), About::Help);
  EXPECT_EQ(aboutRequest(V{"--version"}), About::None);
  EXPECT_EQ(aboutRequest(V{"tap", "--version", "--help"}), About::None);
  EXPECT_EQ(aboutRequest(V{"tap", "--help", "--exclude-pid=1"}), About::None);
  EXPECT_EQ(aboutRequest(V{"tap", "--version="}), About::None);
  EXPECT_EQ(aboutRequest(V{"tap", "-version"}), About::None);

  const auto version = runProgram(tapPath(), {"lorvane-tap", "--version"}, {}, noDisplay());
  EXPECT_EQ(version.out, std::string("lorvane-tap ") + kVersion + "\n");
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.exit.code, 0);
  const auto help = runProgram(tapPath(), {"lorvane-tap", "--help"}, {}, noDisplay());
  EXPECT_EQ(help.out.rfind("Usage: lorvane-tap ", 0), 0u) << help.out;
  EXPECT_EQ(help.exit.code, 0);
  for (std::vector<std::string> argv :
       {std::vector<std::string>{"lorvane-tap", "--version", "--windows"},
        {"lorvane-tap", "--windows", "--help"}}) {
    const auto r = runProgram(tapPath(), argv, {}, noDisplay());
    EXPECT_EQ(r.out, "[]\n") << argv[1];
    EXPECT_EQ(r.exit.code, 0);
  }
}

}  // namespace
}  // namespace lorvane
