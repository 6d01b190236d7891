#include "audio/platform/pipewire_capture_node.h"

#include <algorithm>
#include <cerrno>

namespace lorvane::audio {
namespace {

// Real-time thread: no allocation, no lock, no blocking call. It only hands the two input
// buffers to the IO queue. A buffer is read only within its chunk, clamped to the mapped size;
// what a port lacks of the cycle counts as silence.
void handOver(CaptureNode& self, IOQueue& queue, const spa_io_position& position,
              pw_buffer* const (&buffers)[2]) {
  self.lastCycleNs.store(monotonicNs(), std::memory_order_relaxed);
  const uint32_t frames = static_cast<uint32_t>(position.clock.duration);
  const double rate =
      position.clock.rate.denom > 0 ? double(position.clock.rate.denom) : self.fallbackRate;
  const float* channels[2] = {nullptr, nullptr};
  uint32_t valid[2] = {0, 0};
  for (int c = 0; c < 2; ++c) {
    if (buffers[c] == nullptr || buffers[c]->buffer->n_datas < 1) continue;
    const spa_data& d = buffers[c]->buffer->datas[0];
    if (d.data == nullptr || d.chunk == nullptr) continue;
    const uint32_t offset = std::min(d.chunk->offset, d.maxsize);
    const uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
    channels[c] = reinterpret_cast<const float*>(static_cast<const uint8_t*>(d.data) + offset);
    valid[c] = size / sizeof(float);
  }
  queue.push(channels, 2, frames, rate, valid);
}

// Every buffer the filter hands over goes back to it in the same cycle, whether or not a queue
// takes the audio yet (the node runs before the device starts, and while an outage detaches
// it). An input port fed by links holds one buffer, its mixer's output: left out once, it never
// returns to the mixer, and the port stays silent for good while the links look healthy.
void onProcess(void* data, spa_io_position* position) {
  auto* self = static_cast<CaptureNode*>(data);
  pw_buffer* buffers[2] = {nullptr, nullptr};
  for (int c = 0; c < 2; ++c) buffers[c] = pw_filter_dequeue_buffer(self->ports[c]);
  IOQueue* queue = self->queue.load(std::memory_order_acquire);
  if (queue != nullptr && position != nullptr) handOver(*self, *queue, *position, buffers);
  for (int c = 0; c < 2; ++c) {
    if (buffers[c] != nullptr) pw_filter_queue_buffer(self->ports[c], buffers[c]);
  }
}

const pw_filter_events kFilterEvents = [] {
  pw_filter_events events{};
  events.version = PW_VERSION_FILTER_EVENTS;
  events.process = onProcess;
  return events;
}();

}  // namespace

OSStatus CaptureNode::create(pw_core* core, const CaptureNodeNames& names) {
  pw_properties* props = pw_properties_new(
      PW_KEY_NODE_NAME, names.name.c_str(), PW_KEY_NODE_DESCRIPTION, names.description.c_str(),
      PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "DSP",
      // No media.class and no autoconnect: the session manager leaves the node alone.
      PW_KEY_NODE_AUTOCONNECT, "false",
      // Keeps the node scheduled (on the dummy driver) while nothing is linked: silence flows.
      PW_KEY_NODE_ALWAYS_PROCESS, "true",
      // Asks for nothing shorter than the default cycle; fewer wake-ups when alone.
      PW_KEY_NODE_LATENCY, "2048/48000", "lorvane.uid", names.uid.c_str(), "lorvane.tap.uuid",
      names.tapUUID.c_str(), nullptr);
  filter = pw_filter_new(core, names.name.c_str(), props);
  if (filter == nullptr) return errno ? -errno : -ENOMEM;
  pw_filter_add_listener(filter, &listener, &kFilterEvents, this);

  static const char* const kChannels[2] = {"FL", "FR"};
  for (int c = 0; c < 2; ++c) {
    const std::string portName = std::string("input_") + kChannels[c];
    ports[c] = pw_filter_add_port(
        filter, PW_DIRECTION_INPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
        pw_properties_new(PW_KEY_FORMAT_DSP, "32 bit float mono audio", PW_KEY_PORT_NAME,
                          portName.c_str(), PW_KEY_AUDIO_CHANNEL, kChannels[c], nullptr),
        nullptr, 0);
    if (ports[c] == nullptr) return errno ? -errno : -ENOMEM;
  }
  // Without the real-time flag the callback runs on the loop thread and misses cycles.
  const int res = pw_filter_connect(
      filter, static_cast<pw_filter_flags>(PW_FILTER_FLAG_RT_PROCESS | PW_FILTER_FLAG_INACTIVE),
      nullptr, 0);
  return res < 0 ? res : 0;
}

pw_loop* CaptureNode::dataLoop(pw_context* context) const {
#if PW_CHECK_VERSION(1, 1, 0)
  if (pw_loop* loop = pw_filter_get_data_loop(filter)) return loop;
#endif
  return pw_data_loop_get_loop(pw_context_get_data_loop(context));
}

CaptureNode::~CaptureNode() {
  if (filter == nullptr) return;
  spa_hook_remove(&listener);
  pw_filter_destroy(filter);
}

}  // namespace lorvane::audio
