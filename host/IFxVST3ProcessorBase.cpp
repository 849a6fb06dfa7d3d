#include "host/IFxVST3ProcessorBase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kStartBlockSize = 512;

template <typename Sample>
Sample** ChannelsOf(AudioBusBuffers& bus);
template <>
float** ChannelsOf<float>(AudioBusBuffers& bus) {
  return bus.channelBuffers32;
}
template <>
double** ChannelsOf<double>(AudioBusBuffers& bus) {
  return bus.channelBuffers64;
}

template <typename Sample>
void ZeroChannels(AudioBusBuffers& bus, int firstChannel, int frames) {
  Sample** channels = ChannelsOf<Sample>(bus);
  if (!channels) return;
  for (int c = std::max(firstChannel, 0); c < bus.numChannels; ++c)
    if (channels[c]) std::fill(channels[c], channels[c] + frames, Sample(0));
}

// Zeroes host output channels from `firstChannel` of bus 0 and every channel of later buses.
template <typename Sample>
void ZeroUnfilled(ProcessData& data, int firstChannel) {
  if (!data.outputs) return;
  for (int32 b = 0; b < data.numOutputs; ++b)
    ZeroChannels<Sample>(data.outputs[b], b == 0 ? firstChannel : 0, data.numSamples);
}

int BusChannelsPassed(const AudioBusBuffers* buses, int32 count, int busChannels,
                      bool sample64) {
  if (!buses || count < 1) return 0;
  const bool hasPointers = sample64 ? buses[0].channelBuffers64 != nullptr
                                    : buses[0].channelBuffers32 != nullptr;
  if (!hasPointers) return 0;
  return std::clamp(std::min(buses[0].numChannels, busChannels), 0, busChannels);
}

}  // namespace

IFxVST3ProcessorBase::IFxVST3ProcessorBase(const PluginConfig& config)
    : channelIO_(ParseChannelIO(config.channelIO)) {
  int slots = 2;
  for (const ChannelIOConfig& c : channelIO_)
    slots = std::max({slots, c.TotalInputs(), c.TotalOutputs()});
  inputConversion_.resize(static_cast<size_t>(slots));
  outputConversion_.resize(static_cast<size_t>(slots));
  inputPointers_.assign(static_cast<size_t>(slots), nullptr);
  outputPointers_.assign(static_cast<size_t>(slots), nullptr);
  bypassDelay_.resize(static_cast<size_t>(slots));
  dry_.resize(static_cast<size_t>(slots));
  ResizeConversionBuffers(kStartBlockSize);
  IFxVST3ProcessorBase::SetLatency(config.latency);
}

int IFxVST3ProcessorBase::MaxInputBuses() const {
  size_t n = 0;
  for (const ChannelIOConfig& c : channelIO_) n = std::max(n, c.inputs.size());
  return static_cast<int>(n);
}

int IFxVST3ProcessorBase::MaxOutputBuses() const {
  size_t n = 0;
  for (const ChannelIOConfig& c : channelIO_) n = std::max(n, c.outputs.size());
  return static_cast<int>(n);
}

void IFxVST3ProcessorBase::ResizeConversionBuffers(int frames) {
  const auto n = static_cast<size_t>(std::max(frames, 1));
  for (auto& buffer : inputConversion_) buffer.assign(n, 0.0);
  for (auto& buffer : outputConversion_) buffer.assign(n, 0.0);
  for (auto& buffer : dry_) buffer.assign(n, 0.0);
  silence_.assign(n, 0.0);
  capacity_ = static_cast<int>(n);
}

void IFxVST3ProcessorBase::SetLatency(int samples) {
  IFxProcessor::SetLatency(samples);
  bypassDelayLength_ = std::max(samples, 0);
  for (auto& ring : bypassDelay_) ring.assign(static_cast<size_t>(bypassDelayLength_), 0.0);
  bypassWritePos_ = 0;
}

void IFxVST3ProcessorBase::ResetBypassPath() {
  for (auto& ring : bypassDelay_) std::fill(ring.begin(), ring.end(), 0.0);
  bypassWritePos_ = 0;
  bypassFadeLength_ =
      std::max(1, static_cast<int>(std::lround(kBypassFadeSeconds * GetSampleRate())));
  bypassFadePos_ = IsBypassed() ? bypassFadeLength_ : 0;
}

void IFxVST3ProcessorBase::UpdateTransport(const ProcessContext& context, int32 processMode) {
  TransportInfo& t = transport_;
  t.tempo = context.tempo;
  t.samplePos = (context.state & ProcessContext::kProjectTimeMusicValid)
                    ? static_cast<double>(context.projectTimeSamples)
                    : -1.0;
  t.ppqPos = context.projectTimeMusic;
  t.lastBar = context.barPositionMusic;
  t.cycleStart = context.cycleStartMusic;
  t.cycleEnd = context.cycleEndMusic;
  t.timeSigNumerator = context.timeSigNumerator;
  t.timeSigDenominator = context.timeSigDenominator;
  t.transportRunning = (context.state & ProcessContext::kPlaying) != 0;
  t.loopActive = (context.state & ProcessContext::kCycleActive) != 0;
  t.renderingOffline = processMode == kOffline;
}

void IFxVST3ProcessorBase::ZeroOutputs(ProcessData& data) {
  if (data.symbolicSampleSize == kSample32)
    ZeroUnfilled<float>(data, 0);
  else if (data.symbolicSampleSize == kSample64)
    ZeroUnfilled<double>(data, 0);
}

void IFxVST3ProcessorBase::ProcessHostAudio(ProcessData& data, int inputBusChannels,
                                            int outputBusChannels) {
  const bool sample64 = data.symbolicSampleSize == kSample64;
  const int slots = static_cast<int>(inputPointers_.size());
  const int nIn = std::min(
      BusChannelsPassed(data.inputs, data.numInputs, inputBusChannels, sample64), slots);
  const int nOut = std::min(
      BusChannelsPassed(data.outputs, data.numOutputs, outputBusChannels, sample64), slots);
  if (sample64)
    ProcessHostAudioAs<double>(data, nIn, nOut);
  else
    ProcessHostAudioAs<float>(data, nIn, nOut);
}

template <typename Sample>
void IFxVST3ProcessorBase::ProcessHostAudioAs(ProcessData& data, int nIn, int nOut) {
  Sample** hostIn = nIn > 0 ? ChannelsOf<Sample>(data.inputs[0]) : nullptr;
  Sample** hostOut = nOut > 0 ? ChannelsOf<Sample>(data.outputs[0]) : nullptr;
  SetChannelsConnected(nIn, nOut);
  const int slots = static_cast<int>(inputPointers_.size());

  for (int done = 0; nOut > 0 && done < data.numSamples;) {
    const int frames = std::min(data.numSamples - done, capacity_);
    for (int c = 0; c < slots; ++c) {
      inputPointers_[static_cast<size_t>(c)] = InputChannel(hostIn, c, nIn, done, frames);
      outputPointers_[static_cast<size_t>(c)] = OutputChannel(hostOut, c, nOut, done);
    }
    DelayDry(nIn, frames);  // first: in place, the plug-in overwrites the host's input
    ProcessAudioBlock(inputPointers_.data(), outputPointers_.data(), frames);
    MixDry(nIn, nOut, frames);
    if constexpr (std::is_same_v<Sample, float>) {
      for (int c = 0; c < nOut; ++c) {
        if (!hostOut[c]) continue;
        const double* from = outputPointers_[static_cast<size_t>(c)];
        std::transform(from, from + frames, hostOut[c] + done,
                       [](double x) { return static_cast<float>(x); });
      }
    }
    done += frames;
  }
  if (nOut > 0) data.outputs[0].silenceFlags = 0;
  ZeroUnfilled<Sample>(data, nOut);
}

template <typename Sample>
double* IFxVST3ProcessorBase::InputChannel(Sample** host, int c, int nIn, int offset,
                                           int frames) {
  if (c >= nIn || !host[c]) return silence_.data();
  if constexpr (std::is_same_v<Sample, double>) {
    (void)frames;
    return host[c] + offset;
  } else {
    double* converted = inputConversion_[static_cast<size_t>(c)].data();
    std::copy(host[c] + offset, host[c] + offset + frames, converted);
    return converted;
  }
}

template <typename Sample>
double* IFxVST3ProcessorBase::OutputChannel(Sample** host, int c, int nOut, int offset) {
  if constexpr (std::is_same_v<Sample, double>) {
    if (c < nOut && host[c]) return host[c] + offset;
  }
  (void)host;
  (void)nOut;
  (void)offset;
  return outputConversion_[static_cast<size_t>(c)].data();
}

// The dry path: this sub-block of every input channel, delayed by the latency, into dry_. Each
// ring sample is read before the input sample replaces it, so a sub-block longer than the
// latency passes through whole.
void IFxVST3ProcessorBase::DelayDry(int nIn, int frames) {
  const int length = bypassDelayLength_;
  for (int c = 0; c < nIn; ++c) {
    const double* in = inputPointers_[static_cast<size_t>(c)];
    double* dry = dry_[static_cast<size_t>(c)].data();
    if (length == 0) {
      std::copy(in, in + frames, dry);
      continue;
    }
    double* ring = bypassDelay_[static_cast<size_t>(c)].data();
    for (int i = 0, pos = bypassWritePos_; i < frames; ++i) {
      dry[i] = ring[pos];
      ring[pos] = in[i];
      if (++pos == length) pos = 0;
    }
  }
  if (length > 0)
    bypassWritePos_ = static_cast<int>((bypassWritePos_ + static_cast<int64_t>(frames)) % length);
}

// Replaces the plug-in's output with the dry path, or part of it while a crossfade runs. Output
// channels without an input fade to silence.
void IFxVST3ProcessorBase::MixDry(int nIn, int nOut, int frames) {
  const int target = IsBypassed() ? bypassFadeLength_ : 0;
  const auto dryOf = [&](int c, int i) {
    return c < nIn ? dry_[static_cast<size_t>(c)][static_cast<size_t>(i)] : 0.0;
  };
  if (bypassFadePos_ == target) {
    if (target == 0) return;
    for (int c = 0; c < nOut; ++c)
      for (int i = 0; i < frames; ++i) outputPointers_[static_cast<size_t>(c)][i] = dryOf(c, i);
    return;
  }
  for (int i = 0; i < frames; ++i) {
    bypassFadePos_ += bypassFadePos_ < target ? 1 : bypassFadePos_ > target ? -1 : 0;
    const double mix = static_cast<double>(bypassFadePos_) / bypassFadeLength_;  // 0 and 1 exact
    for (int c = 0; c < nOut; ++c) {
      double& out = outputPointers_[static_cast<size_t>(c)][i];
      out = (1.0 - mix) * out + mix * dryOf(c, i);
    }
  }
}
