// The engine's meter tick: every 50 ms of audio the meters' accumulators become one snapshot,
// some readings go back into the signal path, and the snapshot is offered to the editor.
#include <algorithm>
#include <cmath>

#include "dsp/LimiterEngine.h"

namespace {
float DbOrFloor(double amplitude, double floor) {
  return amplitude > floor ? static_cast<float>(20.0 * std::log10(amplitude)) : -100.0f;
}
}  // namespace

void LimiterEngine::PrepareMeters() {
  loudness_.Prepare(sampleRate_);
  levels_.Prepare(sampleRate_);
  analysis_.Prepare(sampleRate_);
  impact_.Prepare(sampleRate_);
  codecHeadroomDb_ = 0.0;
  tpTick_ = 0.0f;
  KeepGainComputerForCodec();
  for (LoudClipper& clipper : clippers_) clipper.ClearClipCounts();
  for (CharacterSaturator& saturator : saturators_) saturator.ClearEnergies();
}

// The published record is left alone: only the editor's side clears the hand-over flag, so a
// record it is copying can never be overwritten.
void LimiterEngine::ResetMeters() {
  loudness_.Reset();
  levels_.Reset();
  const double gainState[2] = {gainWindows_[0].GainState(), gainWindows_[1].GainState()};
  analysis_.Reset(gainState);
  impact_.Reset();
  codecHeadroomDb_ = 0.0;
  tpTick_ = 0.0f;
  KeepGainComputerForCodec();
  meterCounter_ = 0;
}

void LimiterEngine::KeepGainComputerForCodec() {
  for (int ch = 0; ch < 2; ++ch) tickGainState_[ch] = gainWindows_[ch].GainState();
  tickHolding_ = gainWindows_[0].HoldCounter() >= 1 || gainWindows_[1].HoldCounter() >= 1;
}

void LimiterEngine::TickGainComputer(MeterSnapshot& s) {
  const bool independent = settings.channelsIndependent;
  const double holdSpan = std::max(1.0, 0.015 * sampleRate_ + gainConstants_.holdBase);
  auto holdFraction = [holdSpan](const GainWindow& w) {
    return std::min(1.0f, static_cast<float>(w.HoldCounter()) / static_cast<float>(holdSpan));
  };
  const GainWindow& left = gainWindows_[0];
  const GainWindow& right = independent ? gainWindows_[1] : gainWindows_[0];
  s.effRelMsL = static_cast<float>(left.EffReleaseMs());
  s.effRelMsR = static_cast<float>(right.EffReleaseMs());
  s.holdFracL = holdFraction(left);
  s.holdFracR = holdFraction(right);
  KeepGainComputerForCodec();
}

void LimiterEngine::TickLoudStage(MeterSnapshot& s) {
  double thd = 0.0;
  for (CharacterSaturator& saturator : saturators_) {
    if (saturator.InputEnergy() > 1e-20) thd += std::sqrt(saturator.DistortionEnergy() / saturator.InputEnergy());
    saturator.ClearEnergies();
  }
  s.charThdPct = static_cast<float>(100.0 * thd / 2.0);

  const double loud = std::clamp(static_cast<double>(settings.loud.load()), 0.0, 1.0);
  double clipShare = 0.0;
  for (LoudClipper& clipper : clippers_) {
    if (clipper.Total() >= 1) clipShare += static_cast<double>(clipper.Clipped()) / clipper.Total();
    clipper.ClearClipCounts();
  }
  s.loudClipPct = loud > 1e-4 ? static_cast<float>(clipShare / 2.0 * std::min(1.0, loud / 0.1) * 100.0) : 0.0f;

  LoudStageTaps& t = loudTaps_;
  s.loudThdPct = t.charOutEnergy > 1e-12 ? static_cast<float>(100.0 * std::sqrt(t.loudDiffEnergy / t.charOutEnergy)) : 0.0f;
  s.insistInDb = DbOrFloor(t.insistIn, 1e-5);
  s.insistOutDb = DbOrFloor(t.insistOut, 1e-5);
  for (int i = 0; i < LoudStageTaps::kWaveLength; ++i) {
    const int from = (t.waveIndex + i) % LoudStageTaps::kWaveLength;  // oldest first
    s.insistWavePost[i] = t.wavePost[from];
    s.insistWavePre[i] = t.wavePre[from];
  }
  t.charOutEnergy = t.loudDiffEnergy = 0.0;
  t.insistIn = t.insistOut = 0.0;
}

void LimiterEngine::RunMeterTick() {
  MeterSnapshot& s = working_;
  const bool independent = settings.channelsIndependent;
  const float ceilingDbLeft = settings.ceilingDb[0];
  const double smoothed[2] = {gainWindows_[0].SmoothedGain(), gainWindows_[1].SmoothedGain()};

  levels_.TickLevels(smoothed, independent, s);
  TickGainComputer(s);
  loudness_.TickOutput(mono_, s);
  TickLoudStage(s);
  loudness_.TickInput(mono_, s);

  ChannelState& left = channels_[0];
  ChannelState& right = channels_[1];
  tpTick_ = levels_.TickPeaks(left.outputMeter.PeakHold(), right.outputMeter.PeakHold(),
                              left.drivenMeter.PeakHold(), loudness_.DrivenShortTermLufs(mono_), s);
  left.outputMeter.ClearPeakHold();
  right.outputMeter.ClearPeakHold();
  left.drivenMeter.ClearPeakHold();

  levels_.TickCorrelation(s);
  analysis_.Tick(ceilingDbLeft, smoothed[0], s);
  impact_.Tick(ceilingDbLeft, settings.codecMode, codecHeadroomDb_, s);

  publisher_.Publish(s);
}
