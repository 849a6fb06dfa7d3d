#pragma once

#include <string>

#include "app/audio/AudioFile.h"
#include "app/signals/TestSignals.h"
#include "support/ScratchDirectory.h"

// Inputs the `zarn master` tests share.

// Quiet noise with clicks near full scale every half second: -14 LUFS would take some 30 dB of
// gain reduction, so the track misses its target rather than being crushed.
inline AudioBuffer QuietWithClicks(double seconds) {
  const signals::Stereo noise = signals::PinkNoise(48000.0, seconds, -48.0, 3);
  AudioBuffer buffer;
  buffer.sampleRate = 48000.0;
  buffer.channels = {noise.left, noise.right};
  for (size_t n = 1000; n < buffer.channels[0].size(); n += 24000)
    buffer.channels[0][n] = buffer.channels[1][n] = 0.9;
  return buffer;
}

// Drums and chords over steady noise: reaching -14 LUFS takes a few dB of limiting.
inline AudioBuffer DemoOverNoise(double seconds) {
  const signals::Stereo noise = signals::PinkNoise(48000.0, seconds, -18.0, 9);
  const signals::Stereo demo = signals::Demo(48000.0, seconds);
  AudioBuffer buffer{48000.0, {noise.left, noise.right}};
  for (size_t n = 0; n < demo.left.size(); ++n) {
    buffer.channels[0][n] += 0.5 * demo.left[n];
    buffer.channels[1][n] += 0.5 * demo.right[n];
  }
  return buffer;
}

// Writes `audio` into the scratch folder as `name`; returns its path.
inline std::string Save(const ScratchDirectory& dir, const std::string& name, const AudioBuffer& audio) {
  const std::string path = dir.File(name);
  SaveAudioFile(path, audio);
  return path;
}
