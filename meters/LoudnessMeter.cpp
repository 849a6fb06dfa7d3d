#include "meters/LoudnessMeter.h"

#include <cmath>

void LoudnessMeter::Prepare(double sampleRate) {
  k_ = KWeightingCoefficients::Design(sampleRate);
  const int momentary = static_cast<int>(std::lround(0.4 * sampleRate));
  const int shortTerm = static_cast<int>(std::lround(3.0 * sampleRate));
  momentaryLength_ = momentary;
  shortTermLength_ = shortTerm;
  for (int ch = 0; ch < 2; ++ch) {
    outMomentary_[ch].Resize(momentary);
    inMomentary_[ch].Resize(momentary);
    outShortTerm_[ch].Resize(shortTerm);
    drivenShortTerm_[ch].Resize(shortTerm);
  }
  Reset();
}

void LoudnessMeter::Reset() {
  for (int ch = 0; ch < 2; ++ch) {
    out_[ch].Reset();
    in_[ch].Reset();
    driven_[ch].Reset();
    outMomentary_[ch].Clear();
    outShortTerm_[ch].Clear();
    inMomentary_[ch].Clear();
    drivenShortTerm_[ch].Clear();
  }
  outGating_.Clear();
  inGating_.Clear();
  range_.Clear();
  gatingPhase_ = 0;
  samplesSinceReset_ = 0;
  outShortTermLufs_ = -100.0;
}

void LoudnessMeter::TickOutput(bool mono, MeterSnapshot& s) {
  const double g = MonoFactor(mono);
  s.lufsL = static_cast<float>(LoudnessOfPower(outMomentary_[0].Mean()));
  s.lufsR = static_cast<float>(LoudnessOfPower(outMomentary_[1].Mean()));
  const double momentary = (outMomentary_[0].Mean() + outMomentary_[1].Mean()) * g;
  s.lufsM = static_cast<float>(LoudnessOfPower(momentary));
  const double shortTerm = (outShortTerm_[0].Mean() + outShortTerm_[1].Mean()) * g;
  s.lufsS = static_cast<float>(LoudnessOfPower(shortTerm));
  outShortTermLufs_ = LoudnessOfPower(shortTerm);

  // Gating blocks every second tick: 400-ms blocks every 100 ms, 75 % overlap.
  gatingPhase_ ^= 1;
  if (gatingPhase_ == 0) {
    if (samplesSinceReset_ >= momentaryLength_) outGating_.Add(momentary);
    if (samplesSinceReset_ >= shortTermLength_) range_.Add(s.lufsS, shortTerm);
  }
  s.lufsI = outGating_.IntegratedLoudness();
  s.lra = range_.Range();
}

void LoudnessMeter::TickInput(bool mono, MeterSnapshot& s) {
  if (gatingPhase_ == 0 && samplesSinceReset_ >= momentaryLength_)
    inGating_.Add((inMomentary_[0].Mean() + inMomentary_[1].Mean()) * MonoFactor(mono));
  s.lufsI_in = inGating_.IntegratedLoudness();
}

double LoudnessMeter::DrivenShortTermLufs(bool mono) const {
  return LoudnessOfPower((drivenShortTerm_[0].Mean() + drivenShortTerm_[1].Mean()) * MonoFactor(mono));
}
