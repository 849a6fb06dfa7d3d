#include "meters/GainAnalysis.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "dsp/kernels/CpuDispatch.h"
#include "meters/ImpactIndicators.h"

ZARN_LANES_KERNEL_FILE
using namespace lanes;

namespace {

constexpr double kTickSmoothing = 0.8464817248906141;  // exp(-1/6): 300 ms at 50-ms ticks
constexpr double kMaskSmoothing = 0.7165313105737893;  // exp(-1/3): 150 ms
constexpr double kModulationKeep = 0.9048374180359595;  // exp(-0.1)
constexpr double kModulationTake = 0.09516258196404048;

// Absolute threshold of hearing at the bands' centres (40 Hz .. 9.5 kHz), as power.
constexpr double kThreshold[GainAnalysis::kBands] = {60141.59995709922, 34.41701716350437,
                                                     4.009645751441639, 1.3112247789272404,
                                                     1.1172991585360788, 7.492260975337543};
constexpr double kMaskOffset[GainAnalysis::kBands] = {0.008, 0.006, 0.004, 0.004, 0.006, 0.009};

// Masking spread from band j to band k: steep downwards, shallower upwards.
double Spread(int j, int k) {
  if (j == k) return 1.0;
  if (j > k) return std::pow(10.0, -1.2 * (j - k));
  static constexpr double kUpward[6] = {0.0, -0.4, -0.7, -1.0, -1.3, -1.6};
  return std::pow(10.0, kUpward[k - j]);
}

// The 40-point windowed transform of the gain history, bins 1..20.
struct ModulationBasis {
  double window[GainAnalysis::kHistory];
  double cosine[GainAnalysis::kModulationBins + 1][GainAnalysis::kHistory];
  double sine[GainAnalysis::kModulationBins + 1][GainAnalysis::kHistory];
  double spread[GainAnalysis::kBands][GainAnalysis::kBands];
  ModulationBasis() {
    constexpr int n = GainAnalysis::kHistory;
    for (int j = 0; j < n; ++j) window[j] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * j / n);
    for (int i = 1; i <= GainAnalysis::kModulationBins; ++i)
      for (int j = 0; j < n; ++j) {
        cosine[i][j] = std::cos(2.0 * std::numbers::pi * i * j / n);
        sine[i][j] = std::sin(2.0 * std::numbers::pi * i * j / n);
      }
    for (int j = 0; j < GainAnalysis::kBands; ++j)
      for (int k = 0; k < GainAnalysis::kBands; ++k) spread[j][k] = Spread(j, k);
  }
};

const ModulationBasis& Basis() {
  static const ModulationBasis basis;
  return basis;
}

// The load term of four left gains, min(1, -20 log10(g) / 3) while g < 0.9999, else 0. Below
// 0.7079 the term is 1; above it the logarithm is fdlibm's (|g - 1| < 0.3, within an ulp), times
// 1 / ln 10 as glibc's log10 takes it there: now and then an ulp off the per-sample term, which
// the load's 20000-sample average rounds away.
template <class D4>
ZARN_LANES_INLINE D4 LoadTerm(const D4& g) {
  constexpr double kLg1 = 6.666666666666735130e-01, kLg2 = 3.999999999940941908e-01,
                   kLg3 = 2.857142874366239149e-01, kLg4 = 2.222219843214978396e-01,
                   kLg5 = 1.818357216161805012e-01, kLg6 = 1.531383769920937332e-01,
                   kLg7 = 1.479819860511658591e-01;
  constexpr double kInverseLn10 = 4.34294481903251816668e-01;
  const auto reducing = g < 0.9999;  // NaN: 0
  const auto full = g <= 0.7079;
  const D4 one = D4{} + 1.0;
  if (!Any(reducing & ~full)) return Keep(one, reducing & full);
  const D4 f = g - 1.0;
  const D4 s = f / (2.0 + f);
  const D4 z = s * s;
  const D4 w = z * z;
  const D4 r = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7))) + w * (kLg2 + w * (kLg4 + w * kLg6));
  const D4 halfSquare = 0.5 * f * f;
  const D4 log = f - (halfSquare - s * (halfSquare + r));
  const D4 q = -20.0 * (log * kInverseLn10) / 3.0;
  return Keep(Select(full | ~(q < 1.0), one, q), reducing);
}

}  // namespace

void GainAnalysis::Channel::Clear(double transientScore) {
  std::fill(std::begin(history), std::end(history), 1.0);
  historyPosition = 0;
  tickSum = 0.0;
  tickCount = 0;
  std::fill(std::begin(modulation), std::end(modulation), 0.0);
  sum = sumSquares = 0.0;
  n = 0;
  transientSum = 0.0;
  transientCount = 0;
  heldTransientScore = transientScore;
  std::fill(std::begin(e), std::end(e), 0.0f);
  std::fill(std::begin(r), std::end(r), 0.0f);
  std::fill(std::begin(w), std::end(w), 0.0f);
}

void GainAnalysis::Prepare(double sampleRate) {
  Basis();  // built here, never on the audio thread
  sampleRate_ = sampleRate;
  bands_ = BandCoefficients::ForRate(sampleRate);
  loadCoefficient_ = 1.0 - std::exp(-1.0 / sampleRate);
  avx2_ = cpu::UseAvx2();
  // Everything back to its start, the maskedness the gain computer and the Loud stage read too:
  // a prepared engine sounds as a fresh one, whatever it played before.
  const double unity[2] = {1.0, 1.0};
  Reset(unity);
}

void GainAnalysis::Reset(const double* gainState) {
  for (int ch = 0; ch < 2; ++ch) {
    channels_[ch].Clear(gainState[ch]);
    splitA_[ch].Reset();
    splitB_[ch].Reset();
    maskedness_[ch] = 0.0;
  }
  load_ = gainDifference_ = 0.0;
  for (int k = 0; k < kBands; ++k)
    bandLR_[k] = bandLL_[k] = bandRR_[k] = bandCorrelation_[k] = cause_[k] = 0.0;
}

void GainAnalysis::Accumulate(const Taps& t, bool channelsIndependent) {
  float inputBands[2][kBands];
  const bool leftReduces = 1.0 - t.g[0] > 0.001;  // decides for both channels
  for (int ch = 0; ch < 2; ++ch) {
    Channel& c = channels_[ch];
    float outputBands[kBands];
    splitA_[ch].Process(bands_, static_cast<float>(t.o[ch]), outputBands);
    if (leftReduces)
      for (int k = 0; k < kBands; ++k) c.e[k] += outputBands[k] * outputBands[k];
    splitB_[ch].Process(bands_, static_cast<float>(t.u[ch]), inputBands[ch]);
    const double depth = 1.0 - t.gainState[ch];
    if (depth > 0.001)
      for (int k = 0; k < kBands; ++k) {
        const float p = inputBands[ch][k] * inputBands[ch][k];
        c.r[k] += p;
        c.w[k] += static_cast<float>(depth) * p;
      }

    const double g = t.g[ch];
    c.tickSum += g;
    ++c.tickCount;
    c.sum += g;
    c.sumSquares += g * g;
    ++c.n;
    if (t.v[ch] * t.v[ch] > 2.0 * t.msDriven[ch] && g < 0.9999) {
      c.transientSum += g;
      ++c.transientCount;
    }
  }
  for (int k = 0; k < kBands; ++k) {
    bandLR_[k] += inputBands[0][k] * inputBands[1][k];
    bandLL_[k] += inputBands[0][k] * inputBands[0][k];
    bandRR_[k] += inputBands[1][k] * inputBands[1][k];
  }

  const double gl = t.g[0];
  const double q = gl < 0.9999 ? std::min(1.0, -20.0 * std::log10(std::max(gl, 1e-10)) / 3.0) : 0.0;
  load_ = loadCoefficient_ * q + (1.0 - loadCoefficient_) * load_;
  const double delta = channelsIndependent ? t.gainState[0] - t.gainState[1] : 0.0;
  gainDifference_ = 0.001 * delta * delta + 0.999 * gainDifference_;
}

void GainAnalysis::AccumulateBlock(const MeterBlockTaps& t, bool channelsIndependent,
                                   ImpactIndicators& impact) {
  for (int from = 0; from < t.frames; from += kChunk) {
    const int count = std::min(t.frames - from, kChunk);
    if (avx2_) KernelAvx2(t, from, count, channelsIndependent);
    else KernelBaseline(t, from, count, channelsIndependent);
    impact.AccumulateBlock(SplitChunk{count, scratch_.input, scratch_.lowMid[0], 8});
  }
}

// Split pairs (0, 2), (1, 3), (4, none) and band pairs (0, 2), (1, 3), (4, 5) in 8-float vectors,
// lanes o L, o R, u L, u R for each.
namespace {
constexpr int kSplitPairs[3][2] = {{0, 2}, {1, 3}, {4, -1}};
constexpr int kBandPairs[3][2] = {{0, 2}, {1, 3}, {4, 5}};
}  // namespace

template <class L>
ZARN_LANES_INLINE void GainAnalysis::Kernel(const MeterBlockTaps& t, int from, int count,
                                             bool channelsIndependent) {
  SplitPass<L>(t, from, count);
  EnergyPass<L>(t, from, count);
  StereoSumPass<L>(count);
  StatisticsPass<L>(t, from, count, channelsIndependent);
}

// The four band splits, their bands (stored for the next passes) and the low-passes and inputs
// the impact indicators read.
template <class L>
ZARN_LANES_INLINE void GainAnalysis::SplitPass(const MeterBlockTaps& t, int from, int count) {
  using D4 = typename L::D4;
  using F8 = typename L::F8;
  Scratch& sc = scratch_;
  const double *o0 = t.o[0] + from, *o1 = t.o[1] + from, *u0 = t.u[0] + from, *u1 = t.u[1] + from;
  BandSplit* split[4] = {&splitA_[0], &splitA_[1], &splitB_[0], &splitB_[1]};
  float a[3][8], s1[3][8], s2[3][8];
  for (int j = 0; j < 3; ++j) {
    for (int lane = 0; lane < 8; ++lane) {
      const int k = kSplitPairs[j][lane / 4];
      a[j][lane] = k >= 0 ? bands_.a[k] : 0.0f;
      s1[j][lane] = k >= 0 ? split[lane % 4]->s1_[k] : 0.0f;
      s2[j][lane] = k >= 0 ? split[lane % 4]->s2_[k] : 0.0f;
    }
  }
  const F8 a0 = Load<F8>(a[0]), a1 = Load<F8>(a[1]), a2 = Load<F8>(a[2]);
  F8 p0 = Load<F8>(s1[0]), p1 = Load<F8>(s1[1]), p2 = Load<F8>(s1[2]);
  F8 q0 = Load<F8>(s2[0]), q1 = Load<F8>(s2[1]), q2 = Load<F8>(s2[2]);
  for (int n = 0; n < count; ++n) {
    const D4 input = Make4<D4>(o0[n], o1[n], u0[n], u1[n]);
    Store(sc.input[n], input);
    const V4f x4 = ToFloat(input);
    const F8 x = Join<F8>(x4, x4);
    p0 += a0 * (x - p0);
    q0 += a0 * (p0 - q0);
    p1 += a1 * (x - p1);
    q1 += a1 * (p1 - q1);
    p2 += a2 * (x - p2);
    q2 += a2 * (p2 - q2);
    // Band k: low-pass k less low-pass k - 1; band 0 the lowest low-pass, band 5 the rest.
    Store(sc.bands[n], q0 - ZeroLow(q1));
    Store(sc.bands[n] + 8, q1 - q0);
    Store(sc.bands[n] + 16, Join<F8>(Low(q2), x4) - HighLow(q1, q2));
    Store(sc.lowMid[n], q1);
  }
  Lanes(p0, s1[0]);
  Lanes(p1, s1[1]);
  Lanes(p2, s1[2]);
  Lanes(q0, s2[0]);
  Lanes(q1, s2[1]);
  Lanes(q2, s2[2]);
  for (int j = 0; j < 3; ++j) {
    for (int lane = 0; lane < 8; ++lane) {
      const int k = kSplitPairs[j][lane / 4];
      if (k < 0) continue;
      split[lane % 4]->s1_[k] = s1[j][lane];
      split[lane % 4]->s2_[k] = s2[j][lane];
    }
  }
}

// The float band energies: e of the output while the left gain reduces, r of the input while its
// channel's gain state does, and w, r weighed by that depth.
template <class L>
ZARN_LANES_INLINE void GainAnalysis::EnergyPass(const MeterBlockTaps& t, int from, int count) {
  using D4 = typename L::D4;
  using F8 = typename L::F8;
  using M8 = typename L::M8;
  const Scratch& sc = scratch_;
  const double *g0 = t.g[0] + from, *gs0 = t.gainState[0] + from, *gs1 = t.gainState[1] + from;
  // Lanes: e L, e R, r L, r R of each band of a pair; w in the r lanes (its e lanes are never read).
  float er[3][8], w[3][8];
  for (int j = 0; j < 3; ++j) {
    for (int lane = 0; lane < 8; ++lane) {
      const int k = kBandPairs[j][lane / 4], ch = lane % 2;
      const bool input = lane % 4 >= 2;
      er[j][lane] = input ? channels_[ch].r[k] : channels_[ch].e[k];
      w[j][lane] = input ? channels_[ch].w[k] : 0.0f;
    }
  }
  F8 er0 = Load<F8>(er[0]), er1 = Load<F8>(er[1]), er2 = Load<F8>(er[2]);
  F8 w0 = Load<F8>(w[0]), w1 = Load<F8>(w[1]), w2 = Load<F8>(w[2]);
  for (int n = 0; n < count; ++n) {
    const F8 b0 = Load<F8>(sc.bands[n]), b1 = Load<F8>(sc.bands[n] + 8), b2 = Load<F8>(sc.bands[n] + 16);
    const D4 depth = 1.0 - Make4<D4>(g0[n], g0[n], gs0[n], gs1[n]);
    const M8 take = NarrowTwice(depth > 0.001);
    const V4f depth4 = ToFloat(depth);
    const F8 weight = Join<F8>(depth4, depth4);
    const F8 e0 = b0 * b0, e1 = b1 * b1, e2 = b2 * b2;
    er0 += Keep(e0, take);
    er1 += Keep(e1, take);
    er2 += Keep(e2, take);
    w0 += Keep(weight * e0, take);
    w1 += Keep(weight * e1, take);
    w2 += Keep(weight * e2, take);
  }
  Lanes(er0, er[0]);
  Lanes(er1, er[1]);
  Lanes(er2, er[2]);
  Lanes(w0, w[0]);
  Lanes(w1, w[1]);
  Lanes(w2, w[2]);
  for (int j = 0; j < 3; ++j) {
    for (int lane = 0; lane < 8; ++lane) {
      const int k = kBandPairs[j][lane / 4], ch = lane % 2;
      if (lane % 4 >= 2) {
        channels_[ch].r[k] = er[j][lane];
        channels_[ch].w[k] = w[j][lane];
      } else {
        channels_[ch].e[k] = er[j][lane];
      }
    }
  }
}

// Per band, L L, R R and L R of the input bands: the float products summed in double.
template <class L>
ZARN_LANES_INLINE void GainAnalysis::StereoSumPass(int count) {
  using D4 = typename L::D4;
  using F8 = typename L::F8;
  const Scratch& sc = scratch_;
  D4 sums[3][2];
  for (int j = 0; j < 3; ++j)
    for (int h = 0; h < 2; ++h) {
      const int k = kBandPairs[j][h];
      sums[j][h] = Make4<D4>(bandLL_[k], bandRR_[k], bandLR_[k], 0.0);
    }
  for (int n = 0; n < count; ++n) {
    for (int j = 0; j < 3; ++j) {
      const F8 b = Load<F8>(sc.bands[n] + 8 * j);
      D4 lo, hi;
      ToDouble(PermuteHalves<2, 3, 2, 2>(b) * PermuteHalves<2, 3, 3, 3>(b), lo, hi);
      sums[j][0] += lo;
      sums[j][1] += hi;
    }
  }
  for (int j = 0; j < 3; ++j)
    for (int h = 0; h < 2; ++h) {
      const int k = kBandPairs[j][h];
      double lanes[4];
      Lanes(sums[j][h], lanes);
      bandLL_[k] = lanes[0];
      bandRR_[k] = lanes[1];
      bandLR_[k] = lanes[2];
    }
}

// Per channel the sums of the gain and of its square, the transients and their gains; the load
// and the stereo gain difference, each term + keep x state.
template <class L>
ZARN_LANES_INLINE void GainAnalysis::StatisticsPass(const MeterBlockTaps& t, int from, int count,
                                                     bool channelsIndependent) {
  using D4 = typename L::D4;
  Scratch& sc = scratch_;
  const double *g0 = t.g[0] + from, *g1 = t.g[1] + from;
  const double *gs0 = t.gainState[0] + from, *gs1 = t.gainState[1] + from;
  const double *v0 = t.v[0] + from, *v1 = t.v[1] + from;
  const double *ms0 = t.msDriven[0] + from, *ms1 = t.msDriven[1] + from;
  int n = 0;
  for (; n + 4 <= count; n += 4) Store(sc.load + n, LoadTerm(Load<D4>(g0 + n)));
  for (; n < count; ++n) {
    double q[4];
    Lanes(LoadTerm(D4{} + g0[n]), q);
    sc.load[n] = q[0];
  }

  Channel& left = channels_[0];
  Channel& right = channels_[1];
  D4 sums = Make4<D4>(left.sum, right.sum, left.tickSum, right.tickSum);
  V2d squares = {left.sumSquares, right.sumSquares};
  V2d transientSums = {left.transientSum, right.transientSum};
  V2l transients = {};
  V2d smoothed = {load_, gainDifference_};
  const V2d keep = {1.0 - loadCoefficient_, 0.999};
  for (n = 0; n < count; ++n) {
    const V2d g = {g0[n], g1[n]};
    sums += Join<D4>(g, g);
    squares += g * g;
    const V2d v = {v0[n], v1[n]};
    const V2l transient = (v * v > 2.0 * V2d{ms0[n], ms1[n]}) & (g < 0.9999);
    transientSums += Keep(g, transient);
    transients -= transient;
    const double delta = channelsIndependent ? gs0[n] - gs1[n] : 0.0;
    smoothed = V2d{loadCoefficient_ * sc.load[n], 0.001 * delta * delta} + keep * smoothed;
  }
  double sum[4];
  Lanes(sums, sum);
  Channel* c[2] = {&left, &right};
  for (int ch = 0; ch < 2; ++ch) {
    c[ch]->sum = sum[ch];
    c[ch]->tickSum = sum[2 + ch];
    c[ch]->sumSquares = squares[ch];
    c[ch]->transientSum = transientSums[ch];
    c[ch]->transientCount += static_cast<int>(transients[ch]);
    c[ch]->tickCount += count;
    c[ch]->n += count;
  }
  load_ = smoothed[0];
  gainDifference_ = smoothed[1];
}

void GainAnalysis::KernelBaseline(const MeterBlockTaps& t, int from, int count, bool channelsIndependent) {
  Kernel<BaselineLanes>(t, from, count, channelsIndependent);
}
ZARN_LANES_AVX2 void GainAnalysis::KernelAvx2(const MeterBlockTaps& t, int from, int count,
                                               bool channelsIndependent) {
  Kernel<Avx2Lanes>(t, from, count, channelsIndependent);
}

float GainAnalysis::NoiseToMask(const Channel& c) const {
  if (c.n <= 1) return -100.0f;
  const double n = c.n;
  double b[kBands], q[kBands];
  for (int k = 0; k < kBands; ++k) {
    b[k] = c.e[k] / n;
    q[k] = c.r[k] / n;
  }
  const double mean = c.sum / n;
  const double u = mean * mean;
  const ModulationBasis& basis = Basis();
  double worst = -1e308;
  for (int k = 0; k < kBands; ++k) {
    double spread = 0.0;
    for (int j = 0; j < kBands; ++j) spread += b[j] * basis.spread[j][k];
    const double mask = spread * kMaskOffset[k] + kThreshold[k];
    if (b[k] >= 1e-20 && mask >= 1e-20) worst = std::max(worst, std::max(0.0, b[k] - q[k] * u) / mask);
  }
  return worst > 0.0 ? static_cast<float>(10.0 * std::log10(worst)) : -100.0f;
}

float GainAnalysis::Steadiness(Channel& c) {
  float result = 1.0f;
  if (c.n > 1) {
    const double e = c.sum / c.n;
    if (1.0 - e >= 0.01) {
      const double variance =
          std::max(0.0, c.sumSquares / c.n - e * e) / ((1.0 - e) * (1.0 - e) + 4e-4);
      const double steadiness = 1.0 - std::sqrt(variance);
      const double depth = 1.0 - (-20.0 * std::log10(std::max(1e-6, e))) / 24.0;
      result = static_cast<float>(std::clamp(std::max(0.0, depth) * std::max(0.0, steadiness), 0.0, 1.0));
    }
  }
  c.sum = c.sumSquares = 0.0;
  c.n = 0;
  return result;
}

void GainAnalysis::Pumping(Channel& c, float& pwmd, float& ehs) const {
  const double mean = c.tickCount > 0 ? c.tickSum / c.tickCount : 1.0;
  // A long block pushes its mean several times, so the history keeps the true rate.
  const int perTick = std::max(1, static_cast<int>(0.05 * sampleRate_));
  const int pushes = std::clamp(c.tickCount / perTick, 1, kHistory);
  for (int i = 0; i < pushes; ++i) {
    c.history[c.historyPosition] = mean;
    c.historyPosition = (c.historyPosition + 1) % kHistory;
  }
  c.tickSum = 0.0;
  c.tickCount = 0;
  if (1.0 - mean < 0.005) {
    pwmd = 1.0f;
    ehs = 0.0f;
    return;
  }

  const ModulationBasis& basis = Basis();
  double h = 0.0;
  for (double v : c.history) h += v;
  h /= kHistory;
  double centred[kHistory];
  for (int j = 0; j < kHistory; ++j)
    centred[j] = basis.window[j] * (c.history[(c.historyPosition + j) % kHistory] - h);  // oldest first
  for (int i = 1; i <= kModulationBins; ++i) {
    double re = 0.0, im = 0.0;
    for (int j = 0; j < kHistory; ++j) {
      re += centred[j] * basis.cosine[i][j];
      im -= centred[j] * basis.sine[i][j];
    }
    const double magnitude = std::sqrt(re * re + im * im) / kHistory;
    c.modulation[i] = kModulationKeep * c.modulation[i] + kModulationTake * magnitude * magnitude;
  }
  const double* s = c.modulation;
  // Modulation between 2 and 8 Hz, weighted towards 4..6 Hz where pumping is heard most.
  const double p = 0.5 * s[4] + 0.6 * s[5] + 0.7 * s[6] + 0.8 * s[7] + s[8] + s[9] + s[10] +
                   s[11] + s[12] + 0.92 * s[13] + 0.84 * s[14] + 0.76 * s[15] + 0.68 * s[16];
  const double q = (p / 10.8) / std::max(1e-14, 0.04 * (1.0 - mean) * (1.0 - mean));
  pwmd = static_cast<float>(std::clamp(1.0 - std::sqrt(q), 0.0, 1.0));
  double high = 0.0, low = 0.0;
  for (int i = 8; i <= 16; ++i) high += s[i];
  for (int i = 4; i <= 7; ++i) low += s[i];
  ehs = static_cast<float>(std::min(1.0, high / (high + low + 1e-20)));
}

float GainAnalysis::TransientScore(Channel& c) {
  const int m = c.transientCount;
  float result;
  if (m < 1) {
    result = 1.0f;
  } else if (m < 5) {
    result = static_cast<float>(c.heldTransientScore);
  } else {
    c.heldTransientScore = std::clamp(c.transientSum / m, 0.0, 1.0);
    result = static_cast<float>(c.heldTransientScore);
  }
  c.transientSum = 0.0;
  c.transientCount = 0;
  return result;
}

void GainAnalysis::Tick(float ceilingDbLeft, double smoothedGainLeft, MeterSnapshot& s) {
  s.sgdDb = s.sgdMaxDb = gainDifference_ > 1e-10
                             ? static_cast<float>(-20.0 * std::log10(std::sqrt(gainDifference_) + 1.0))
                             : -100.0f;

  s.nmrL = NoiseToMask(channels_[0]);
  s.nmrR = NoiseToMask(channels_[1]);
  const float nmr[2] = {s.nmrL, s.nmrR};
  for (int ch = 0; ch < 2; ++ch)
    maskedness_[ch] = maskedness_[ch] * kMaskSmoothing +
                      (1.0 - kMaskSmoothing) * std::clamp(nmr[ch] / -20.0, 0.0, 1.0);

  s.gespL = Steadiness(channels_[0]);
  s.gespR = Steadiness(channels_[1]);
  Pumping(channels_[0], s.pwmdL, s.ehsL);
  Pumping(channels_[1], s.pwmdR, s.ehsR);
  s.tpsL = s.ascL = TransientScore(channels_[0]);
  s.tpsR = s.ascR = TransientScore(channels_[1]);
  s.lnsL = s.lnsR = static_cast<float>(std::max(0.0, 1.0 - load_));

  const float margin = 20.0f * std::log10(0.9954f);
  s.heiL = s.heiR =
      s.tpL > -100.0f ? std::clamp(1.0f - (ceilingDbLeft + margin - s.tpL) / 6.0f, 0.0f, 1.0f) : 0.0f;

  for (int k = 0; k < kBands; ++k) {
    const double root = std::sqrt(bandLL_[k] * bandRR_[k]);
    const double r = root > 1e-12 ? bandLR_[k] / root : 0.0;
    bandCorrelation_[k] = kTickSmoothing * bandCorrelation_[k] + (1.0 - kTickSmoothing) * r;
    s.multibandCorr[k] = static_cast<float>(bandCorrelation_[k]);
    bandLR_[k] = bandLL_[k] = bandRR_[k] = 0.0;
  }

  double total = 0.0;
  for (int k = 0; k < kBands; ++k) {
    cause_[k] += 0.05 * ((channels_[0].w[k] + channels_[1].w[k]) - cause_[k]);
    total += cause_[k];
  }
  for (int k = 0; k < kBands; ++k)
    s.causeBands[k] = total > 1e-9 ? static_cast<float>(cause_[k] / total) : 0.0f;

  float flatness = 0.0f;
  if (smoothedGainLeft < 0.9995) {
    double mean = 0.0, meanSquare = 0.0;
    for (float p : s.causeBands) {
      mean += p;
      meanSquare += p * p;
    }
    mean /= kBands;
    meanSquare /= kBands;
    flatness = static_cast<float>(std::min(1.0, 50.0 * (meanSquare - mean * mean)));
  }
  s.deltaSfmL = s.deltaSfmR = flatness;

  for (Channel& c : channels_) {
    std::fill(std::begin(c.e), std::end(c.e), 0.0f);
    std::fill(std::begin(c.r), std::end(c.r), 0.0f);
    std::fill(std::begin(c.w), std::end(c.w), 0.0f);
  }
}
