#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace lorvane::audio {

/// An audio object: a process, the tap, a device. 0 means none.
using AudioObjectID = uint32_t;
/// 0 for success; a failure is a negative errno.
using OSStatus = int32_t;
/// Names the callback registered on a device; 0 means none.
using IOProcID = uint32_t;

/// A stream format in its 40-byte wire shape, as the parent already knows it.
struct AudioStreamBasicDescription {
  double mSampleRate = 0;
  uint32_t mFormatID = 0;
  uint32_t mFormatFlags = 0;
  uint32_t mBytesPerPacket = 0;
  uint32_t mFramesPerPacket = 0;
  uint32_t mBytesPerFrame = 0;
  uint32_t mChannelsPerFrame = 0;
  uint32_t mBitsPerChannel = 0;
  uint32_t mReserved = 0;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

constexpr uint32_t fourCC(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
         uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

inline constexpr AudioObjectID kAudioObjectSystemObject = 1;
inline constexpr uint32_t kAudioHardwarePropertyTranslatePIDToProcessObject = fourCC("id2p");
inline constexpr uint32_t kAudioHardwarePropertyDefaultSystemOutputDevice = fourCC("sOut");
inline constexpr uint32_t kAudioDevicePropertyDeviceUID = fourCC("uid ");
inline constexpr uint32_t kAudioTapPropertyFormat = fourCC("tfmt");

inline constexpr uint32_t kAudioFormatLinearPCM = fourCC("lpcm");
inline constexpr uint32_t kAudioFormatFlagIsFloat = 1;
inline constexpr uint32_t kAudioFormatFlagIsBigEndian = 2;
inline constexpr uint32_t kAudioFormatFlagIsSignedInteger = 4;
inline constexpr uint32_t kAudioFormatFlagIsPacked = 8;
inline constexpr uint32_t kAudioFormatFlagIsNonInterleaved = 32;

inline constexpr uint32_t kCATapUnmuted = 0;

/// The value of one property read: an object id, a string, or a stream format.
using PropertyData = std::variant<AudioObjectID, std::string, AudioStreamBasicDescription>;

/// What the tap captures: a stereo mix of every process but the excluded ones.
struct TapDescription {
  std::vector<AudioObjectID> excludedProcesses;
  std::string uuid;
  uint32_t muteBehavior = kCATapUnmuted;
  bool isPrivate = false;
  std::string name;
};

/// A description dictionary: string keys, values that are strings, Booleans or lists of
/// dictionaries. Keys keep the order they were added in.
struct DictValue;
using Dictionary = std::vector<std::pair<std::string, DictValue>>;
struct DictValue {
  std::variant<std::string, bool, std::vector<Dictionary>> value;
};

/// Looks a key up; nullptr when it is absent.
inline const DictValue* findKey(const Dictionary& dict, const std::string& key) {
  for (const auto& [name, value] : dict) {
    if (name == key) return &value;
  }
  return nullptr;
}

/// One captured block as the capture callback receives it (the input buffer list): `frames`
/// frames of `channelCount` 32-bit float channels, planar unless `interleaved` (then
/// channels[0] holds all samples), at `sampleRate`. Valid only during the call.
struct AudioBufferList {
  const float* const* channels = nullptr;
  uint32_t channelCount = 0;
  uint32_t frames = 0;
  double sampleRate = 0;
  bool interleaved = false;
};

/// The capture callback; runs on the serial queue, one call at a time.
using IOBlock = std::function<void(const AudioBufferList& input)>;

/// The serial queue an IO proc runs on, as the sound system sees it: its real-time callback
/// hands each graph cycle over with push(), and the queue's own thread runs the block.
class IOQueue {
 public:
  /// Starts the queue's thread, which runs `block` for the cycles pushed. A failure status (a
  /// negative errno) means no block will ever run.
  virtual OSStatus start(IOBlock block) = 0;
  /// Real-time side: one cycle of `frames` frames in `channelCount` planar channels at
  /// `rate`. Missing channels count as silence, extra ones are ignored; with `valid`, channel
  /// c holds only valid[c] frames and silence follows. Never allocates, locks or waits.
  virtual void push(const float* const* channels, uint32_t channelCount, uint32_t frames,
                    double rate, const uint32_t* valid = nullptr) noexcept = 0;

 protected:
  ~IOQueue() = default;
};

/// The operations audio capture needs from the sound system. Every call returns a status;
/// on failure its out-parameter is left as it was.
class AudioPlatform {
 public:
  virtual ~AudioPlatform() = default;

  /// Reads property `selector` of `object` into `dest`, whose alternative gives the type. With
  /// `pidQualifier` the read is qualified by that process id ('id2p').
  virtual OSStatus getPropertyData(AudioObjectID object, uint32_t selector,
                                   std::optional<int32_t> pidQualifier, PropertyData& dest) = 0;
  /// Creates the process tap; `tapID` receives its id.
  virtual OSStatus createProcessTap(const TapDescription& desc, AudioObjectID& tapID) = 0;
  virtual OSStatus destroyProcessTap(AudioObjectID tapID) = 0;
  /// Creates the aggregate device around the tap from its description dictionary.
  virtual OSStatus createAggregateDevice(const Dictionary& desc, AudioObjectID& aggID) = 0;
  virtual OSStatus destroyAggregateDevice(AudioObjectID aggID) = 0;
  /// Registers `block` so that it runs on `queue` for every captured block once the device
  /// has started; `procID` receives the registration (a success may leave it 0).
  virtual OSStatus createIOProcID(AudioObjectID device, IOQueue& queue, IOBlock block,
                                  IOProcID& procID) = 0;
  /// Starts the device: from here on the registered block runs.
  virtual OSStatus deviceStart(AudioObjectID device, IOProcID procID) = 0;
};

}  // namespace lorvane::audio
