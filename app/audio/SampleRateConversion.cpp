#include "app/audio/SampleRateConversion.h"

#include <cmath>

#include <soxr.h>

#include "app/audio/UserError.h"

AudioBuffer ConvertSampleRate(const AudioBuffer& input, double sampleRate) {
  if (input.sampleRate == sampleRate || input.Frames() == 0) {
    AudioBuffer same = input;
    same.sampleRate = sampleRate;
    return same;
  }
  const int nChannels = input.Channels();
  const auto inFrames = static_cast<size_t>(input.Frames());
  const auto outFrames =
      static_cast<size_t>(std::llround(static_cast<double>(inFrames) * sampleRate / input.sampleRate));
  std::vector<double> interleaved(inFrames * static_cast<size_t>(nChannels));
  std::vector<double> converted(outFrames * static_cast<size_t>(nChannels));
  std::vector<const double*> channels;
  for (const auto& channel : input.channels) channels.push_back(channel.data());
  Interleave(channels.data(), nChannels, input.Frames(), interleaved.data());

  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
  size_t done = 0;
  const soxr_error_t error =
      soxr_oneshot(input.sampleRate, sampleRate, static_cast<unsigned>(nChannels), interleaved.data(),
                   inFrames, nullptr, converted.data(), outFrames, &done, &io, &quality, nullptr);
  if (error != nullptr) throw UserError(std::string("sample-rate conversion failed: ") + error);

  AudioBuffer output;
  output.sampleRate = sampleRate;
  output.format = input.format;
  output.channels.assign(static_cast<size_t>(nChannels), std::vector<double>(outFrames, 0.0));
  std::vector<double*> outChannels;
  for (auto& channel : output.channels) outChannels.push_back(channel.data());
  Deinterleave(converted.data(), nChannels, static_cast<int64_t>(done), outChannels.data());
  return output;
}
