#include "audio/audio_mode.h"

#include "audio/platform/pipewire_audio.h"
#include "audio/start.h"

namespace lorvane {

void runAudioCapture(ArgList args) {
  // Static, never destroyed: the process ends with _exit while PipeWire's threads still run.
  static audio::PipeWireAudio pipewire;
  audio::runCapture(args, pipewire);
}

}  // namespace lorvane
