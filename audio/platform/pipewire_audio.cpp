#include "audio/platform/pipewire_audio.h"

#include <sys/stat.h>

#include <cerrno>

#include "audio/platform/pipewire_capture_node.h"
#include "audio/platform/pipewire_session.h"

namespace lorvane::audio {
namespace {

// The tap has no object of its own in PipeWire: it is the session. This id names it.
constexpr AudioObjectID kTapObject = 0x4C540001;
constexpr IOProcID kIOProc = 1;

class LoopLock {
 public:
  explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
  ~LoopLock() { pw_thread_loop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pw_thread_loop* loop_;
};

const std::string* stringAt(const Dictionary& dict, const char* key) {
  const DictValue* value = findKey(dict, key);
  return value ? std::get_if<std::string>(&value->value) : nullptr;
}

}  // namespace

PipeWireAudio::PipeWireAudio() = default;

PipeWireAudio::~PipeWireAudio() {
  if (session_ && node_) {
    LoopLock lock(session_->loop);
    node_->destroy();
  }
}

OSStatus PipeWireAudio::getPropertyData(AudioObjectID object, uint32_t selector,
                                        std::optional<int32_t> pid, PropertyValue& dest) {
  if (selector == kAudioHardwarePropertyTranslatePIDToProcessObject) {
    if (object != kAudioObjectSystemObject || !pid) return -EINVAL;
    struct stat info;
    const std::string path = "/proc/" + std::to_string(*pid);
    if (*pid <= 0 || stat(path.c_str(), &info) != 0) return -ESRCH;
    dest = static_cast<AudioObjectID>(*pid);
    return 0;
  }
  if (!session_) return -ENOTCONN;
  LoopLock lock(session_->loop);
  if (selector == kAudioHardwarePropertyDefaultSystemOutputDevice) {
    if (object != kAudioObjectSystemObject) return -EINVAL;
    const auto sink = session_->defaultSinkId();
    if (!sink) return -ENOENT;
    dest = *sink;
    return 0;
  }
  if (selector == kAudioDevicePropertyDeviceUID) {
    auto it = session_->nodes.find(object);
    if (it == session_->nodes.end() || it->second->name.empty()) return -ENOENT;
    dest = it->second->name;
    return 0;
  }
  if (selector == kAudioTapPropertyFormat) {
    if (object != kTapObject) return -ENOENT;
    AudioStreamBasicDescription format;
    format.mSampleRate = session_->graphRate();
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = 4;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 4;
    format.mChannelsPerFrame = 2;
    format.mBitsPerChannel = 32;
    dest = format;
    return 0;
  }
  return -EINVAL;
}

OSStatus PipeWireAudio::createProcessTap(const TapDescription& desc, AudioObjectID& tapID) {
  if (session_) return -EEXIST;
  auto session = std::make_unique<Session>();
  for (const AudioObjectID process : desc.excludedProcesses) {
    session->excludedPids.push_back(static_cast<int32_t>(process));
  }
  const OSStatus status = session->connect();
  if (status != 0) {
    // The loop thread may be running: leave it be rather than stop it under the failure.
    session.release();
    return status;
  }
  session_ = std::move(session);
  tapUUID_ = desc.uuid;
  tapID = kTapObject;
  return 0;
}

OSStatus PipeWireAudio::destroyProcessTap(AudioObjectID tapID) {
  if (!session_ || tapID != kTapObject) return -ENOENT;
  LoopLock lock(session_->loop);
  session_->dropLinks();
  session_->roundtrip(500);  // the daemon has removed them before we go
  return 0;
}

OSStatus PipeWireAudio::createAggregateDevice(const Dictionary& desc, AudioObjectID& aggID) {
  if (!session_) return -ENODEV;
  if (node_) return -EEXIST;
  // The device is built around our tap: its "taps" list must name it.
  bool hasTap = false;
  if (const DictValue* taps = findKey(desc, "taps")) {
    if (const auto* list = std::get_if<std::vector<Dictionary>>(&taps->value)) {
      for (const Dictionary& tap : *list) {
        const std::string* uid = stringAt(tap, "uid");
        hasTap = hasTap || (uid && *uid == tapUUID_);
      }
    }
  }
  if (!hasTap) return -ENOENT;
  const std::string* name = stringAt(desc, "name");
  const std::string* uid = stringAt(desc, "uid");

  Session& s = *session_;
  LoopLock lock(s.loop);
  auto node = std::make_unique<CaptureNode>();
  node->loop = s.loop;
  node->fallbackRate = s.graphRate();
  OSStatus status = node->create(s.core, name ? *name : "LORVANE-Tap", "LORVANE system audio",
                                 uid ? *uid : "", tapUUID_);
  // Wait until the daemon has given the node its id and its two ports are in the registry.
  timespec deadline{};
  pw_thread_loop_get_time(s.loop, &deadline, 3 * SPA_NSEC_PER_SEC);
  while (status == 0) {
    if (node->state == PW_FILTER_STATE_ERROR) status = -EIO;
    if (s.coreError != 0) status = s.coreError;
    if (status != 0) break;
    const uint32_t id = pw_filter_get_node_id(node->filter);
    if (id != SPA_ID_INVALID && s.captureNodeId != id) {
      s.captureNodeId = id;
      for (const auto& [portId, port] : s.ports) {
        if (port.nodeId == id && !port.output) {
          (port.channel == "FR" ? s.captureRight : s.captureLeft) = portId;
        }
      }
    }
    if (s.captureNodeId != SPA_ID_INVALID && s.captureLeft != SPA_ID_INVALID &&
        s.captureRight != SPA_ID_INVALID) {
      break;
    }
    if (pw_thread_loop_timed_wait_full(s.loop, &deadline) != 0) status = -ETIMEDOUT;
  }
  if (status != 0) {
    node->destroy();
    return status;
  }
  s.reconcile();
  node_ = std::move(node);
  aggID = s.captureNodeId;
  return 0;
}

OSStatus PipeWireAudio::destroyAggregateDevice(AudioObjectID aggID) {
  if (!session_ || !node_ || aggID != session_->captureNodeId) return -ENOENT;
  LoopLock lock(session_->loop);
  node_->destroy();
  session_->roundtrip(500);
  return 0;
}

OSStatus PipeWireAudio::createIOProcID(AudioObjectID device, IOQueue& queue, IOBlock block,
                                       IOProcID& procID) {
  if (!session_ || !node_ || device != session_->captureNodeId) return -ENODEV;
  queue.start(std::move(block));
  node_->queue.store(&queue, std::memory_order_release);
  procID = kIOProc;
  return 0;
}

OSStatus PipeWireAudio::deviceStart(AudioObjectID device, IOProcID procID) {
  if (!session_ || !node_ || device != session_->captureNodeId) return -ENODEV;
  if (procID != kIOProc) return -EINVAL;
  LoopLock lock(session_->loop);
  return pw_filter_set_active(node_->filter, true);
}

}  // namespace lorvane::audio
