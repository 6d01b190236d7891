#include "audio/setup.h"

#include <unistd.h>

#include <cstdio>
#include <random>

#include "audio/capture_state.h"
#include "report/exit_status.h"
#include "report/status_line.h"

namespace lorvane::audio {
namespace {

// The process object of `pid`, or nothing when the system gives none (no status line).
std::optional<AudioObjectID> processObject(int32_t pid) {
  PropertyData dest = AudioObjectID{0};
  const OSStatus status = platform->getPropertyData(
      kAudioObjectSystemObject, kAudioHardwarePropertyTranslatePIDToProcessObject, pid, dest);
  const AudioObjectID* object = std::get_if<AudioObjectID>(&dest);
  if (status != 0 || object == nullptr || *object == 0) return std::nullopt;
  return *object;
}

// Reads a global property of `object`. A failed read writes "prop error <selector> <status>"
// and gives `def`.
template <class T>
T getProp(AudioObjectID object, uint32_t selector, T def) {
  PropertyData dest = def;
  const OSStatus status = platform->getPropertyData(object, selector, std::nullopt, dest);
  if (status != 0) log(propErrorLine(selector, status));
  if (const T* value = std::get_if<T>(&dest)) return *value;
  return def;
}

// A fresh random (version 4) UUID in its 36-character text form.
std::string makeUUID() {
  std::random_device random;
  uint8_t b[16];
  for (uint8_t& byte : b) byte = static_cast<uint8_t>(random());
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

// The aggregate device's description dictionary, keys in this order: name, uid, master,
// private, stacked, tapautostart, subdevices, taps.
Dictionary makeAggregateDescription(const std::string& aggUID, const std::string& deviceUID,
                                    const std::string& tapUUID) {
  Dictionary subdevice{{"uid", {deviceUID}}};
  Dictionary tap{{"drift", {true}}, {"uid", {tapUUID}}};
  return Dictionary{
      {"name", {std::string("LORVANE-Tap")}},
      {"uid", {aggUID}},
      {"master", {deviceUID}},
      {"private", {true}},
      {"stacked", {false}},
      {"tapautostart", {true}},
      {"subdevices", {std::vector<Dictionary>{subdevice}}},
      {"taps", {std::vector<Dictionary>{tap}}},
  };
}

}  // namespace

void failSetup(const std::string& line, int status) {
  log(line);
  _exit(status);
}

AudioFormat setupCapture(ArgList args) {
  TapDescription tapDesc{.excludedProcesses = {},
                         .uuid = makeUUID(),
                         .muteBehavior = kCATapUnmuted,
                         .isPrivate = true,
                         .name = "LORVANE system audio"};
  // From element 1: the program's name is never an exclusion here (text capture, by
  // contrast, reads element 0 too).
  for (size_t i = 1; i < args.size(); ++i) {
    if (const auto pid = parseExcludePid(args[i])) {
      if (const auto object = processObject(*pid)) tapDesc.excludedProcesses.push_back(*object);
    }
  }

  tapID = 0;
  if (const OSStatus status = platform->createProcessTap(tapDesc, tapID); status != 0) {
    failSetup("ERROR tap " + std::to_string(status), kExitTap);
  }

  outDev = getProp<AudioObjectID>(kAudioObjectSystemObject,
                                  kAudioHardwarePropertyDefaultSystemOutputDevice, 0);
  outUID = getProp<std::string>(outDev, kAudioDevicePropertyDeviceUID, std::string());

  const Dictionary aggDesc = makeAggregateDescription(makeUUID(), outUID, tapDesc.uuid);
  aggID = 0;
  if (const OSStatus status = platform->createAggregateDevice(aggDesc, aggID); status != 0) {
    failSetup("ERROR aggregate " + std::to_string(status), kExitAggregate);
  }

  const auto asbd = getProp<AudioStreamBasicDescription>(tapID, kAudioTapPropertyFormat, {});
  log(formatLine(asbd.mSampleRate, asbd.mChannelsPerFrame, asbd.mFormatFlags));

  const std::optional<AudioFormat> tapFmt = formatFromStreamDescription(asbd);
  if (!tapFmt) failSetup("ERROR format", kExitFormat);

  converter = Converter::make(tapFmt->sampleRate);
  // No converter for a rate the tap reported as valid: the format is unusable after all.
  if (!converter) failSetup("ERROR format", kExitFormat);
  return *tapFmt;
}

}  // namespace lorvane::audio
