#include "audio/audio_mode.h"

#include <cstdlib>

namespace lorvane {

void runAudioCapture(ArgList /*args*/) { std::exit(0); }

}  // namespace lorvane
