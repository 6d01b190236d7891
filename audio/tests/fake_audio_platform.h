#pragma once

#include <map>
#include <string>
#include <vector>

#include "audio/audio_platform.h"
#include "report/status_line.h"

namespace lorvane::audio::testing {

/// A sound system whose every step succeeds or fails with a chosen status: for the failure
/// paths a real daemon cannot be made to take on demand. It records each call by name.
class FakeAudioPlatform : public AudioPlatform {
 public:
  // Statuses to return; 0 = success.
  std::map<uint32_t, OSStatus> propStatus;  // by selector
  OSStatus tapStatus = 0, aggregateStatus = 0, ioProcStatus = 0, startStatus = 0;
  bool ioProcGivesId = true;
  std::map<int32_t, AudioObjectID> processes;  // pid -> object
  AudioObjectID device = 57;
  std::string deviceUID = "nullsink";
  AudioStreamBasicDescription format{48000.0, kAudioFormatLinearPCM, 41, 4, 1, 4, 2, 32, 0};

  /// Also writes each destroy call to stderr, so a death test can see the teardown order.
  bool traceDestroys = false;

  std::vector<std::string> calls;
  TapDescription tap;
  Dictionary aggregate;

  OSStatus getPropertyData(AudioObjectID object, uint32_t selector, std::optional<int32_t> pid,
                           PropertyData& dest) override {
    calls.push_back("get " + std::to_string(selector) + " " + std::to_string(object));
    if (auto it = propStatus.find(selector); it != propStatus.end() && it->second != 0) {
      return it->second;
    }
    if (selector == kAudioHardwarePropertyTranslatePIDToProcessObject) {
      auto it = processes.find(pid.value_or(0));
      if (it == processes.end()) return -3;  // ESRCH
      dest = it->second;
    } else if (selector == kAudioHardwarePropertyDefaultSystemOutputDevice) {
      dest = device;
    } else if (selector == kAudioDevicePropertyDeviceUID) {
      if (object != device) return -2;
      dest = deviceUID;
    } else if (selector == kAudioTapPropertyFormat) {
      dest = format;
    }
    return 0;
  }
  OSStatus createProcessTap(const TapDescription& desc, AudioObjectID& tapID) override {
    calls.push_back("createTap");
    tap = desc;
    if (tapStatus == 0) tapID = 70;
    return tapStatus;
  }
  OSStatus destroyProcessTap(AudioObjectID tapID) override {
    calls.push_back("destroyTap " + std::to_string(tapID));
    trace(calls.back());
    return 0;
  }
  OSStatus createAggregateDevice(const Dictionary& desc, AudioObjectID& aggID) override {
    calls.push_back("createAggregate");
    aggregate = desc;
    if (aggregateStatus == 0) aggID = 71;
    return aggregateStatus;
  }
  OSStatus destroyAggregateDevice(AudioObjectID aggID) override {
    calls.push_back("destroyAggregate " + std::to_string(aggID));
    trace(calls.back());
    return 0;
  }
  OSStatus createIOProcID(AudioObjectID, IOQueue&, IOBlock, IOProcID& procID) override {
    calls.push_back("createIOProc");
    if (ioProcStatus == 0 && ioProcGivesId) procID = 1;
    return ioProcStatus;
  }
  OSStatus deviceStart(AudioObjectID, IOProcID) override {
    calls.push_back("start");
    return startStatus;
  }

 private:
  void trace(const std::string& call) {
    if (traceDestroys) log(call);
  }
};

}  // namespace lorvane::audio::testing
