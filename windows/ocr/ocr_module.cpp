#include "windows/ocr/ocr_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "build_info.h"

namespace lorvane {
namespace {

class UnavailableRecognizer final : public TextRecognizer {
 public:
  explicit UnavailableRecognizer(std::string why) : why_(std::move(why)) {}
  Outcome<std::vector<TextObservation>> recognize(const Image&) override {
    return Outcome<std::vector<TextObservation>>::failure(why_);
  }

 private:
  std::string why_;
};

class NoPngWriter final : public PngWriter {
 public:
  bool writePng(const Image&, const std::string&) override { return false; }
};

// The module sits beside the executable (the build tree, a parent application's bundle) or,
// in an installed tree, in its private library directory reached from the executable's own
// directory, so a tree that is moved as a whole still finds it. The first that exists wins;
// when neither does, the installed location is the one named in the error.
std::string modulePath() {
  namespace fs = std::filesystem;
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  const fs::path dir =
      n > 0 ? fs::path(std::string(exe, static_cast<size_t>(n))).parent_path() : fs::path(".");
  const fs::path beside = dir / "lorvane-tap-ocr.so";
  std::error_code ec;
  if (fs::exists(beside, ec)) return beside.string();
  return (dir / kModuleDirFromExe / "lorvane-tap-ocr.so").lexically_normal().string();
}

}  // namespace

OcrBackends loadOcrBackends() {
  OcrBackends b;
  const std::string path = modulePath();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto makeRecognizer = reinterpret_cast<decltype(&lorvane_make_recognizer)>(
      handle ? dlsym(handle, "lorvane_make_recognizer") : nullptr);
  auto makePng = reinterpret_cast<decltype(&lorvane_make_png_writer)>(
      handle ? dlsym(handle, "lorvane_make_png_writer") : nullptr);
  if (makeRecognizer == nullptr || makePng == nullptr) {
    const char* why = dlerror();
    b.recognizer = std::make_unique<UnavailableRecognizer>(
        "Tesseract: cannot load the recognition module " + path + ": " +
        (why != nullptr ? why : "entry point missing"));
    b.png = std::make_unique<NoPngWriter>();
    if (handle != nullptr) dlclose(handle);
    return b;
  }
  b.module = std::shared_ptr<void>(handle, [](void* h) { dlclose(h); });
  b.recognizer.reset(makeRecognizer());
  b.png.reset(makePng());
  return b;
}

}  // namespace lorvane
