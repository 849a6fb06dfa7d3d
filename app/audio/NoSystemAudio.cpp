#include "app/audio/AudioSink.h"

// Built without ALSA: the editor always plays silently.
std::unique_ptr<AudioSink> OpenSystemAudio(const std::string&, int, double, std::string& whyNot) {
  whyNot = "this build has no system audio";
  return nullptr;
}
