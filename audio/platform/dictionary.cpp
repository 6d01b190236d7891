#include "audio/audio_platform.h"

namespace lorvane::audio {

const DictValue* findKey(const Dictionary& dict, const std::string& key) {
  for (const auto& [name, value] : dict) {
    if (name == key) return &value;
  }
  return nullptr;
}

}  // namespace lorvane::audio
