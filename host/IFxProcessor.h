#pragma once

// The framework's audio side: processing setup, connected channels, latency and the hooks a
// plug-in overrides. The plug-in API wrapper (or a tool acting as host) drives it.
class IFxProcessor {
 public:
  static constexpr double kMinSampleRate = 8000.0;
  static constexpr double kMaxSampleRate = 768000.0;
  static constexpr int kMaxBlockSize = 1 << 20;

  virtual ~IFxProcessor() = default;

  // Called once per block with 64-bit channel buffers of nFrames samples. [audio thread]
  virtual void ProcessAudioBlock(double** inputs, double** outputs, int nFrames) = 0;
  // Called after a new processing setup and when processing stops. [thread of that host call]
  virtual void OnProcessingReset() {}

  // Sets the sample rate, maximum block size and connected channels, then runs the reset hook.
  // Refuses (false, nothing changes) rates outside 8 kHz..768 kHz, block sizes outside
  // 1..kMaxBlockSize and channel counts other than 1 or 2.
  bool SetupProcessing(double sampleRate, int maxBlockSize, int nInputs, int nOutputs);
  static bool IsValidSetup(double sampleRate, int maxBlockSize);

  double GetSampleRate() const { return sampleRate_; }
  int GetBlockSize() const { return blockSize_; }
  int NInChansConnected() const { return nInputs_; }
  int NOutChansConnected() const { return nOutputs_; }
  void SetChannelsConnected(int nInputs, int nOutputs);

  int GetLatency() const { return latency_; }
  // Wrappers override this to resize their bypass delay and tell the host.
  virtual void SetLatency(int samples) { latency_ = samples; }

 private:
  double sampleRate_ = 44100.0;
  int blockSize_ = 512;
  int nInputs_ = 2;
  int nOutputs_ = 2;
  int latency_ = 0;
};
