#include "host/IFxVST3ProcessorBase.h"

#include <algorithm>
#include <cstring>

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
  silence_.assign(n, 0.0);
  capacity_ = static_cast<int>(n);
}

void IFxVST3ProcessorBase::SetLatency(int samples) {
  IFxProcessor::SetLatency(samples);
  bypassDelayLength_ = std::max(samples, 0);
  for (auto& ring : bypassDelay_) ring.assign(static_cast<size_t>(bypassDelayLength_), 0.0);
  bypassWritePos_ = 0;
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
    if (IsBypassed())
      PassThrough(nIn, nOut, frames);
    else
      ProcessAudioBlock(inputPointers_.data(), outputPointers_.data(), frames);
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

// The input delayed by the latency. Each input sample is read before the output sample at the
// same index is written, so in-place buffers (input and output one array) work.
void IFxVST3ProcessorBase::PassThrough(int nIn, int nOut, int frames) {
  const int both = std::min(nIn, nOut);
  const size_t length = static_cast<size_t>(bypassDelayLength_);
  const bool delayed = length > 0 && bypassDelay_.size() >= static_cast<size_t>(both);
  if (delayed) {
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < both; ++c) {
        const double x = inputPointers_[static_cast<size_t>(c)][i];
        std::vector<double>& ring = bypassDelay_[static_cast<size_t>(c)];
        outputPointers_[static_cast<size_t>(c)][i] = ring[static_cast<size_t>(bypassWritePos_)];
        ring[static_cast<size_t>(bypassWritePos_)] = x;
      }
      if (static_cast<size_t>(++bypassWritePos_) >= length) bypassWritePos_ = 0;
    }
  } else {
    for (int c = 0; c < both; ++c) {
      const double* in = inputPointers_[static_cast<size_t>(c)];
      double* out = outputPointers_[static_cast<size_t>(c)];
      if (in != out) std::memmove(out, in, static_cast<size_t>(frames) * sizeof(double));
    }
  }
  for (int c = both; c < nOut; ++c)
    std::fill(outputPointers_[static_cast<size_t>(c)], outputPointers_[static_cast<size_t>(c)] + frames, 0.0);
}
