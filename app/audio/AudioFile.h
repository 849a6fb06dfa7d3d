#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/audio/AudioWriter.h"

// Whole audio files held in memory as one vector of samples per channel, for generated signals
// and tests; the renderer streams through AudioReader and AudioWriter instead.
struct AudioBuffer {
  double sampleRate = 48000.0;
  std::vector<std::vector<double>> channels;
  int format = AudioWriter::kFloatWav;  // as read, or as to be written

  int Channels() const { return static_cast<int>(channels.size()); }
  int64_t Frames() const { return channels.empty() ? 0 : static_cast<int64_t>(channels[0].size()); }
};

// Throws UserError when the file cannot be read. `declaredFrames`, when given, gets the frames
// the file's header says it holds (AudioReader::DeclaredFrames): more than the buffer's when the
// file is cut short.
AudioBuffer LoadAudioFile(const std::string& path, int64_t* declaredFrames = nullptr);
// Writes buffer.format through a temporary file; throws UserError when that fails.
void SaveAudioFile(const std::string& path, const AudioBuffer& buffer);

// Between one array per channel and libsndfile's frame-interleaved layout.
void Interleave(const double* const* channels, int nChannels, int64_t frames, double* interleaved);
void Deinterleave(const double* interleaved, int nChannels, int64_t frames, double* const* channels);
