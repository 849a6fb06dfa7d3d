#include "app/audio/AudioFile.h"

#include <algorithm>
#include <cmath>

#include "app/audio/AudioReader.h"

namespace {
constexpr int64_t kChunkFrames = 8192;
}

AudioBuffer LoadAudioFile(const std::string& path, int64_t* declaredFrames) {
  AudioReader reader(path);
  if (declaredFrames) *declaredFrames = reader.DeclaredFrames();
  AudioBuffer buffer;
  buffer.sampleRate = reader.SampleRate();
  buffer.format = reader.Format();
  buffer.channels.resize(static_cast<size_t>(reader.Channels()));

  std::vector<double> chunk(static_cast<size_t>(kChunkFrames * reader.Channels()));
  std::vector<double*> channels(buffer.channels.size());
  while (const int64_t read = reader.Read(chunk.data(), kChunkFrames)) {
    const int64_t start = buffer.Frames();
    for (size_t c = 0; c < channels.size(); ++c) {
      buffer.channels[c].resize(static_cast<size_t>(start + read));
      channels[c] = buffer.channels[c].data() + start;
    }
    Deinterleave(chunk.data(), reader.Channels(), read, channels.data());
  }
  return buffer;
}

void SaveAudioFile(const std::string& path, const AudioBuffer& buffer) {
  const int nChannels = buffer.Channels();
  AudioWriter writer(path, static_cast<int>(std::lround(buffer.sampleRate)), nChannels,
                     buffer.format);
  std::vector<const double*> channels(static_cast<size_t>(nChannels));
  std::vector<double> chunk(static_cast<size_t>(kChunkFrames * nChannels));
  for (int64_t start = 0; start < buffer.Frames(); start += kChunkFrames) {
    const int64_t frames = std::min(kChunkFrames, buffer.Frames() - start);
    for (int c = 0; c < nChannels; ++c)
      channels[static_cast<size_t>(c)] = buffer.channels[static_cast<size_t>(c)].data() + start;
    Interleave(channels.data(), nChannels, frames, chunk.data());
    writer.Write(chunk.data(), frames);
  }
  writer.Commit();
}

void Interleave(const double* const* channels, int nChannels, int64_t frames, double* interleaved) {
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < nChannels; ++c) interleaved[i * nChannels + c] = channels[c][i];
}

void Deinterleave(const double* interleaved, int nChannels, int64_t frames, double* const* channels) {
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < nChannels; ++c) channels[c][i] = interleaved[i * nChannels + c];
}
