#pragma once

#include "app/audio/AudioFile.h"

// The whole of `input` at `sampleRate`, converted with libsoxr's very-high-quality setting
// (linear phase, so the converted peaks sit where the original's were). The same buffer when
// the rate is already right. Throws UserError when libsoxr refuses.
AudioBuffer ConvertSampleRate(const AudioBuffer& input, double sampleRate);
