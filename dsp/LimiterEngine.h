#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/ChannelState.h"
#include "dsp/CharacterSaturator.h"
#include "dsp/DelayLine.h"
#include "dsp/EngineSettings.h"
#include "dsp/ExtraLeveler.h"
#include "dsp/GainWindow.h"
#include "dsp/LoudClipper.h"
#include "dsp/LoudStageTaps.h"
#include "dsp/OutputCapture.h"
#include "dsp/kernels/TruePeakTable.h"
#include "meters/GainAnalysis.h"
#include "meters/ImpactIndicators.h"
#include "meters/LevelMeters.h"
#include "meters/LoudnessMeter.h"
#include "meters/MeterPublisher.h"
#include "meters/MeterSnapshot.h"

// The whole sample-rate-dependent signal path: stereo in, limited stereo out, delayed by
// Latency() samples. Owned by value by the plug-in; knows nothing of any host.
//
// Usage:
//   LimiterEngine engine;
//   engine.Prepare(48000.0);                         // sizes and designs everything
//   engine.settings.ceilingDb[0] = -1.0f;            // any thread, between or during blocks
//   engine.Process(inL, inR, outL, outR, n, false);  // audio thread
class LimiterEngine {
 public:
  static constexpr int kCatcherDelay = PeakCatcher::kDelay;
  static constexpr int kMaxLookAhead = 4095;
  // Samples beyond this magnitude (+120 dBFS) are clamped where they enter the processing, so
  // that no finite input can overflow a single-precision path or a mean square; the dry path
  // keeps them as they are.
  static constexpr double kMaxProcessedMagnitude = 1e6;

  EngineSettings settings;

  LimiterEngine();
  ~LimiterEngine();

  // Sizes every buffer and designs every coefficient for this rate, and resets all state.
  // Refuses rates outside 8 kHz..768 kHz (returns false; the previous preparation stays).
  // At unchanged sizes nothing is reallocated. [audio thread, never during Process]
  bool Prepare(double sampleRate);

  // Inputs and outputs may alias; each input sample is read before the same index is written.
  // [audio thread]
  void Process(const double* inL, const double* inR, double* outL, double* outR, int nFrames,
               bool mono);

  // Copies the newest meter snapshot the audio thread has published and not yet handed out.
  // [the one UI thread]
  bool TakeMeterSnapshot(MeterSnapshot& out) { return publisher_.Take(out); }
  // The last tick's readings. [audio thread, or after processing in offline tools]
  const MeterSnapshot& LatestMeters() const { return working_; }
  int MeterPeriod() const { return meterPeriod_; }
  // The tick runs every MeterPeriod() samples wherever that falls in a block; this many samples
  // of the last block came after it.
  int FramesSinceMeterTick() const { return meterCounter_; }
  // The driven signal's true peak held since the last meter tick (left channel).
  float DrivenPeakHold() const { return channels_[0].drivenMeter.PeakHold(); }

  // Off, the meters only the editor reads (output and driven true peak, loudness, levels, the
  // output capture) are skipped while Codec Mode and Dynamic Ceiling, which feed some of them back
  // into the signal, are off: an offline render whose settings stay as they are comes out the
  // same sample for sample, in less time. Their readings are then stale. [before processing]
  void SetDisplayMeters(bool on) { displayMeters_ = on; }

  // The programme ends `frames` input samples from now (0: before the next one); what comes
  // after is only there to bring out the last samples. A stage that rings (the Loud stage's
  // linear-phase filters) then stops at the programme's end, as it starts at the first sample
  // after Prepare: the limiter sees the edges as the listener of the cut programme will hear
  // them, against silence, and holds the ceiling there too. Prepare forgets the end.
  // [audio thread, between blocks]
  void EndInputAfter(int64_t frames);

  // Asks the audio thread to clear meters and histories at the start of the next block,
  // without touching the signal path's delays and gains. [any thread]
  void RequestMeterReset() { meterResetRequest_.store(1, std::memory_order_relaxed); }

  double SampleRate() const { return sampleRate_; }
  bool IsPrepared() const { return prepared_; }
  int LookAheadLength() const { return lookAhead_; }
  int LoudDelay() const { return loudDelay_; }
  int Latency() const { return lookAhead_ + loudDelay_ + kCatcherDelay - 1; }

  // Readings for the audio thread and for offline tools.
  const ChannelState& Channel(int ch) const { return channels_[ch]; }
  const GainWindow& Gain(int ch) const { return gainWindows_[ch]; }
  // Smallest gain applied to the output since the last call, the limiter's and the peak
  // catcher's together (1 when none), then starts again.
  double TakeMinGain(int ch);
  const OutputCapture& Capture() const { return outputCapture_; }
  const LoudClipper& Clipper(int ch) const { return clippers_[ch]; }
  const CharacterSaturator& Saturator(int ch) const { return saturators_[ch]; }
  const LoudStageTaps& LoudTaps() const { return loudTaps_; }
  const ExtraLeveler& Leveler() const { return leveler_; }

 private:
  struct BlockValues;

  void ResetState();
  void DesignTables();
  int MeasureLoudDelay();
  BlockValues ComputeBlockValues();
  void ApplyMeterFeedback(BlockValues& bv);
  void ConfigureStages(BlockValues& bv);
  struct RunBuffers;
  // One run of at most RunBuffers::kFrames samples, stage by stage.
  void RunFront(const double* inL, const double* inR, int n, const BlockValues& bv);
  void RunLimiter(double* outL, double* outR, int n, const BlockValues& bv);
  void RunMeters(int n, const BlockValues& bv);
  void HoldDrivenPeak(int n, const BlockValues& bv);
  // Character and Loud over one channel's driven run: the Loud mix, what clipping removed and
  // the limiter's input.
  void LoudChain(int ch, int n, const BlockValues& bv);
  // Silences the limiter's input of the run where it stems from before the programme's first
  // sample or after its end.
  void CutAtProgrammeEdges(int n);
  void TapLoudStage(int n);  // the Loud stage's meter taps, over both channels' runs
  void RunCatcher(int ch, int n, float ceilLin);

  // Every 50 ms of audio, wherever it falls in a block: reduce the meter accumulators into the working
  // snapshot, hand readings back to the engine, publish.
  void RunMeterTick();
  void TickLoudStage(MeterSnapshot& s);
  void TickGainComputer(MeterSnapshot& s);
  void KeepGainComputerForCodec();
  void PrepareMeters();
  void ResetMeters();

  double sampleRate_ = 44100.0;
  bool prepared_ = false;
  bool mono_ = false;
  int lookAhead_ = 1;
  int loudDelay_ = 47;
  // Samples since the detectors' last reset through which Character and Loud have passed the
  // driven signal straight to the limiter and the driven meter has read it (capped).
  int drivenPassedThrough_ = 0;
  // Input samples since Prepare, and where the programme ends (counted the same way).
  int64_t inputFrames_ = 0;
  int64_t inputEnd_ = INT64_MAX;

  ChannelState channels_[2];
  GainWindow gainWindows_[2];
  GainWindow::Constants gainConstants_;
  // Rate-dependent smoothing constants, set by Prepare: 3-s mean squares, the Extra leveler.
  double a3s_ = 0.0;
  ExtraLeveler::Coefficients extraCoefficients_{};
  ExtraLeveler leveler_;
  CharacterSaturator saturators_[2];
  DelayLine characterDelay_[2];  // the dry path around the Loud stage, delayed by D
  LoudClipper clippers_[2];
  LoudStageTaps loudTaps_;
  bool characterInCircuit_ = true, clipperInCircuit_ = true;  // in the last block
  double minGain_[2] = {1.0, 1.0};

  // Meters and the readings they feed back.
  LoudnessMeter loudness_;
  LevelMeters levels_;
  GainAnalysis analysis_;
  ImpactIndicators impact_;
  MeterSnapshot working_;
  MeterPublisher publisher_;
  double codecHeadroomDb_ = 0.0;
  float tpTick_ = 0.0f;
  // The gain computer as the last tick left it, for the codec model.
  double tickGainState_[2] = {1.0, 1.0};
  bool tickHolding_ = false;

  // Two slots of (detection, catcher) tables: Prepare builds into the inactive slot before
  // switching the channels over, so a reader of the old tables never sees them change.
  TruePeakTable tables_[2][2];
  int activeTableSlot_ = 0;

  OutputCapture outputCapture_;

  std::unique_ptr<RunBuffers> run_;  // sized once, at construction

  bool displayMeters_ = true;
  int meterPeriod_ = 2200;
  int meterCounter_ = 0;
  std::atomic<uint8_t> meterResetRequest_{0};
};
