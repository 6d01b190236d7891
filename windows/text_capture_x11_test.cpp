// Runs under tests/with-x11 (a private Xvfb with openbox): "--ocr" against fixture windows.
#include <gtest/gtest.h>
#include <leptonica/allheaders.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/child_process.h"
#include "tests/support/fixture_windows.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;
using testing::FixtureWindows;

std::string sourceDir() {
  const char* dir = std::getenv("LORVANE_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

// A private folder, removed with the object.
struct TempDir {
  fs::path path;
  TempDir() {
    char name[] = "/tmp/lorvane-ocr-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(path); }
};

// The benchmark's page renderer makes the text windows, so the exact text is known.
fs::path renderPage(const TempDir& dir, const std::string& name) {
  const auto r = testing::runProgram(
      "/usr/bin/python3",
      {"python3", sourceDir() + "/bench/ocr/render.py", dir.path.string(), name});
  EXPECT_EQ(r.exit.code, 0) << r.err;
  return dir.path / (name + ".png");
}

// A plain white PNG of the given size.
fs::path blankPng(const TempDir& dir, int w, int h) {
  const fs::path path = dir.path / ("blank" + std::to_string(w) + "x" + std::to_string(h) + ".png");
  PIX* pix = pixCreate(w, h, 32);
  pixSetAllArbitrary(pix, 0xFFFFFF00);
  pixWrite(path.c_str(), pix, IFF_PNG);
  pixDestroy(&pix);
  return path;
}

struct Reply {
  std::string out, err;
  int code = -1;
};

Reply ocr(std::vector<std::string> argv, testing::ChildOptions options = {}) {
  const auto r = testing::runProgram(testing::tapPath(), std::move(argv), {}, std::move(options));
  return {r.out, r.err, r.exit.code};
}

void expectReply(const Reply& r, const std::string& json) {
  EXPECT_EQ(r.out, json + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
}

// Character error rate in percent, by the benchmark's own measure: over the whole text, or with
// `mode` "--lines" line by line (text that is not in the reference costs nothing).
double errorRate(const TempDir& dir, const fs::path& reference, const std::string& text,
                 const std::string& mode = "--whole") {
  const fs::path hypothesis = dir.path / "hypothesis.txt";
  std::ofstream(hypothesis, std::ios::binary) << text;
  std::vector<std::string> argv{"python3", sourceDir() + "/bench/ocr/cer.py"};
  if (mode == "--lines") argv.push_back(mode);
  argv.insert(argv.end(), {reference.string(), hypothesis.string()});
  const auto r = testing::runProgram("/usr/bin/python3", argv);
  EXPECT_EQ(r.exit.code, 0) << r.err;
  return std::atof(r.out.c_str());
}

// The "text" member of a success reply, with the escapes the reply uses undone.
std::string textOf(const std::string& reply) {
  const std::string key = "\"text\":\"";
  const size_t start = reply.find(key);
  if (start == std::string::npos) return {};
  std::string text;
  for (size_t i = start + key.size(); i < reply.size() && reply[i] != '"'; ++i) {
    if (reply[i] != '\\') {
      text += reply[i];
      continue;
    }
    const char e = reply[++i];
    text += e == 'n' ? '\n' : e == 't' ? '\t' : e;  // the page holds no other escapes
  }
  return text;
}

bool samePixels(const fs::path& a, const fs::path& b) {
  PIX* pa = pixRead(a.c_str());
  PIX* pb = pixRead(b.c_str());
  l_int32 same = 0;
  if (pa != nullptr && pb != nullptr) pixEqual(pa, pb, &same);
  pixDestroy(&pa);
  pixDestroy(&pb);
  return same == 1;
}

TEST(TextCapture, WithoutAUsableDisplayTheReplyIsScreenAccess) {
  for (const char* display : {static_cast<const char*>(nullptr), ":65000"}) {
    testing::ChildOptions options;
    options.env["DISPLAY"] = display ? std::optional<std::string>(display) : std::nullopt;
    expectReply(ocr({"lorvane-tap", "--ocr", "--exclude-pid=1"}, options),
                R"({"error":"screen-access"})");
  }
}

TEST(TextCapture, AParentThatStopsReadingStillGetsStatusZero) {
  testing::ChildOptions options;
  options.drainStdout = false;
  testing::ChildProcess child(testing::tapPath(), {"lorvane-tap", "--ocr"}, options);
  child.closeStdout();  // long before the reply: the helper first talks to the X server
  const testing::ExitInfo exit = child.wait(std::chrono::seconds(30));
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.code, 0);
  EXPECT_EQ(exit.signal, 0);
  EXPECT_EQ(child.err(), "");
}

TEST(TextCapture, NothingToReadIsNoWindow) {
  expectReply(ocr({"lorvane-tap", "--ocr"}), R"({"error":"no-window"})");
  // Windows too small, or of another kind, do not qualify either.
  TempDir dir;
  FixtureWindows small(
      "title=small\tclass=Small\tw=200\th=500\n"
      "title=flat\tclass=Flat\tw=500\th=120\n"
      "title=tool\tclass=Tool\ttype=utility\tw=500\th=500\n");
  ASSERT_TRUE(small.ready()) << small.error();
  expectReply(ocr({"lorvane-tap", "--ocr"}), R"({"error":"no-window"})");
}

TEST(TextCapture, ExcludedProcessesAreSkippedTheFirstElementIncluded) {
  TempDir dir;
  const std::string blank = blankPng(dir, 240, 150).string();
  FixtureWindows back("title=back/one\tclass=Back\tbackground=" + blank + "\n");
  ASSERT_TRUE(back.ready()) << back.error();
  FixtureWindows front("title=front\tclass=Front\tbackground=" + blank + "\n");
  ASSERT_TRUE(front.ready()) << front.error();
  const std::string skipFront = "--exclude-pid=" + std::to_string(front.pid());
  const std::string skipBack = "--exclude-pid=" + std::to_string(back.pid());

  expectReply(ocr({"lorvane-tap", "--ocr"}), R"({"app":"Front","title":"front","text":""})");
  expectReply(ocr({"lorvane-tap", "--ocr", "--exclude-pid=x", skipFront}),
              R"({"app":"Back","title":"back\/one","text":""})");
  expectReply(ocr({skipFront, "--ocr", skipBack}), R"({"error":"no-window"})");
}

// The parent's windows are never read: here the parent is the fixture program itself. The
// shell starts the reader in the background and then becomes the fixture, so the reader's
// parent is the process that owns the front window.
TEST(TextCapture, TheParentsWindowsAreSkipped) {
  TempDir dir;
  const std::string blank = blankPng(dir, 240, 150).string();
  FixtureWindows other("title=other\tclass=Other\tbackground=" + blank + "\n");
  ASSERT_TRUE(other.ready()) << other.error();
  const fs::path layout = dir.path / "parent.layout", fifo = dir.path / "ready";
  std::ofstream(layout) << "title=parent\tclass=Parent\tbackground=" << blank << "\n";
  const std::string script =
      "mkfifo \"$3\" || exit 1; { read -r line < \"$3\"; exec \"$1\" --ocr; } & "
      "exec \"$2\" \"$4\" > \"$3\"";
  testing::ChildProcess shell(
      "/bin/sh", {"sh", "-c", script, "sh", testing::tapPath(), testing::fixtureWindowsPath(),
                  fifo.string(), layout.string()});
  ASSERT_TRUE(shell.waitForOutBytes(1, std::chrono::seconds(30)));
  // The reply arrives in one write; give the line feed its own moment.
  for (int i = 0; i < 100 && shell.out().find('\n') == std::string::npos; ++i) usleep(10000);
  EXPECT_EQ(shell.out(), "{\"app\":\"Other\",\"title\":\"other\",\"text\":\"\"}\n");
  shell.closeStdin();
  shell.wait(std::chrono::seconds(10));
}

TEST(TextCapture, ReadsATextWindowAndSavesWhatItCaptured) {
  TempDir dir;
  const fs::path page = renderPage(dir, "light15");
  FixtureWindows window("title=日本語 notes\tclass=Editor\tbackground=" + page.string() + "\n");
  ASSERT_TRUE(window.ready()) << window.error();
  const fs::path saved = dir.path / "saved.png";

  const Reply r = ocr({"lorvane-tap", "--ocr", "--save=" + saved.string(),
                       "--save=" + (dir.path / "second.png").string()});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind(R"({"app":"Editor","title":"日本語 notes","text":")", 0), 0u) << r.out;
  EXPECT_LE(errorRate(dir, dir.path / "light15.txt", textOf(r.out)), 1.0) << r.out;
  EXPECT_TRUE(samePixels(saved, page));
  EXPECT_FALSE(fs::exists(dir.path / "second.png"));
}

// xterm showing a text of the benchmark, until the object goes; the window is listed and drawn.
class Terminal {
 public:
  Terminal(const std::string& title, const std::string& text, std::vector<std::string> fonts) {
    std::vector<std::string> argv{"xterm", "-title", title, "-geometry", "80x11"};
    argv.insert(argv.end(), fonts.begin(), fonts.end());
    argv.insert(argv.end(),
                {"-e", "sh", "-c", R"(printf "\033[?25l"; cat "$1"; exec sleep 600)", "sh", text});
    testing::ChildOptions options;
    options.env["LC_ALL"] = "C.UTF-8";
    xterm_.emplace("/usr/bin/xterm", argv, options);
    for (int i = 0; i < 300 && !listed_; ++i) {
      listed_ =
          ocr({"lorvane-tap", "--windows"}).out.find("\"title\":\"" + title) != std::string::npos;
      if (!listed_) usleep(100000);
    }
    usleep(500000);  // the text follows the window
  }
  ~Terminal() {
    xterm_->signal(SIGTERM);
    xterm_->wait(std::chrono::seconds(10));
  }
  bool listed() const { return listed_; }
  std::string err() { return xterm_->err(); }

 private:
  std::optional<testing::ChildProcess> xterm_;
  bool listed_ = false;
};

// Real windows, one per kind of font: xterm's default bitmap font ("fixed", 6x13; its full stop
// reaches below the baseline) and TrueType fonts with Japanese. Every line comes back with at
// most 2 % of its characters wrong, and English full stops stay ".".
TEST(TextCapture, ReadsTerminalsInBitmapAndTrueTypeFonts) {
  TempDir dir;
  const std::string texts = sourceDir() + "/bench/ocr/apps/";
  {
    Terminal bitmap("bitmap", texts + "terminal-en.txt", {});
    ASSERT_TRUE(bitmap.listed()) << bitmap.err();
    const Reply r = ocr({"lorvane-tap", "--ocr"});
    const std::string text = textOf(r.out);
    EXPECT_LE(errorRate(dir, texts + "terminal-en.txt", text, "--lines"), 2.0) << r.out;
    EXPECT_EQ(text.find("\xe3\x80\x82"), std::string::npos) << r.out;  // 。
    EXPECT_NE(text.find("Friday at 10:30 in room 4B.\n"), std::string::npos) << r.out;
  }
  Terminal trueType("truetype", texts + "terminal-mixed.txt",
                    {"-fa", "DejaVu Sans Mono", "-fd", "Noto Sans Mono CJK JP", "-fs", "11"});
  ASSERT_TRUE(trueType.listed()) << trueType.err();
  const Reply r = ocr({"lorvane-tap", "--ocr"});
  EXPECT_LE(errorRate(dir, texts + "terminal-mixed.txt", textOf(r.out), "--lines"), 2.0) << r.out;
}

// Without its models the recognizer fails: the reply says so in Tesseract's words, stderr
// stays empty, and the PNG copy has been written all the same.
TEST(TextCapture, RecognitionFailureIsAnErrorReplyAfterTheSave) {
  TempDir dir;
  const fs::path page = blankPng(dir, 320, 200);
  FixtureWindows window("title=t\tclass=C\tbackground=" + page.string() + "\n");
  ASSERT_TRUE(window.ready()) << window.error();
  const fs::path saved = dir.path / "saved.png";
  testing::ChildOptions options;
  options.env["TESSDATA_PREFIX"] = (dir.path / "no-models").string();
  const Reply r = ocr({"lorvane-tap", "--ocr", "--save=" + saved.string()}, options);
  EXPECT_EQ(r.out.rfind(R"({"error":"Tesseract: cannot load the language model \"jpn\": )", 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find("no-models"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(samePixels(saved, page));
}

// A copy of the executable without the recognition module beside it still answers, with an
// error that names the module.
TEST(TextCapture, WithoutTheRecognitionModuleTheReplySaysSo) {
  TempDir dir;
  const fs::path page = blankPng(dir, 320, 200);
  FixtureWindows window("title=t\tclass=C\tbackground=" + page.string() + "\n");
  ASSERT_TRUE(window.ready()) << window.error();
  const fs::path lone = dir.path / "lorvane-tap";
  fs::copy_file(testing::tapPath(), lone);
  const auto r = testing::runProgram(lone.string(), {"lorvane-tap", "--ocr"});
  EXPECT_EQ(r.out.rfind(R"({"error":"Tesseract: cannot load the recognition module )", 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find("lorvane-tap-ocr.so"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit.code, 0);
}

// Covered by a window of an excluded process, and partly off-screen: still captured whole.
TEST(TextCapture, ACoveredWindowIsCapturedWhole) {
  TempDir dir;
  const fs::path page = renderPage(dir, "light15");
  FixtureWindows text("title=covered\tclass=Reader\tx=1000\ty=500\tbackground=" + page.string() +
                      "\n");
  ASSERT_TRUE(text.ready()) << text.error();
  FixtureWindows cover("title=cover\tclass=Cover\tx=1100\ty=550\tw=600\th=400\n");
  ASSERT_TRUE(cover.ready()) << cover.error();
  const fs::path saved = dir.path / "saved.png";
  const fs::path nowhere = dir.path / "missing" / "x.png";

  const Reply r = ocr({"lorvane-tap", "--ocr", "--save=" + saved.string(),
                       "--exclude-pid=" + std::to_string(cover.pid())});
  EXPECT_EQ(r.out.rfind(R"({"app":"Reader","title":"covered","text":")", 0), 0u) << r.out;
  EXPECT_TRUE(samePixels(saved, page));
  // A --save= path that cannot be written changes nothing in the reply.
  const Reply again = ocr({"lorvane-tap", "--save=" + nowhere.string(), "--ocr",
                           "--exclude-pid=" + std::to_string(cover.pid())});
  expectReply(again, r.out.substr(0, r.out.size() - 1));
  EXPECT_FALSE(fs::exists(nowhere));
}

}  // namespace
}  // namespace lorvane
