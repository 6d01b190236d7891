// The capture task's step sequence against doubles for the paths that a real display and
// recognizer cannot be made to take on demand: failing calls and odd values.
#include "windows/ocr_task.h"

#include <gtest/gtest.h>

#include <limits>

namespace lorvane {
namespace {

class FakeWindows final : public WindowSystem {
 public:
  Outcome<std::vector<CapturableWindow>> content =
      Outcome<std::vector<CapturableWindow>>::success({});
  Outcome<WindowCapture> image = Outcome<WindowCapture>::success(Image{2, 1, {0xFFFFFF, 0}});
  std::vector<std::pair<int64_t, int64_t>> captures;

  std::vector<WindowInfo> readWindowList() override { return {}; }
  bool preflightScreenCapture() override { return true; }
  void requestScreenCapture() override {}
  Outcome<std::vector<CapturableWindow>> shareableContent() override { return content; }
  Outcome<WindowCapture> captureWindow(const CapturableWindow&, int64_t w, int64_t h) override {
    captures.emplace_back(w, h);
    return image;
  }
};

class FakeRecognizer final : public TextRecognizer {
 public:
  Outcome<std::vector<TextObservation>> result = Outcome<std::vector<TextObservation>>::success({});
  int calls = 0;
  Outcome<std::vector<TextObservation>> recognize(const Image&) override {
    ++calls;
    return result;
  }
};

class FakePng final : public PngWriter {
 public:
  std::vector<std::string> paths;
  bool writePng(const Image&, const std::string& path) override {
    paths.push_back(path);
    return false;  // whether it worked must not matter
  }
};

CapturableWindow capturable(uint32_t id, double w = 300.6, double h = 200.2, float scale = 1) {
  return CapturableWindow{id, "Editor", "notes / today", w, h, scale};
}

struct Harness {
  FakeWindows windows;
  FakeRecognizer recognizer;
  FakePng png;
  JsonObject run(uint32_t target, std::vector<const char*> argv = {"lorvane-tap", "--ocr"}) {
    return ocrReply(target, ArgList(argv.data(), argv.size()),
                    OcrServices{windows, recognizer, png});
  }
};

std::string error(std::string text) {
  return toJson(errorReply(std::move(text)));
}

TEST(OcrReply, ShareableContentFailureComesBeforeTheWindowSearch) {
  Harness h;
  h.windows.content = Outcome<std::vector<CapturableWindow>>::failure("X11: cannot open display");
  EXPECT_EQ(toJson(h.run(0)), error("X11: cannot open display"));
  EXPECT_EQ(toJson(h.run(5)), error("X11: cannot open display"));
  EXPECT_TRUE(h.windows.captures.empty());
}

TEST(OcrReply, NoWindowForZeroOrAnUnknownNumber) {
  Harness h;
  h.windows.content.value().push_back(capturable(5));
  EXPECT_EQ(toJson(h.run(0)), error("no-window"));
  EXPECT_EQ(toJson(h.run(6)), error("no-window"));
  EXPECT_TRUE(h.windows.captures.empty());
}

TEST(OcrReply, CapturesAtFullPixelSizeTruncatedTowardZero) {
  Harness h;
  h.windows.content.value().push_back(capturable(4));
  h.windows.content.value().push_back(capturable(5, 300.6, -200.2, 2.0f));
  h.windows.content.value().push_back(capturable(5, 1, 1));  // only the first match counts
  h.run(5);
  ASSERT_EQ(h.windows.captures.size(), 1u);
  EXPECT_EQ(h.windows.captures[0], (std::pair<int64_t, int64_t>{601, 400}));
}

TEST(OcrReply, UnrepresentableSizesAreAnErrorNotACapture) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [w, h, scale] : {std::tuple{nan, 100.0, 1.0f},
                             {100.0, inf, 1.0f},
                             {1e300, 100.0, 1.0f},
                             {100.0, 100.0, nan}}) {
    Harness harness;
    harness.windows.content.value().push_back(capturable(9, w, h, scale));
    const JsonObject reply = harness.run(9);
    ASSERT_EQ(reply.members.size(), 1u);
    EXPECT_EQ(reply.members[0].first, "error");
    EXPECT_NE(reply.members[0].second.find("window 9"), std::string::npos);
    EXPECT_TRUE(harness.windows.captures.empty());
  }
}

TEST(OcrReply, CaptureFailureIsReportedWithoutSavingOrRecognizing) {
  Harness h;
  h.windows.content.value().push_back(capturable(5));
  h.windows.image = Outcome<WindowCapture>::failure("X11: GetImage of window 0x5 failed: BadMatch");
  EXPECT_EQ(toJson(h.run(5, {"x", "--ocr", "--save=/tmp/a.png"})),
            error("X11: GetImage of window 0x5 failed: BadMatch"));
  // A window that went during the capture is no window at all.
  h.windows.image = Outcome<WindowCapture>::success(std::nullopt);
  EXPECT_EQ(toJson(h.run(5, {"x", "--ocr", "--save=/tmp/a.png"})), error("no-window"));
  EXPECT_TRUE(h.png.paths.empty());
  EXPECT_EQ(h.recognizer.calls, 0);
}

TEST(OcrReply, FirstSaveArgumentIsWrittenEvenWhenRecognitionFails) {
  Harness h;
  h.windows.content.value().push_back(capturable(5));
  h.recognizer.result = Outcome<std::vector<TextObservation>>::failure("Tesseract: no models");
  EXPECT_EQ(toJson(h.run(5, {"--save=first.png", "--ocr", "--save=second.png"})),
            error("Tesseract: no models"));
  EXPECT_EQ(h.png.paths, (std::vector<std::string>{"first.png"}));

  Harness empty;
  empty.windows.content.value().push_back(capturable(5));
  empty.run(5, {"x", "--ocr", "--save="});
  EXPECT_EQ(empty.png.paths, (std::vector<std::string>{""}));
  Harness none;
  none.windows.content.value().push_back(capturable(5));
  none.run(5, {"x", "--ocr", "--saved=x.png"});
  EXPECT_TRUE(none.png.paths.empty());
}

TEST(OcrReply, SuccessNamesTheCapturedWindowAndReadsInOrder) {
  Harness h;
  h.windows.content.value().push_back(capturable(5));
  h.recognizer.result = Outcome<std::vector<TextObservation>>::success(
      {TextObservation{{0.1, 0.2, 0.5, 0.05}, "second"},
       TextObservation{{0.1, 0.6, 0.5, 0.05}, std::nullopt},
       TextObservation{{0.1, 0.8, 0.5, 0.05}, "first"}});
  EXPECT_EQ(toJson(h.run(5)),
            toJson(JsonObject{
                {{"app", "Editor"}, {"title", "notes / today"}, {"text", "first\nsecond"}}}));
  EXPECT_EQ(h.recognizer.calls, 1);

  Harness bare;
  bare.windows.content.value().push_back(
      CapturableWindow{5, std::nullopt, std::nullopt, 300, 200, 1});
  EXPECT_EQ(toJson(bare.run(5)), toJson(JsonObject{{{"app", ""}, {"title", ""}, {"text", ""}}}));
}

}  // namespace
}  // namespace lorvane
