#include "audio/audio_mode.h"

#include "audio/platform/pipewire_audio.h"
#include "audio/start.h"

namespace lorvane {

void runAudioCapture(ArgList args) {
  // Signals are blocked before PipeWire starts any thread, so every thread inherits the mask.
  static audio::PipeWireAudio pipewire;
  audio::runCapture(args, pipewire);
}

}  // namespace lorvane
