#pragma once

#include <atomic>
#include <vector>

#include "host/ChannelIO.h"
#include "host/IFxProcessor.h"
#include "host/MidiProxy.h"
#include "host/PluginConfig.h"
#include "host/vst3/AudioProcessor.h"

// The audio side of the VST3 wrapper: channel configurations, the host's transport, the 64-bit
// conversion buffers, the host bypass with its latency delay, and the driving of the plug-in's
// block hook from a host processing call.
//
// Host blocks are split into sub-blocks no longer than the conversion buffers; channels the host
// did not pass read silence; outputs the plug-in cannot fill are zeroed.
//
// The host bypass plays the input delayed by the latency. Every block feeds that delay and runs
// the plug-in, bypassed or not, so both paths always hold the current audio, aligned; a switch
// is a linear crossfade of kBypassFadeSeconds between them, without a gap or a repeat.
class IFxVST3ProcessorBase : public IFxProcessor {
 public:
  static constexpr double kBypassFadeSeconds = 0.005;

  explicit IFxVST3ProcessorBase(const PluginConfig& config);

  const std::vector<ChannelIOConfig>& ChannelIOConfigs() const { return channelIO_; }
  int MaxInputBuses() const;
  int MaxOutputBuses() const;

  struct TransportInfo {
    double tempo = 120.0;
    double samplePos = -1.0;
    double ppqPos = -1.0;
    double lastBar = -1.0;
    double cycleStart = -1.0;
    double cycleEnd = -1.0;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    bool transportRunning = false;
    bool loopActive = false;
    bool renderingOffline = false;
  };
  const TransportInfo& Transport() const { return transport_; }

  bool IsBypassed() const { return bypassed_.load(std::memory_order_relaxed); }
  int GetTailSize() const { return tailSize_; }

  // A MIDI message made from a MIDI-controller proxy parameter. [audio thread]
  virtual void ProcessMidiMsg(const MidiMessage& /*message*/) {}

  // Stores the latency and gives the bypass delay that length, silent. [UI thread]
  void SetLatency(int samples) override;

 protected:
  // Sizes every conversion buffer for blocks of this many frames. [UI thread]
  void ResizeConversionBuffers(int frames);
  int ConversionCapacity() const { return capacity_; }

  void SetBypassed(bool bypassed) { bypassed_.store(bypassed, std::memory_order_relaxed); }
  // Silences the bypass delay and ends any crossfade, for a fresh start of processing like the
  // plug-in's own reset; sizes the crossfade for the current sample rate. Allocates nothing.
  // [thread of the host's setup or stop call]
  void ResetBypassPath();
  // [audio thread]
  void UpdateTransport(const Steinberg::Vst::ProcessContext& context, Steinberg::int32 processMode);
  // Runs the audio of one host call (32- or 64-bit) through the plug-in and the latency delay,
  // and plays the one the host bypass selects. The bus channel counts limit what is taken from
  // the host.
  // [audio thread]
  void ProcessHostAudio(Steinberg::Vst::ProcessData& data, int inputBusChannels,
                        int outputBusChannels);
  // Zeroes every output channel the host passed. [audio thread]
  static void ZeroOutputs(Steinberg::Vst::ProcessData& data);

 private:
  template <typename Sample>
  void ProcessHostAudioAs(Steinberg::Vst::ProcessData& data, int nIn, int nOut);
  template <typename Sample>
  double* InputChannel(Sample** host, int c, int nIn, int offset, int frames);
  template <typename Sample>
  double* OutputChannel(Sample** host, int c, int nOut, int offset);
  void DelayDry(int nIn, int frames);
  void MixDry(int nIn, int nOut, int frames);

  std::vector<ChannelIOConfig> channelIO_;
  TransportInfo transport_;
  std::atomic<bool> bypassed_{false};
  int tailSize_ = 0;

  int capacity_ = 0;
  std::vector<std::vector<double>> inputConversion_, outputConversion_;
  std::vector<double> silence_;
  std::vector<double*> inputPointers_, outputPointers_;

  std::vector<std::vector<double>> bypassDelay_;  // one ring per input channel
  int bypassDelayLength_ = 0;
  int bypassWritePos_ = 0;
  std::vector<std::vector<double>> dry_;  // a sub-block of each input, delayed by the latency
  int bypassFadeLength_ = 1;              // samples
  int bypassFadePos_ = 0;                 // 0: processed only .. bypassFadeLength_: dry only
};
