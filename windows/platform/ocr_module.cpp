#include "windows/platform/ocr_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

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

// The module sits beside the executable.
std::string modulePath() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
  return dir + "/lorvane-tap-ocr.so";
}

}  // namespace

OcrBackends loadOcrBackends() {
  OcrBackends b;
  const std::string path = modulePath();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto makeRecognizer =
      handle ? reinterpret_cast<MakeRecognizerFn*>(dlsym(handle, kMakeRecognizerSymbol)) : nullptr;
  auto makePng =
      handle ? reinterpret_cast<MakePngWriterFn*>(dlsym(handle, kMakePngWriterSymbol)) : nullptr;
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
