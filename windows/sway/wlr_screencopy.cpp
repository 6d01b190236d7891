#include "windows/sway/wlr_screencopy.h"

#include <endian.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "windows/sway/wayland_session.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace lorvane {
namespace {

using OutputPtr = WaylandPtr<wl_output, wl_output_destroy>;
using XdgOutputPtr = WaylandPtr<zxdg_output_v1, zxdg_output_v1_destroy>;

struct Output {
  OutputPtr proxy;
  XdgOutputPtr xdg;
  std::string name;
};

// The globals this capture binds, filled by the registry's announcements.
struct Globals {
  WaylandPtr<wl_shm, wl_shm_destroy> shm;
  WaylandPtr<zwlr_screencopy_manager_v1, zwlr_screencopy_manager_v1_destroy> screencopy;
  WaylandPtr<zxdg_output_manager_v1, zxdg_output_manager_v1_destroy> xdgOutputs;
  std::vector<std::unique_ptr<Output>> outputs;
};

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

template <typename... Args>
void ignore(Args...) {}

// wl_output version 4 tells its name; older ones through xdg-output.
const wl_output_listener kOutputListener{
    .geometry = ignore<void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                       const char*, int32_t>,
    .mode = ignore<void*, wl_output*, uint32_t, int32_t, int32_t, int32_t>,
    .done = ignore<void*, wl_output*>,
    .scale = ignore<void*, wl_output*, int32_t>,
    .name = [](void* data, wl_output*,
               const char* name) { static_cast<Output*>(data)->name = name; },
    .description = ignore<void*, wl_output*, const char*>,
};

const zxdg_output_v1_listener kXdgOutputListener{
    .logical_position = ignore<void*, zxdg_output_v1*, int32_t, int32_t>,
    .logical_size = ignore<void*, zxdg_output_v1*, int32_t, int32_t>,
    .done = ignore<void*, zxdg_output_v1*>,
    .name =
        [](void* data, zxdg_output_v1*, const char* name) {
          auto* output = static_cast<Output*>(data);
          if (output->name.empty()) output->name = name;
        },
    .description = ignore<void*, zxdg_output_v1*, const char*>,
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
  auto& g = *static_cast<Globals*>(data);
  const std::string_view kind(interface);
  if (kind == wl_shm_interface.name) {
    g.shm.reset(bind<wl_shm>(registry, name, &wl_shm_interface, version, 1));
  } else if (kind == zwlr_screencopy_manager_v1_interface.name) {
    g.screencopy.reset(bind<zwlr_screencopy_manager_v1>(
        registry, name, &zwlr_screencopy_manager_v1_interface, version, 3));
  } else if (kind == zxdg_output_manager_v1_interface.name) {
    g.xdgOutputs.reset(bind<zxdg_output_manager_v1>(registry, name,
                                                    &zxdg_output_manager_v1_interface, version, 2));
  } else if (kind == wl_output_interface.name) {
    auto output = std::make_unique<Output>();
    output->proxy.reset(bind<wl_output>(registry, name, &wl_output_interface, version, 4));
    wl_output_add_listener(output->proxy.get(), &kOutputListener, output.get());
    g.outputs.push_back(std::move(output));
  }
}

const wl_registry_listener kRegistryListener{onGlobal, ignore<void*, wl_registry*, uint32_t>};

// What the compositor says about the frame it is asked for.
struct Frame {
  std::optional<uint32_t> format;  // the wl_shm format it offers
  uint32_t width = 0, height = 0, stride = 0;
  bool described = false;  // every buffer kind has been offered
  uint32_t flags = 0;
  bool ready = false, failed = false;
};

const zwlr_screencopy_frame_v1_listener kFrameListener{
    .buffer =
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
           uint32_t stride) {
          auto& f = *static_cast<Frame*>(data);
          f.format = format;
          f.width = width;
          f.height = height;
          f.stride = stride;
        },
    .flags = [](void* data, zwlr_screencopy_frame_v1*,
                uint32_t flags) { static_cast<Frame*>(data)->flags = flags; },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t,
                uint32_t) { static_cast<Frame*>(data)->ready = true; },
    .failed = [](void* data,
                 zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; },
    .damage = ignore<void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t>,
    .linux_dmabuf = ignore<void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t>,
    .buffer_done = [](void* data,
                      zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->described = true; },
};

// Shared memory the compositor copies the frame into.
class ShmBuffer {
 public:
  ShmBuffer(wl_shm* shm, const Frame& f) : size_(static_cast<size_t>(f.stride) * f.height) {
    fd_ = memfd_create("lorvane-screencopy", MFD_CLOEXEC);
    if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(size_)) != 0) return;
    void* map = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (map == MAP_FAILED) return;
    data_ = static_cast<const uint8_t*>(map);
    pool_.reset(wl_shm_create_pool(shm, fd_, static_cast<int32_t>(size_)));
    buffer_.reset(wl_shm_pool_create_buffer(pool_.get(), 0, static_cast<int32_t>(f.width),
                                            static_cast<int32_t>(f.height),
                                            static_cast<int32_t>(f.stride), *f.format));
  }
  ~ShmBuffer() {
    buffer_.reset();
    pool_.reset();
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
    if (fd_ >= 0) close(fd_);
  }
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  wl_buffer* buffer() const { return buffer_.get(); }
  const uint8_t* data() const { return data_; }

 private:
  size_t size_;
  int fd_ = -1;
  const uint8_t* data_ = nullptr;
  WaylandPtr<wl_shm_pool, wl_shm_pool_destroy> pool_;
  WaylandPtr<wl_buffer, wl_buffer_destroy> buffer_;
};

// 0x00RRGGBB from the four byte orders of 32-bit shm buffers; nothing for another format.
std::optional<Image> toImage(const Frame& f, const uint8_t* data) {
  const bool rgbFirst = *f.format == WL_SHM_FORMAT_XRGB8888 || *f.format == WL_SHM_FORMAT_ARGB8888;
  const bool bgrFirst = *f.format == WL_SHM_FORMAT_XBGR8888 || *f.format == WL_SHM_FORMAT_ABGR8888;
  if ((!rgbFirst && !bgrFirst) || f.stride < 4 * f.width) return std::nullopt;
  Image image{f.width, f.height, std::vector<uint32_t>(size_t{f.width} * f.height)};
  const bool flip = (f.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
  for (uint32_t y = 0; y < f.height; ++y) {
    const uint8_t* row = data + size_t{flip ? f.height - 1 - y : y} * f.stride;
    uint32_t* out = image.pixels.data() + size_t{y} * f.width;
    for (uint32_t x = 0; x < f.width; ++x) {
      uint32_t p;  // the formats are little-endian: XRGB8888 is B, G, R, X in memory
      std::memcpy(&p, row + 4 * x, 4);
      p = le32toh(p);
      out[x] = rgbFirst ? (p & 0xFFFFFF) : ((p & 0xFF) << 16 | (p & 0xFF00) | ((p >> 16) & 0xFF));
    }
  }
  return image;
}

}  // namespace

Outcome<Image> captureOutputRegion(const std::string& outputName, const LayoutRect& region,
                                   std::chrono::steady_clock::time_point deadline) {
  using Result = Outcome<Image>;
  const auto failed = [&](const std::string& what) {
    return Result::failure("wlr-screencopy of output " + outputName + " failed: " + what);
  };
  WaylandSession session(deadline);
  if (!session) return Result::failure(session.failure());
  Globals globals;
  WaylandPtr<wl_registry, wl_registry_destroy> registry(wl_display_get_registry(session.display()));
  wl_registry_add_listener(registry.get(), &kRegistryListener, &globals);
  if (!session.roundtrip()) return failed(session.failure());
  if (!globals.screencopy)
    return failed("the compositor does not offer zwlr_screencopy_manager_v1");
  if (!globals.shm) return failed("the compositor does not offer wl_shm");
  if (globals.xdgOutputs) {
    for (auto& output : globals.outputs) {
      output->xdg.reset(
          zxdg_output_manager_v1_get_xdg_output(globals.xdgOutputs.get(), output->proxy.get()));
      zxdg_output_v1_add_listener(output->xdg.get(), &kXdgOutputListener, output.get());
    }
  }
  if (!session.roundtrip()) return failed(session.failure());  // the outputs' names
  wl_output* output = nullptr;
  for (const auto& o : globals.outputs) {
    if (o->name == outputName) output = o->proxy.get();
  }
  if (output == nullptr) return failed("no such output");

  Frame info;
  WaylandPtr<zwlr_screencopy_frame_v1, zwlr_screencopy_frame_v1_destroy> frame(
      zwlr_screencopy_manager_v1_capture_output_region(
          globals.screencopy.get(), 0, output, static_cast<int32_t>(region.x),
          static_cast<int32_t>(region.y), static_cast<int32_t>(region.width),
          static_cast<int32_t>(region.height)));
  zwlr_screencopy_frame_v1_add_listener(frame.get(), &kFrameListener, &info);
  // Version 3 ends the offers with buffer_done; older ones offer one shm buffer.
  const bool v3 = zwlr_screencopy_frame_v1_get_version(frame.get()) >= 3;
  if (!session.dispatchUntil(
          [&] { return info.failed || (v3 ? info.described : info.format.has_value()); })) {
    return failed(session.failure());
  }
  if (info.failed) return failed("the compositor refused the region");
  if (!info.format) return failed("the compositor offers no shared-memory buffer");
  if (info.width == 0 || info.height == 0) return failed("the region is empty");
  ShmBuffer shm(globals.shm.get(), info);
  if (shm.buffer() == nullptr) return failed("no shared memory for the frame");
  zwlr_screencopy_frame_v1_copy(frame.get(), shm.buffer());
  if (!session.dispatchUntil([&] { return info.ready || info.failed; })) {
    return failed(session.failure());
  }
  if (info.failed) return failed("the copy failed");
  auto image = toImage(info, shm.data());
  if (!image) return failed("buffer format " + std::to_string(*info.format) + " is not supported");
  return Result::success(std::move(*image));
}

}  // namespace lorvane
