#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/audio/AudioFile.h"

// `zarn generate KIND OUT [--rate R] [--seconds S] [--channels N]`: writes a test signal as a
// 32-bit float WAV. Kinds: "demo" (drums and chords), "pink" (pink noise at -18 dBFS RMS),
// "isp" (quarter-rate tone with 0 dBFS samples and a +3.01 dBTP true peak).

struct GenerateRequest {
  std::string kind;
  double sampleRate = 48000.0;
  double seconds = 10.0;
  int channels = 2;  // stereo signals are spread over more channels left, right, left, ...
};

// Throws UserError for an unknown kind.
AudioBuffer GenerateSignal(const GenerateRequest& request);

// `args` are the words after "generate". Writes OUT and a one-line summary to `out`; throws
// UserError for bad arguments or an unwritable OUT. Returns the exit status.
int RunGenerateCommand(const std::vector<std::string>& args, std::ostream& out);
