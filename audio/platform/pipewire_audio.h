#pragma once

#include <memory>

#include "audio/audio_platform.h"

namespace lorvane::audio {

class PipeWireSession;

/// The audio operations on PipeWire (libpipewire-0.3).
///
/// - process object of a pid: the pid itself while /proc/<pid> exists;
/// - tap: a connection with a registry watcher that links the output ports of every
///   application playback stream not owned by an excluded process (or a descendant of one)
///   into the capture node, streams that start later included;
/// - default system output device: the default sink ("default" metadata); its UID is its
///   node.name;
/// - aggregate device: the capture node, a pw_filter "LORVANE-Tap" with inputs FL and FR
///   that stays scheduled with nothing linked (node.always-process), so silence flows;
/// - tap format: 32-bit float, 2 channels, non-interleaved, at the graph rate;
/// - IO proc: the node's real-time callback copies each cycle into the IO queue, whose
///   thread runs the block;
/// - once started, the capture outlives the daemon: silence at real-time pace while it is gone,
///   then a new capture node with every stream linked again (PipeWireSession).
/// No thread is started before createProcessTap().
class PipeWireAudio : public AudioPlatform {
 public:
  PipeWireAudio();
  ~PipeWireAudio() override;

  OSStatus getPropertyData(AudioObjectID object, uint32_t selector,
                           std::optional<int32_t> pidQualifier, PropertyData& dest) override;
  OSStatus createProcessTap(const TapDescription& desc, AudioObjectID& tapID) override;
  OSStatus destroyProcessTap(AudioObjectID tapID) override;
  OSStatus createAggregateDevice(const Dictionary& desc, AudioObjectID& aggID) override;
  OSStatus destroyAggregateDevice(AudioObjectID aggID) override;
  OSStatus createIOProcID(AudioObjectID device, IOQueue& queue, IOBlock block,
                          IOProcID& procID) override;
  OSStatus deviceStart(AudioObjectID device, IOProcID procID) override;

 private:
  std::unique_ptr<PipeWireSession> session_;
  std::string tapUUID_;
  AudioObjectID aggID_ = 0;  // the id given out; the node's own id changes on a reconnect
  IOQueue* queue_ = nullptr;
};

}  // namespace lorvane::audio
