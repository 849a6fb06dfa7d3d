#include "dsp/LimiterEngine.h"

#include <algorithm>
#include <cmath>

#include "dsp/CeilingControl.h"
#include "dsp/DenormalGuard.h"
#include "dsp/OutputStage.h"

namespace {

constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 768000.0;
constexpr double kMeanSquareFloor = 1e-30;
// Single-precision safety margin under the ceiling, about -0.04 dB.
constexpr float kCeilingMargin = 0.9954f;
// The clippers' threshold until the first block sets it from the drive.
constexpr float kClipperStartThreshold = 0.9954f;

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
  double ceilingDb[2];
  int codecMode;
  float dynamicCeiling;
  float targetLufs;
  double ceilLin[2];  // with the meters' feedback
  double a3s;
  ExtraLeveler::Coefficients extraCoefficients;
  double extra;
  double loudAmount;
  double loudGain;  // with the meters' feedback
  double loudMix;
  bool loudDelta;
  bool channelsIndependent;
  int clipMode;
  double warmBias;
  int characterRow;
  output_stage::Settings output;
  bool scrub;
  // Stages whose output is unused this block (Character at row 0; the clipper while the Loud
  // mix is 0 and the curve unbiased) only follow their input.
  bool characterInCircuit;
  bool clipperInCircuit;
  // The meters only the editor reads run this block: always, unless they were switched off and
  // no setting feeds their readings back into the signal.
  bool displayMeters;
};

LimiterEngine::~LimiterEngine() = default;

LimiterEngine::LimiterEngine() : run_(std::make_unique<RunBuffers>()) {
  // The Loud stage's filters are designed in normalised frequency: once, here, so that Prepare
  // (which a host may call on its audio thread) only resets them.
  for (LoudClipper& clipper : clippers_) clipper.Design();
  Prepare(sampleRate_);
}

bool LimiterEngine::Prepare(double sampleRate) {
  if (!std::isfinite(sampleRate) || sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
    return false;
  sampleRate_ = sampleRate;
  lookAhead_ = std::min(1 + static_cast<int>(0.005 * sampleRate), kMaxLookAhead);
  loudDelay_ = MeasureLoudDelay();
  clipperInCircuit_ = characterInCircuit_ = true;  // freshly reset states are valid ones
  drivenPassedThrough_ = 0;
  inputFrames_ = 0;
  inputEnd_ = INT64_MAX;

  leveler_.Reset();
  loudTaps_.Reset(LoudStageTaps::PeriodFor(sampleRate));
  for (int ch = 0; ch < 2; ++ch) {
    characterDelay_[ch].Resize(loudDelay_ + 1);
    saturators_[ch].Design();
    ChannelState& c = channels_[ch];
    c.lookAhead.Resize(lookAhead_);
    c.catcherGainDelay.Resize(kCatcherDelay + 1, 1.0);  // unity until the first gains arrive
    c.dryDelay.Resize(lookAhead_ + loudDelay_ + kCatcherDelay);
    c.catcher.Prepare(sampleRate);
    c.ResetDetectors();
    c.ClearMeanSquares();
    gainWindows_[ch].Prepare(lookAhead_);
    minGain_[ch] = 1.0;
  }

  gainConstants_ = GainWindow::Constants::ForRate(sampleRate);
  a3s_ = OnePole(3.0, sampleRate);
  extraCoefficients_ = ExtraLeveler::ForRate(sampleRate);
  DesignTables();

  meterCounter_ = 0;
  meterPeriod_ = static_cast<int>(sampleRate * 50.0 / 1000.0);
  PrepareMeters();
  outputCapture_.Resize(static_cast<int>(3.0 * sampleRate));
  prepared_ = true;
  return true;
}

// The Loud stage's delay, measured on the left clipper in the mode it has and in Hard mode (the
// two oversampling paths); the left clipper stays in Hard mode until the next block sets it.
int LimiterEngine::MeasureLoudDelay() {
  LoudClipper& left = clippers_[0];
  for (LoudClipper& clipper : clippers_) {
    clipper.SetThreshold(kClipperStartThreshold);
    clipper.Reset();
  }
  const int current = left.MeasureDelay();
  left.SetMode(LoudClipper::kHard);
  const int hard = left.MeasureDelay();
  return std::max(1, std::max(current, hard));
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
    c.catcher.SetTable(&catcher);
  }
}

void LimiterEngine::ResetState() {
  drivenPassedThrough_ = 0;
  for (int ch = 0; ch < 2; ++ch) {
    channels_[ch].ClearMeanSquares();
    channels_[ch].ResetDetectors();
    gainWindows_[ch].RestartFromCurrentGain();
  }
  ResetMeters();
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
    bv.ceilingDb[ch] = Finite(settings.ceilingDb[ch], -0.1);
  }
  bv.codecMode = settings.codecMode;
  bv.dynamicCeiling = static_cast<float>(Finite(settings.dynamicCeiling, 0.0));
  bv.targetLufs = static_cast<float>(Finite(settings.targetLufs, -9.0));
  bv.a3s = a3s_;

  bv.extra = std::clamp(Finite(settings.extra, 0.0), 0.0, 1.0);
  bv.extraCoefficients = extraCoefficients_;
  const double loud = std::clamp(Finite(settings.loud, 0.0), 0.0, 1.0);
  bv.loudAmount = std::max(loud, std::clamp(2.0 * bv.extra - 1.0, 0.0, 1.0));
  bv.loudMix = std::min(1.0, bv.loudAmount / 0.1);
  bv.loudDelta = settings.loudDelta.load() > 0.5f;
  bv.channelsIndependent = settings.channelsIndependent;
  bv.clipMode = static_cast<int>(std::lround(Finite(settings.loudClipMode, 0.0)));
  bv.warmBias = settings.loudWarm.load() > 0.5f ? 0.1 : 0.0;
  bv.characterRow = static_cast<int>(std::lround(std::clamp(Finite(settings.character, 0.0), 0.0, 10.0)));

  bv.output.bypass = settings.bypass;
  bv.output.levelMatch = settings.levelMatch;
  bv.output.fullDelta = settings.fullDelta.load() > 0.5f;
  bv.output.ditherStep = output_stage::DitherStep(settings.dither);
  // Codec Mode reads the output's true peak and loudness, Dynamic Ceiling its loudness.
  bv.displayMeters = displayMeters_ || bv.codecMode >= 1 || bv.dynamicCeiling > 0.0f;
  ApplyMeterFeedback(bv);
  return bv;
}

// The values the meters feed back into the signal path: at the block's start and again after
// every meter tick within it. They read only what the last tick left, so that they change at
// the same sample whatever the block size.
void LimiterEngine::ApplyMeterFeedback(BlockValues& bv) {
  codecHeadroomDb_ = ceiling_control::CodecHeadroomDb(
      bv.codecMode, {static_cast<float>(bv.ceilingDb[0]), tpTick_, tickGainState_[0], tickGainState_[1],
                     tickHolding_, impact_.Features()});
  const double dynamicOffsetDb =
      ceiling_control::DynamicOffsetDb(bv.dynamicCeiling, loudness_.OutShortTermLufs(), bv.targetLufs);
  const double adjustmentDb = dynamicOffsetDb - impact_.CodecPreAttenDb() - codecHeadroomDb_;
  for (int ch = 0; ch < 2; ++ch) {
    // The dynamic ceiling may raise the ceiling, but never past full scale: above it every
    // fixed-point delivery clips.
    const double ceilingDb = bv.ceilingDb[ch];
    bv.ceilLin[ch] = kCeilingMargin * DbToLin(std::min(ceilingDb + adjustmentDb, std::max(ceilingDb, 0.0)));
  }
  bv.loudGain = DbToLin(bv.loudAmount * 12.0);
  if (bv.loudAmount > 0.0)
    bv.loudGain *= DbToLin(bv.loudAmount * 1.5 * (analysis_.Maskedness(0) + analysis_.Maskedness(1)));
}

void LimiterEngine::ConfigureStages(BlockValues& bv) {
  bv.characterInCircuit = bv.characterRow > 0;
  bv.clipperInCircuit = bv.loudMix > 0.0 || bv.warmBias > 0.0;
  for (int ch = 0; ch < 2; ++ch) {
    LoudClipper& clipper = clippers_[ch];
    // Positive drive raises the clip level with it, so drive pushes into the limiter, not the clipper.
    clipper.SetThreshold(std::max(1.0, bv.driveLin[ch]));
    clipper.SetMode(bv.clipMode);
    clipper.SetBias(bv.warmBias);
    clipper.SetTrackLinear(bv.loudMix > 0.0);
    if (bv.clipperInCircuit && !clipperInCircuit_) clipper.CatchUp();
    saturators_[ch].SetRow(bv.characterRow);
    if (bv.characterInCircuit && !characterInCircuit_) saturators_[ch].CatchUp();
  }
  clipperInCircuit_ = bv.clipperInCircuit;
  characterInCircuit_ = bv.characterInCircuit;
}

// Per-sample readings of one run of at most kFrames samples, handed from stage to stage: the
// front end (drive, Character, Loud) runs over the whole run, then the limiter and the output
// stage, then the meters. No stage reads a later stage's state within a sample, so the order
// of the work changes nothing.
struct LimiterEngine::RunBuffers {
  static constexpr int kFrames = 256;
  double dry[2][kFrames];        // input delayed by the latency
  double in[2][kFrames];         // input as processed (finite, limited in magnitude)
  double reference[2][kFrames];  // after the Extra leveler: the level-match reference
  double driven[2][kFrames];
  double msDriven[2][kFrames];   // the driven mean square as it stood at each sample
  double character[2][kFrames];  // after Character
  float clipperInput[2][kFrames];
  float clipped[2][kFrames];     // the clipper's output
  double linear[2][kFrames];     // its unshaped response after each sample
  double delayed[2][kFrames];    // Character's output delayed as the clipper delays
  double loudOut[2][kFrames];    // after the Loud stage
  double removed[2][kFrames];    // what clipping removed
  double u[2][kFrames];          // limiter input
  float peak[2][kFrames];        // its true peak, for the gain computer
  double v[2][kFrames], g[2][kFrames], gainState[2][kFrames], o[2][kFrames];
  double a[2][kFrames];          // the catcher's input
  float catcherGain[2][kFrames];  // the catcher's own gain on each sample it gave
  float oReading[2][kFrames];    // the catcher's reading of o up to each sample, or NaN
};

void LimiterEngine::Process(const double* inL, const double* inR, double* outL, double* outR,
                            int nFrames, bool mono) {
  if (nFrames <= 0 || !inL || !inR || !outL || !outR) return;
  mono_ = mono;
  DenormalGuard denormalGuard;
  if (meterResetRequest_.exchange(0, std::memory_order_acquire) != 0) ResetState();

  BlockValues bv = ComputeBlockValues();
  bv.scrub = HasNonFinite(inL, nFrames) || HasNonFinite(inR, nFrames);
  ConfigureStages(bv);

  // Runs end where a meter period does, so that the meters' feedback changes at the same sample
  // whatever the block size.
  for (int start = 0; start < nFrames;) {
    const int n = std::min({RunBuffers::kFrames, nFrames - start, std::max(1, meterPeriod_ - meterCounter_)});
    // Every input sample of the run is read before any output sample is written.
    RunFront(inL + start, inR + start, n, bv);
    RunLimiter(outL + start, outR + start, n, bv);
    RunMeters(n, bv);
    start += n;
    if (meterCounter_ >= meterPeriod_) {
      meterCounter_ = 0;
      RunMeterTick();
      ApplyMeterFeedback(bv);
    }
  }
}

void LimiterEngine::RunFront(const double* inL, const double* inR, int n, const BlockValues& bv) {
  RunBuffers& r = *run_;
  // The mean squares in locals for the run: the stores to the buffers could alias the members.
  double msIn[2] = {channels_[0].msIn, channels_[1].msIn};
  double msDriven[2] = {channels_[0].msDriven, channels_[1].msDriven};
  for (int i = 0; i < n; ++i) {
    const double x[2] = {inL[i], inR[i]};
    for (int ch = 0; ch < 2; ++ch) {
      const double xs = bv.scrub && !std::isfinite(x[ch]) ? 0.0 : x[ch];
      r.dry[ch][i] = channels_[ch].dryDelay.Push(xs);  // aligned with the processed output
      const double xp = std::clamp(xs, -kMaxProcessedMagnitude, kMaxProcessedMagnitude);
      SmoothSquare(msIn[ch], bv.a3s, xp);
      r.in[ch][i] = xp;
    }
  }
  double extraGains[RunBuffers::kFrames];
  leveler_.GainRun(r.in[0], r.in[1], n, bv.extra, bv.extraCoefficients, extraGains);
  for (int i = 0; i < n; ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      const double xr = r.in[ch][i] * extraGains[i];
      r.reference[ch][i] = xr;
      const double y = xr * bv.driveLin[ch];
      SmoothSquare(msDriven[ch], bv.a3s, y);
      r.driven[ch][i] = y;
      r.msDriven[ch][i] = msDriven[ch];
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    channels_[ch].msIn = msIn[ch];
    channels_[ch].msDriven = msDriven[ch];
  }
  for (int ch = 0; ch < 2; ++ch) LoudChain(ch, n, bv);
  CutAtProgrammeEdges(n);
  inputFrames_ += n;
  TapLoudStage(n);
  for (int ch = 0; ch < 2; ++ch) channels_[ch].detection.ProcessRun(r.u[ch], n, r.peak[ch]);
  HoldDrivenPeak(n, bv);
}

// The driven meter, of the left channel only. While Character and Loud pass the driven signal
// straight through, the limiter's input is that signal loudDelay_ samples later, and the
// detector reads it with the meter's own table: of the windows the meter needs this run, the
// detector has just read all but the newest loudDelay_. The meter takes those readings once
// both have seen a whole window of the passed-through signal since they were reset (before that
// their windows hold other samples), and reads the rest itself.
void LimiterEngine::HoldDrivenPeak(int n, const BlockValues& bv) {
  if (!bv.displayMeters) {
    drivenPassedThrough_ = 0;  // the meter's own window goes stale
    return;
  }
  const RunBuffers& r = *run_;
  const bool passedThrough = !bv.characterInCircuit && bv.loudMix == 0.0 && !bv.loudDelta;
  const int given = passedThrough && drivenPassedThrough_ >= TruePeakTable::kTaps - 1
                        ? std::max(0, n - loudDelay_) : 0;
  channels_[0].drivenMeter.HoldRun(r.driven[0], n, r.peak[0] + loudDelay_, given);
  drivenPassedThrough_ = passedThrough ? std::min(drivenPassedThrough_ + n, 1 << 20) : 0;
}

void LimiterEngine::RunLimiter(double* outL, double* outR, int n, const BlockValues& bv) {
  RunBuffers& r = *run_;
  for (int ch = 0; ch < 2; ++ch) channels_[ch].lookAhead.Append(r.u[ch], n);
  GainPairRun gains;
  gains.n = n;
  for (int ch = 0; ch < 2; ++ch) {
    for (int i = 0; i < n; ++i) r.v[ch][i] = channels_[ch].lookAhead.Leaving(i);
    gains.u[ch] = r.u[ch];
    gains.peak[ch] = r.peak[ch];
    gains.ceilLin[ch] = bv.ceilLin[ch];
    gains.msDriven[ch] = r.msDriven[ch];
    gains.maskedness[ch] = analysis_.Maskedness(ch);
    gains.gain[ch] = r.g[ch];
    gains.gainState[ch] = r.gainState[ch];
  }
  ProcessGainPair(gainWindows_, gains, gainConstants_);
  for (int ch = 0; ch < 2; ++ch) RunCatcher(ch, n, static_cast<float>(bv.ceilLin[ch]));
  for (int i = 0; i < n; ++i) {
    double out[2];
    for (int ch = 0; ch < 2; ++ch) {
      ChannelState& c = channels_[ch];
      const double o = r.o[ch][i];
      SmoothSquare(c.msOut, bv.a3s, o);
      SmoothSquare(c.msRef, bv.a3s, r.reference[ch][i]);
      const double dry = r.dry[ch][i];
      const double dryForDelta = std::clamp(dry, -kMaxProcessedMagnitude, kMaxProcessedMagnitude);
      out[ch] = output_stage::Process(bv.output, dry, dryForDelta, o, c.msOut, c.msRef,
                                      settings.ditherSeed[ch]);
    }
    if (bv.displayMeters) outputCapture_.Push(static_cast<float>(out[0]), static_cast<float>(out[1]));
    // Right first: in mono both outputs may be one buffer, and the left result must win.
    outR[i] = out[1];
    outL[i] = out[0];
  }
  for (int ch = 0; ch < 2; ++ch) {
    channels_[ch].lookAhead.KeepNewest(n);
    // The meters show the processed signal; the catcher has read most of it already.
    if (bv.displayMeters) channels_[ch].outputMeter.ProcessRun(r.o[ch], r.oReading[ch], n);
  }
}

// The peak catcher over the run, seeing at each step what still lies in the look-ahead at the
// limiter's gain of that step.
void LimiterEngine::RunCatcher(int ch, int n, float ceilLin) {
  RunBuffers& r = *run_;
  ChannelState& c = channels_[ch];
  double* a = r.a[ch];
  for (int i = 0; i < n; ++i) a[i] = r.g[ch][i] * r.v[ch][i];
  const PeakCatcher::RunPreview preview{c.lookAhead.Ahead(0), c.lookAhead.AheadExact(0), c.lookAhead.Length() - 1,
                                        r.g[ch], c.lookAhead.AheadSquares(0)};
  float* outputGain = r.catcherGain[ch];
  c.catcher.ProcessRun(a, n, ceilLin, preview, r.o[ch], r.oReading[ch], outputGain);
  // The reduction really applied to each sample leaving: the limiter's and the catcher's (in a
  // local, as the stores to the delay line could alias the member).
  double least = minGain_[ch];
  for (int i = 0; i < n; ++i) least = std::min(least, c.catcherGainDelay.Push(r.g[ch][i]) * outputGain[i]);
  minGain_[ch] = least;
}

void LimiterEngine::RunMeters(int n, const BlockValues& bv) {
  const RunBuffers& r = *run_;
  MeterBlockTaps taps;
  taps.frames = n;
  for (int ch = 0; ch < 2; ++ch) {
    taps.in[ch] = r.in[ch];
    taps.driven[ch] = r.driven[ch];
    taps.u[ch] = r.u[ch];
    taps.v[ch] = r.v[ch];
    taps.o[ch] = r.o[ch];
    taps.g[ch] = r.g[ch];
    taps.gainState[ch] = r.gainState[ch];
    taps.msDriven[ch] = r.msDriven[ch];
  }
  if (bv.displayMeters) {
    loudness_.AccumulateBlock(taps);
    levels_.AccumulateBlock(taps);
  }
  // The analysis always: the gain computer reads its maskedness.
  analysis_.AccumulateBlock(taps, bv.channelsIndependent, impact_);  // the impact indicators too
  meterCounter_ += n;
}

// Character, then the Loud stage, over the run of one channel's driven signal. A stage out of
// circuit only follows its input.
void LimiterEngine::LoudChain(int ch, int n, const BlockValues& bv) {
  RunBuffers& r = *run_;
  const double* y = r.driven[ch];
  const double* character = y;  // Character out of circuit passes the driven signal
  if (bv.characterInCircuit) {
    saturators_[ch].ProcessRun(y, r.character[ch], n);
    character = r.character[ch];
  } else {
    saturators_[ch].Follow(y, n);
  }
  float* clipperInput = r.clipperInput[ch];
  for (int i = 0; i < n; ++i) {
    r.delayed[ch][i] = characterDelay_[ch].Push(character[i]);  // lines up with the clipper's output
    clipperInput[i] = static_cast<float>(character[i] * bv.loudGain);
  }
  LoudClipper& clipper = clippers_[ch];
  float* clipped = r.clipped[ch];
  double* linear = r.linear[ch];
  if (bv.clipperInCircuit) {
    clipper.ProcessRun(clipperInput, n, clipped, linear);
  } else {
    clipper.Follow(clipperInput, n);
    std::fill(linear, linear + n, clipper.LinearResponse());
  }
  for (int i = 0; i < n; ++i) {
    const double cd = r.delayed[ch][i];
    // With the clipper out of circuit the Loud mix is 0: w is cd either way.
    const double z = bv.clipperInCircuit ? static_cast<double>(clipped[i]) : cd;
    const double w = cd + bv.loudMix * (z - cd);
    // What clipping removed, at the raised level: measured against the clipper's own unshaped
    // response, whose group delay (47.25 or 47.125 samples) a whole-sample dry delay cannot match.
    const double q = bv.loudMix * (z - linear[i]);
    r.loudOut[ch][i] = w;
    r.removed[ch][i] = q;
    r.u[ch][i] = bv.loudDelta ? q : w;
  }
}

void LimiterEngine::EndInputAfter(int64_t frames) {
  inputEnd_ = inputFrames_ + std::max<int64_t>(0, frames);
}

// The Loud stage's output at step i stems from the input loudDelay_ samples earlier; its filters
// ring on either side of the programme, where the cut programme has silence.
void LimiterEngine::CutAtProgrammeEdges(int n) {
  const int64_t source = inputFrames_ - loudDelay_;  // of the run's first step
  const int before = static_cast<int>(std::clamp<int64_t>(-source, 0, n));
  const int after = inputEnd_ - n > source ? n : static_cast<int>(std::max<int64_t>(0, inputEnd_ - source));
  if (before == 0 && after == n) return;
  RunBuffers& r = *run_;
  for (int ch = 0; ch < 2; ++ch) {
    for (int i = 0; i < n; ++i) {
      if (i >= before && i < after) continue;
      r.loudOut[ch][i] = r.removed[ch][i] = r.u[ch][i] = 0.0;
    }
  }
}

// What the meters read of the Loud stage, summed in the order the samples came, both channels
// of each in turn.
void LimiterEngine::TapLoudStage(int n) {
  const RunBuffers& r = *run_;
  LoudStageTaps& taps = loudTaps_;
  double insistIn = taps.insistIn, insistOut = taps.insistOut;
  double charOutEnergy = taps.charOutEnergy, loudDiffEnergy = taps.loudDiffEnergy;
  for (int i = 0; i < n; ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      const double cd = r.delayed[ch][i], w = r.loudOut[ch][i], q = r.removed[ch][i];
      insistIn = std::max(insistIn, std::fabs(r.driven[ch][i]));
      insistOut = std::max(insistOut, std::fabs(w));
      charOutEnergy += cd * cd;
      loudDiffEnergy += q * q;
    }
    taps.TakeWave((r.driven[0][i] + r.driven[1][i]) / 2.0, (r.loudOut[0][i] + r.loudOut[1][i]) / 2.0);
  }
  taps.insistIn = insistIn;
  taps.insistOut = insistOut;
  taps.charOutEnergy = charOutEnergy;
  taps.loudDiffEnergy = loudDiffEnergy;
}
