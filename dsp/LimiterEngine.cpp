#include "dsp/LimiterEngine.h"

#include <algorithm>
#include <cmath>

#include "dsp/DenormalGuard.h"

namespace {

constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 768000.0;
constexpr double kMeanSquareFloor = 1e-30;
// Single-precision safety margin under the ceiling, about -0.04 dB.
constexpr float kCeilingMargin = 0.9954f;

double DbToLin(double db) { return std::pow(10.0, db / 20.0); }
double OnePole(double seconds, double sampleRate) { return std::exp(-1.0 / (seconds * sampleRate)); }

// A recursive mean square that snaps to 0 instead of decaying into denormals.
void SmoothSquare(double& state, double coeff, double x) {
  state = coeff * state + (1.0 - coeff) * x * x;
  if (state < kMeanSquareFloor) state = 0.0;
}

// A setting that is not a finite number (never from the parameters) falls back to a safe value.
double Finite(float value, double fallback) {
  return std::isfinite(value) ? static_cast<double>(value) : fallback;
}

bool HasNonFinite(const double* x, int n) {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(x[i])) return true;
  return false;
}

}  // namespace

struct LimiterEngine::BlockValues {
  double driveLin[2];
  double ceilLin[2];
  double a3s;
  double loudGain;
  double loudMix;
  bool loudDelta;
  bool scrub;
};

LimiterEngine::LimiterEngine() { Prepare(sampleRate_); }

bool LimiterEngine::Prepare(double sampleRate) {
  if (!std::isfinite(sampleRate) || sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
    return false;
  sampleRate_ = sampleRate;
  lookAhead_ = std::min(1 + static_cast<int>(0.005 * sampleRate), kMaxLookAhead);
  loudDelay_ = kLoudStageDelay;

  for (int ch = 0; ch < 2; ++ch) {
    loudStage_[ch].Resize(loudDelay_ + 1);
    characterDelay_[ch].Resize(loudDelay_ + 1);
    characterDiff_[ch].Resize(loudDelay_ + 1);
    ChannelState& c = channels_[ch];
    c.lookAhead.Resize(lookAhead_);
    c.dryDelay.Resize(lookAhead_ + loudDelay_ + kCatcherDelay);
    c.catcher.Prepare(sampleRate);
    c.ResetDetectors();
    c.ClearMeanSquares();
    gainWindows_[ch].Prepare(lookAhead_);
    minGain_[ch] = 1.0;
    maskedness_[ch] = 0.0;
  }

  gainConstants_.sampleRate = sampleRate;
  gainConstants_.kSmooth = 1.0 - std::exp(-1.0 / (0.0005 * sampleRate));
  gainConstants_.kRamp = static_cast<float>(1.0 - std::exp(-1.0 / (0.001 * sampleRate)));
  gainConstants_.holdBase = static_cast<int>(0.005 * sampleRate);
  DesignTables();

  meterCounter_ = 0;
  meterPeriod_ = static_cast<int>(sampleRate * 50.0 / 1000.0);
  outputCapture_.Resize(static_cast<int>(3.0 * sampleRate));
  prepared_ = true;
  return true;
}

void LimiterEngine::DesignTables() {
  const int slot = 1 - activeTableSlot_;
  TruePeakTable& detection = tables_[slot][0];
  TruePeakTable& catcher = tables_[slot][1];
  detection.Design(TruePeakTable::DetectionCutoff(sampleRate_));
  catcher.Design(TruePeakTable::kCatcherCutoff);
  activeTableSlot_ = slot;
  for (ChannelState& c : channels_) {
    c.detection.SetTable(&detection);
    c.drivenMeter.SetTable(&detection);
    c.outputMeter.SetTable(&detection);
    c.catcher.SetTable(&catcher);
  }
}

void LimiterEngine::ResetState() {
  for (int ch = 0; ch < 2; ++ch) {
    channels_[ch].ClearMeanSquares();
    channels_[ch].ResetDetectors();
    gainWindows_[ch].RestartFromCurrentGain();
    maskedness_[ch] = 0.0;
  }
}

double LimiterEngine::TakeMinGain(int ch) {
  const double g = minGain_[ch];
  minGain_[ch] = 1.0;
  return g;
}

LimiterEngine::BlockValues LimiterEngine::ComputeBlockValues() {
  BlockValues bv{};
  for (int ch = 0; ch < 2; ++ch) {
    bv.driveLin[ch] = DbToLin(Finite(settings.driveDb[ch], 0.0));
    bv.ceilLin[ch] = kCeilingMargin * DbToLin(Finite(settings.ceilingDb[ch], -0.1));
  }
  bv.a3s = OnePole(3.0, sampleRate_);
  gainConstants_.aAtk = OnePole(0.0005, sampleRate_);
  gainConstants_.a2s = OnePole(2.0, sampleRate_);

  const double loud = std::clamp(Finite(settings.loud, 0.0), 0.0, 1.0);
  const double extra = std::clamp(Finite(settings.extra, 0.0), 0.0, 1.0);
  const double loudAmount = std::max(loud, std::clamp(2.0 * extra - 1.0, 0.0, 1.0));
  bv.loudGain = DbToLin(loudAmount * 12.0);
  if (loudAmount > 0.0) bv.loudGain *= DbToLin(loudAmount * 1.5 * (maskedness_[0] + maskedness_[1]));
  bv.loudMix = std::min(1.0, loudAmount / 0.1);
  bv.loudDelta = settings.loudDelta.load() > 0.5f;
  return bv;
}

void LimiterEngine::Process(const double* inL, const double* inR, double* outL, double* outR,
                            int nFrames, bool mono) {
  if (nFrames <= 0 || !inL || !inR || !outL || !outR) return;
  mono_ = mono;
  DenormalGuard denormalGuard;
  if (meterResetRequest_.exchange(0, std::memory_order_acquire) != 0) ResetState();

  BlockValues bv = ComputeBlockValues();
  bv.scrub = HasNonFinite(inL, nFrames) || HasNonFinite(inR, nFrames);

  for (int i = 0; i < nFrames; ++i) {
    double xL = inL[i], xR = inR[i];
    if (bv.scrub) {
      if (!std::isfinite(xL)) xL = 0.0;
      if (!std::isfinite(xR)) xR = 0.0;
    }
    double yL, yR;
    ProcessSample(xL, xR, yL, yR, bv);
    // Right first: in mono both outputs may be one buffer, and the left result must win.
    outR[i] = yR;
    outL[i] = yL;
  }

  if (meterCounter_ >= meterPeriod_) meterCounter_ = 0;
}

void LimiterEngine::ProcessSample(double xL, double xR, double& outL, double& outR,
                                  const BlockValues& bv) {
  outL = ProcessChannel(0, xL, bv);
  outR = ProcessChannel(1, xR, bv);
  outputCapture_.Push(static_cast<float>(outL), static_cast<float>(outR));
  ++meterCounter_;
}

double LimiterEngine::ProcessChannel(int ch, double x, const BlockValues& bv) {
  ChannelState& c = channels_[ch];
  const double dry = c.dryDelay.Push(x);  // the raw input, for bypass and delta listening
  (void)dry;
  const double xp = std::clamp(x, -kMaxProcessedMagnitude, kMaxProcessedMagnitude);
  SmoothSquare(c.msIn, bv.a3s, xp);

  const double xr = xp;  // Extra leveler's place
  const double y = xr * bv.driveLin[ch];
  SmoothSquare(c.msDriven, bv.a3s, y);
  c.drivenMeter.Process(static_cast<float>(y));

  const double character = y;  // Character saturator's place
  const double cd = characterDelay_[ch].Push(character);
  characterDiff_[ch].Push(character - y);
  const double z = loudStage_[ch].Push(static_cast<float>(character * bv.loudGain));
  const double w = cd + bv.loudMix * (z - cd);
  const double q = bv.loudMix * (z - cd * bv.loudGain);
  const double u = bv.loudDelta ? q : w;

  const double v = c.lookAhead.Push(u);
  const float p = c.detection.Process(static_cast<float>(u));
  const double g = gainWindows_[ch].Process(u, p, bv.ceilLin[ch], c.msDriven, maskedness_[ch],
                                            gainConstants_);
  minGain_[ch] = std::min(minGain_[ch], g);
  const double o = c.catcher.Process(g * v, static_cast<float>(bv.ceilLin[ch]));

  SmoothSquare(c.msOut, bv.a3s, o);
  SmoothSquare(c.msRef, bv.a3s, xr);
  c.outputMeter.Process(static_cast<float>(o));
  return o;  // output stage's place
}
