#include "audio/platform/pipewire_audio.h"

#include <sys/stat.h>

#include <cerrno>

#include "audio/platform/pipewire_session.h"

namespace lorvane::audio {
namespace {

// The tap has no object of its own in PipeWire: it is the session. This id names it.
constexpr AudioObjectID kTapObject = 0x4C540001;
constexpr IOProcID kIOProc = 1;

const std::string* stringAt(const Dictionary& dict, const char* key) {
  const DictValue* value = findKey(dict, key);
  return value ? std::get_if<std::string>(&value->value) : nullptr;
}

bool namesTap(const Dictionary& desc, const std::string& tapUUID) {
  const DictValue* taps = findKey(desc, "taps");
  const auto* list = taps ? std::get_if<std::vector<Dictionary>>(&taps->value) : nullptr;
  if (list == nullptr) return false;
  for (const Dictionary& tap : *list) {
    const std::string* uid = stringAt(tap, "uid");
    if (uid && *uid == tapUUID) return true;
  }
  return false;
}

}  // namespace

PipeWireAudio::PipeWireAudio() = default;
PipeWireAudio::~PipeWireAudio() = default;

OSStatus PipeWireAudio::getPropertyData(AudioObjectID object, uint32_t selector,
                                        std::optional<int32_t> pid, PropertyData& dest) {
  if (selector == kAudioHardwarePropertyTranslatePIDToProcessObject) {
    if (object != kAudioObjectSystemObject || !pid) return -EINVAL;
    struct stat info;
    const std::string path = "/proc/" + std::to_string(*pid);
    if (*pid <= 0 || stat(path.c_str(), &info) != 0) return -ESRCH;
    dest = static_cast<AudioObjectID>(*pid);
    return 0;
  }
  if (!session_) return -ENOTCONN;
  if (selector == kAudioHardwarePropertyDefaultSystemOutputDevice) {
    if (object != kAudioObjectSystemObject) return -EINVAL;
    const auto sink = session_->read([](const StreamGraph& graph) { return graph.defaultSink(); });
    if (!sink) return -ENOENT;
    dest = *sink;
    return 0;
  }
  if (selector == kAudioDevicePropertyDeviceUID) {
    std::string name =
        session_->read([&](const StreamGraph& graph) { return graph.nodeName(object); });
    if (name.empty()) return -ENOENT;
    dest = std::move(name);
    return 0;
  }
  if (selector == kAudioTapPropertyFormat) {
    if (object != kTapObject) return -ENOENT;
    dest = AudioStreamBasicDescription{
        .mSampleRate = session_->read([](const StreamGraph& graph) { return graph.graphRate(); }),
        .mFormatID = kAudioFormatLinearPCM,
        .mFormatFlags =
            kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved,
        .mBytesPerPacket = 4,
        .mFramesPerPacket = 1,
        .mBytesPerFrame = 4,
        .mChannelsPerFrame = 2,
        .mBitsPerChannel = 32};
    return 0;
  }
  return -EINVAL;
}

OSStatus PipeWireAudio::createProcessTap(const TapDescription& desc, AudioObjectID& tapID) {
  if (session_) return -EEXIST;
  // A process object is its pid.
  auto session = std::make_unique<PipeWireSession>(
      std::vector<int32_t>(desc.excludedProcesses.begin(), desc.excludedProcesses.end()));
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
  session_->dropLinks();
  return 0;
}

OSStatus PipeWireAudio::createAggregateDevice(const Dictionary& desc, AudioObjectID& aggID) {
  if (!session_) return -ENODEV;
  if (aggID_ != 0) return -EEXIST;
  // The device is built around our tap: its "taps" list must name it.
  if (!namesTap(desc, tapUUID_)) return -ENOENT;
  const std::string* name = stringAt(desc, "name");
  const std::string* uid = stringAt(desc, "uid");
  uint32_t nodeId = 0;
  const OSStatus status = session_->openCaptureNode(
      {name ? *name : "LORVANE-Tap", "LORVANE system audio", uid ? *uid : "", tapUUID_}, nodeId);
  if (status != 0) return status;
  aggID = aggID_ = nodeId;
  return 0;
}

OSStatus PipeWireAudio::destroyAggregateDevice(AudioObjectID aggID) {
  if (!session_ || aggID_ == 0 || aggID != aggID_) return -ENOENT;
  session_->closeCaptureNode();
  return 0;
}

OSStatus PipeWireAudio::createIOProcID(AudioObjectID device, IOQueue& queue, IOBlock block,
                                       IOProcID& procID) {
  if (!session_ || aggID_ == 0 || device != aggID_) return -ENODEV;
  if (const OSStatus status = queue.start(std::move(block)); status != 0) return status;
  queue_ = &queue;
  procID = kIOProc;
  return 0;
}

OSStatus PipeWireAudio::deviceStart(AudioObjectID device, IOProcID procID) {
  if (!session_ || aggID_ == 0 || device != aggID_ || queue_ == nullptr) return -ENODEV;
  if (procID != kIOProc) return -EINVAL;
  return session_->start(*queue_);
}

}  // namespace lorvane::audio
