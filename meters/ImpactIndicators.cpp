#include "meters/ImpactIndicators.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "dsp/kernels/CpuDispatch.h"

ZARN_LANES_KERNEL_FILE
using namespace lanes;

namespace {
constexpr int kLowPass125 = 1;
constexpr int kLowPass1250 = 3;
constexpr double kCodecKeep = 0.99;
}  // namespace

void ImpactIndicators::Prepare(double sampleRate) {
  punchCoefficient_ = std::exp(-1.0 / (0.3 * sampleRate));
  balanceCoefficient_ = std::exp(-1.0 / (3.0 * sampleRate));
  avx2_ = cpu::UseAvx2();
  Reset();  // the codec pre-attenuation feeds the ceiling: nothing of the last preparation stays
}

void ImpactIndicators::Reset() {
  codecPreAttenDb_ = 0.0;
  std::fill(std::begin(ceilingHits_), std::end(ceilingHits_), 0.0f);
  ceilingHitPosition_ = 0;
  std::fill(std::begin(features_), std::end(features_), 0.0f);
}

void ImpactIndicators::AccumulateSide(Side& s, const BandSplit& left, const BandSplit& right,
                                      const double* x) {
  const BandSplit* split[2] = {&left, &right};
  double range[3] = {0.0, 0.0, 0.0};
  for (int ch = 0; ch < 2; ++ch) {
    const double low = split[ch]->LowPass(kLowPass125);
    const double mid = split[ch]->LowPass(kLowPass1250);
    range[0] += low * low;
    range[1] += (mid - low) * (mid - low);
    range[2] += (x[ch] - mid) * (x[ch] - mid);
  }
  const double f = punchCoefficient_;
  for (int r = 0; r < 3; ++r) {
    s.peak[r] = std::max(range[r], f * s.peak[r]);
    s.mean[r] = f * s.mean[r] + (1.0 - f) * range[r];
  }
  const double a = balanceCoefficient_;
  const double total = range[0] + range[1] + range[2] + 1e-20;
  const double midSignal = 0.5 * (x[0] + x[1]), sideSignal = 0.5 * (x[0] - x[1]);
  s.low = a * s.low + (1.0 - a) * range[0];
  s.high = a * s.high + (1.0 - a) * range[2];
  s.total = a * s.total + (1.0 - a) * total;
  s.mid = a * s.mid + (1.0 - a) * midSignal * midSignal;
  s.side = a * s.side + (1.0 - a) * sideSignal * sideSignal;
}

void ImpactIndicators::AccumulateBlock(const SplitChunk& c) {
  if (avx2_) KernelAvx2(c);
  else KernelBaseline(c);
}

// Both sides at once, lanes output then input: ranges 0 and 1 of each side in one vector; range 2
// and the total in another; the mean of range 2 and the low share, mid and side in others. Where
// the compiler fuses multiplies and adds, the averages round differently, within double rounding.
template <class L>
ZARN_LANES_INLINE void ImpactIndicators::Kernel(const SplitChunk& c) {
  using D4 = typename L::D4;
  using F8 = typename L::F8;
  const double f = punchCoefficient_, a = balanceCoefficient_;
  const Side& o = output_;
  const Side& u = input_;
  D4 peak01 = Make4<D4>(o.peak[0], o.peak[1], u.peak[0], u.peak[1]);
  D4 peak2 = Make4<D4>(o.peak[2], 0.0, u.peak[2], 0.0);
  D4 mean01 = Make4<D4>(o.mean[0], o.mean[1], u.mean[0], u.mean[1]);
  D4 mean2Low = Make4<D4>(o.mean[2], o.low, u.mean[2], u.low);
  D4 highTotal = Make4<D4>(o.high, o.total, u.high, u.total);
  D4 midSide = Make4<D4>(o.mid, o.side, u.mid, u.side);
  const D4 keep = Make4<D4>(f, a, f, a), take = Make4<D4>(1.0 - f, 1.0 - a, 1.0 - f, 1.0 - a);
  const D4 sign = Make4<D4>(1.0, -1.0, 1.0, -1.0);
  const float* lowPasses = c.lowPasses;
  for (int i = 0; i < c.frames; ++i, lowPasses += c.stride) {
    D4 lo, mi;
    ToDouble(Load<F8>(lowPasses), lo, mi);
    const D4 x = Load<D4>(c.input[i]);
    const D4 d1 = mi - lo, d2 = x - mi;
    const D4 s0 = lo * lo, s1 = d1 * d1, s2 = d2 * d2;
    // Left plus right, then the total as ((range 0 + range 1) + range 2) + 1e-20.
    const D4 r01 = EvenLanes(s0, s1) + OddLanes(s0, s1);        // ranges 0, 1 out; 0, 1 in
    const D4 r2Sum01 = EvenLanes(s2, r01) + OddLanes(s2, r01);  // range 2, 0 + 1 out; the same in
    const D4 total = (r2Sum01 + EvenLanes(r2Sum01, r2Sum01)) + 1e-20;
    const D4 r2Total = Alternate(r2Sum01, total);               // range 2, total out; the same in
    peak01 = Larger(f * peak01, r01);
    peak2 = Larger(f * peak2, r2Total);  // the total lanes are not read
    mean01 = f * mean01 + (1.0 - f) * r01;
    mean2Low = keep * mean2Low + take * EvenLanes(r2Total, r01);
    highTotal = a * highTotal + (1.0 - a) * r2Total;
    const D4 ms = 0.5 * (EvenLanes(x, x) + OddLanes(x, x) * sign);
    midSide = a * midSide + (1.0 - a) * ms * ms;
  }
  double p01[4], p2[4], m01[4], m2l[4], ht[4], mside[4];
  Lanes(peak01, p01);
  Lanes(peak2, p2);
  Lanes(mean01, m01);
  Lanes(mean2Low, m2l);
  Lanes(highTotal, ht);
  Lanes(midSide, mside);
  Side* side[2] = {&output_, &input_};
  for (int k = 0; k < 2; ++k) {
    Side& s = *side[k];
    s.peak[0] = p01[2 * k];
    s.peak[1] = p01[2 * k + 1];
    s.peak[2] = p2[2 * k];
    s.mean[0] = m01[2 * k];
    s.mean[1] = m01[2 * k + 1];
    s.mean[2] = m2l[2 * k];
    s.low = m2l[2 * k + 1];
    s.high = ht[2 * k];
    s.total = ht[2 * k + 1];
    s.mid = mside[2 * k];
    s.side = mside[2 * k + 1];
  }
}

void ImpactIndicators::KernelBaseline(const SplitChunk& c) { Kernel<BaselineLanes>(c); }
ZARN_LANES_AVX2_FMA void ImpactIndicators::KernelAvx2(const SplitChunk& c) { Kernel<Avx2FmaLanes>(c); }

float ImpactIndicators::CeilingHitFraction(float ceilingDbLeft, float tpL) {
  const float nearCeiling = 0.9441f * static_cast<float>(std::pow(10.0, ceilingDbLeft / 20.0));
  const double peak = tpL > -100.0f ? std::pow(10.0, tpL / 20.0) : 0.0;
  ceilingHits_[ceilingHitPosition_] = peak >= nearCeiling ? 1.0f : 0.0f;
  ceilingHitPosition_ = (ceilingHitPosition_ + 1) % kCeilingHitSlots;
  float hits = 0.0f;
  for (float h : ceilingHits_) hits += h;
  return hits / kCeilingHitSlots;
}

void ImpactIndicators::Tick(float ceilingDbLeft, int codecMode, double codecHeadroomDb,
                            MeterSnapshot& s) {
  s.smoothValidConflict = (s.pwmdL > 0.95f && s.lnsL < 0.05f) || (s.pwmdR > 0.95f && s.lnsR < 0.05f) ||
                          (s.ascL < 0.3f && s.pwmdL > 0.7f) || (s.ascR < 0.3f && s.pwmdR > 0.7f);

  const float deltaPsr = s.deltaPsr;
  s.codecIspRisk = deltaPsr > 2.0f && s.tpL > ceilingDbLeft - 1.0f ? std::min(1.0f, (deltaPsr - 2.0f) * 0.25f)
                                                                    : 0.0f;
  const double target = s.codecIspRisk > 0.1f ? 0.4 * codecMode : 0.0;
  codecPreAttenDb_ = kCodecKeep * codecPreAttenDb_ + (1.0 - kCodecKeep) * target;
  s.srcRisk = std::min(1.0f, s.deltaSfmL * s.causeBands[5] * 2.5f);
  s.mlPreAttenDb = static_cast<float>(codecHeadroomDb);
  s.effCeilDb = static_cast<float>(20.0 * std::log10(static_cast<double>(0.9954f)) + ceilingDbLeft -
                                   codecPreAttenDb_ - codecHeadroomDb);

  float* punch[3] = {&s.punchLowDb, &s.punchMidDb, &s.punchHighDb};
  for (int r = 0; r < 3; ++r) {
    const bool quiet = input_.mean[r] < 1e-7 || output_.mean[r] < 1e-7;
    *punch[r] = quiet ? 0.0f
                      : static_cast<float>(std::max(
                            0.0, 10.0 * std::log10(input_.peak[r] / input_.mean[r]) -
                                     10.0 * std::log10(output_.peak[r] / output_.mean[r])));
  }

  s.deltaLfDb = s.deltaHfDb = s.deltaWidthPct = 0.0f;
  if (input_.total > 1e-7 && output_.total > 1e-7) {
    const double tu = std::max(1e-12, input_.total), to = std::max(1e-12, output_.total);
    auto shareChange = [](double before, double after) {
      return before > 1e-4 && after > 1e-4 ? static_cast<float>(10.0 * std::log10(after / before)) : 0.0f;
    };
    s.deltaLfDb = shareChange(input_.low / tu, output_.low / to);
    s.deltaHfDb = shareChange(input_.high / tu, output_.high / to);
    s.deltaWidthPct = static_cast<float>(
        100.0 * (output_.side / (output_.side + output_.mid + 1e-12) -
                 input_.side / (input_.side + input_.mid + 1e-12)));
  }

  features_[0] = s.causeBands[5];
  features_[1] = s.deltaSfmL;
  features_[2] = s.srcRisk;
  features_[3] = CeilingHitFraction(ceilingDbLeft, s.tpL);
  features_[4] = std::clamp((s.lufsS + 100.0f) / 86.0f, 0.0f, 1.0f);
}
