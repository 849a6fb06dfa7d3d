#include "meters/LoudnessMeter.h"

#include <algorithm>
#include <cmath>

#include "dsp/kernels/CpuDispatch.h"

ZARN_LANES_KERNEL_FILE
using namespace lanes;

namespace {

// One stage of the K-weighting for several filters side by side, lane by lane the arithmetic of
// KWeightingFilter::Step.
template <class V>
struct VectorBiquad {
  V b0, b1, b2, a1, a2;
  explicit VectorBiquad(const Biquad& q)
      : b0(V{} + q.b0), b1(V{} + q.b1), b2(V{} + q.b2), a1(V{} + q.a1), a2(V{} + q.a2) {}
  // Four lanes: two of p, two of q.
  VectorBiquad(const Biquad& p, const Biquad& q)
      : b0(Make4<V>(p.b0, p.b0, q.b0, q.b0)), b1(Make4<V>(p.b1, p.b1, q.b1, q.b1)),
        b2(Make4<V>(p.b2, p.b2, q.b2, q.b2)), a1(Make4<V>(p.a1, p.a1, q.a1, q.a1)),
        a2(Make4<V>(p.a2, p.a2, q.a2, q.a2)) {}
};

// Fused: the older state's terms first, so that the recursion waits for one fused step, not for
// a multiply and two subtractions (the sums round differently, within double rounding).
template <class V, class M, bool kFused>
ZARN_LANES_INLINE V Step(const VectorBiquad<V>& q, V& s0, V& s1, const V& x) {
  V w = kFused ? (x - q.a2 * s1) - q.a1 * s0 : x - q.a1 * s0 - q.a2 * s1;
  const V magnitude = Keep(w, M{} + 0x7fffffffffffffffLL);
  w = Keep(w, ~(magnitude < 1e-20));  // NaN stays
  const V y = kFused ? (q.b2 * s1 + q.b1 * s0) + q.b0 * w : q.b0 * w + q.b1 * s0 + q.b2 * s1;
  s1 = s0;
  s0 = w;
  return y;
}

}  // namespace

void LoudnessMeter::Prepare(double sampleRate) {
  k_ = KWeightingCoefficients::Design(sampleRate);
  const int momentary = static_cast<int>(std::lround(0.4 * sampleRate));
  const int shortTerm = static_cast<int>(std::lround(3.0 * sampleRate));
  momentaryLength_ = momentary;
  shortTermLength_ = shortTerm;
  maxStep_ = std::max(1, static_cast<int>(std::lround(0.01 * sampleRate)));
  momentary_.Resize(momentary);
  shortTerm_.Resize(shortTerm);
  avx2_ = cpu::UseAvx2();
  Reset();
}

void LoudnessMeter::Reset() {
  for (int ch = 0; ch < 2; ++ch) {
    out_[ch].Reset();
    in_[ch].Reset();
    driven_[ch].Reset();
  }
  momentary_.Clear();
  shortTerm_.Clear();
  outGating_.Clear();
  inGating_.Clear();
  range_.Clear();
  gatingPhase_ = 0;
  samplesSinceReset_ = 0;
  untilMaxStep_ = maxStep_;
  maxMomentaryPower_ = 0.0;
  outShortTermLufs_ = -100.0;
}

void LoudnessMeter::StepMomentaryMax() {
  maxMomentaryPower_ = std::max(maxMomentaryPower_, momentary_.Mean(0) + momentary_.Mean(1));
  untilMaxStep_ = maxStep_;
}

double LoudnessMeter::MaxMomentaryLufs(bool mono) const {
  return LoudnessOfPower(maxMomentaryPower_ * MonoFactor(mono));
}

void LoudnessMeter::Accumulate(const double* x, const double* y, const double* o) {
  if (samplesSinceReset_ < shortTermLength_) ++samplesSinceReset_;
  double momentary[4], shortTerm[4];
  for (int ch = 0; ch < 2; ++ch) {
    const double ko = out_[ch].Process(k_, o[ch]);
    const double ki = in_[ch].Process(k_, x[ch]);
    const double kd = driven_[ch].Process(k_, y[ch]);
    momentary[ch] = shortTerm[ch] = ko * ko;
    momentary[2 + ch] = ki * ki;
    shortTerm[2 + ch] = kd * kd;
  }
  momentary_.Push(momentary);
  shortTerm_.Push(shortTerm);
  if (--untilMaxStep_ == 0) StepMomentaryMax();
}

void LoudnessMeter::AccumulateBlock(const MeterBlockTaps& t) {
  samplesSinceReset_ = std::min(shortTermLength_, samplesSinceReset_ + t.frames);
  // Runs end where a ring wraps and where the maximum is due.
  for (int from = 0; from < t.frames;) {
    const int to =
        from + std::min({t.frames - from, untilMaxStep_, momentary_.UntilWrap(), shortTerm_.UntilWrap()});
    if (avx2_) KernelAvx2(t, from, to);
    else KernelBaseline(t, from, to);
    untilMaxStep_ -= to - from;
    if (untilMaxStep_ == 0) StepMomentaryMax();
    from = to;
  }
}

// Output and input in one 4-lane vector, both stages in turn. The driven signal's two stages run
// side by side in another, the high-pass a sample behind the shelf (lanes shelf L, R, high-pass
// L, R): its first shelf step and last high-pass step run alone. The squares go straight into the
// rings, the short-term ring's a sample late.
template <class L>
ZARN_LANES_INLINE void LoudnessMeter::Kernel(const MeterBlockTaps& t, int from, int to) {
  using D4 = typename L::D4;
  using M4 = typename L::M4;
  const VectorBiquad<D4> shelf4(k_.shelf), highPass4(k_.highPass), staggered(k_.shelf, k_.highPass);
  const VectorBiquad<V2d> shelf2(k_.shelf), highPass2(k_.highPass);
  KWeightingFilter* four[4] = {&out_[0], &out_[1], &in_[0], &in_[1]};
  D4 s1[2], s2[2];
  V2d d1[2], d2[2];
  for (int j = 0; j < 2; ++j) {
    s1[j] = Make4<D4>(four[0]->s1_[j], four[1]->s1_[j], four[2]->s1_[j], four[3]->s1_[j]);
    s2[j] = Make4<D4>(four[0]->s2_[j], four[1]->s2_[j], four[2]->s2_[j], four[3]->s2_[j]);
    d1[j] = V2d{driven_[0].s1_[j], driven_[1].s1_[j]};
    d2[j] = V2d{driven_[0].s2_[j], driven_[1].s2_[j]};
  }
  D4 sumM = Load<D4>(momentary_.Sums()), sumS = Load<D4>(shortTerm_.Sums());
  double* m = momentary_.Slot(momentary_.Position());
  double* s = shortTerm_.Slot(shortTerm_.Position());
  const double *o0 = t.o[0], *o1 = t.o[1], *in0 = t.in[0], *in1 = t.in[1];
  const double *driven0 = t.driven[0], *driven1 = t.driven[1];

  auto outAndIn = [&](int i) {
    const D4 x = Make4<D4>(o0[i], o1[i], in0[i], in1[i]);
    const D4 y = Step<D4, M4, L::kFused>(highPass4, s2[0], s2[1], Step<D4, M4, L::kFused>(shelf4, s1[0], s1[1], x));
    const D4 p = y * y;
    sumM += p - Load<D4>(m);
    Store(m, p);
    m += 4;
    return p;
  };
  // The driven high-pass takes the shelf's output of two samples before: the shelf's step of one
  // sample does not wait for the high-pass's of the sample before. The short-term ring's pushes
  // follow two samples late.
  V2d shelved[2];
  D4 powers[2];
  int i = from;
  for (; i < to && i < from + 2; ++i) {
    powers[i - from] = outAndIn(i);
    shelved[i - from] = Step<V2d, V2l, L::kFused>(shelf2, d1[0], d1[1], V2d{driven0[i], driven1[i]});
  }
  auto pushShortTerm = [&](const D4& p, const V2d& late) {
    const D4 pS = Join<D4>(Low(p), late * late);
    sumS += pS - Load<D4>(s);
    Store(s, pS);
    s += 4;
  };
  if (i < to) {
    D4 z0 = Join<D4>(d1[0], d2[0]), z1 = Join<D4>(d1[1], d2[1]);
    for (; i < to; ++i) {
      const D4 p = outAndIn(i);
      const D4 y = Step<D4, M4, L::kFused>(staggered, z0, z1, Join<D4>(V2d{driven0[i], driven1[i]}, shelved[0]));
      pushShortTerm(powers[0], High(y));
      shelved[0] = shelved[1];
      shelved[1] = Low(y);
      powers[0] = powers[1];
      powers[1] = p;
    }
    for (int j = 0; j < 2; ++j) {
      const D4& z = j == 0 ? z0 : z1;
      d1[j] = Low(z);
      d2[j] = High(z);
    }
  }
  for (int k = 0; k < std::min(2, to - from); ++k)
    pushShortTerm(powers[k], Step<V2d, V2l, L::kFused>(highPass2, d2[0], d2[1], shelved[k]));

  for (int j = 0; j < 2; ++j) {
    double lanes1[4], lanes2[4];
    Lanes(s1[j], lanes1);
    Lanes(s2[j], lanes2);
    for (int lane = 0; lane < 4; ++lane) {
      four[lane]->s1_[j] = lanes1[lane];
      four[lane]->s2_[j] = lanes2[lane];
    }
    for (int ch = 0; ch < 2; ++ch) {
      driven_[ch].s1_[j] = d1[j][ch];
      driven_[ch].s2_[j] = d2[j][ch];
    }
  }
  Lanes(sumM, momentary_.Sums());
  Lanes(sumS, shortTerm_.Sums());
  momentary_.Advance(to - from);
  shortTerm_.Advance(to - from);
}

void LoudnessMeter::KernelBaseline(const MeterBlockTaps& t, int from, int to) {
  Kernel<BaselineLanes>(t, from, to);
}
ZARN_LANES_AVX2_FMA void LoudnessMeter::KernelAvx2(const MeterBlockTaps& t, int from, int to) {
  Kernel<Avx2FmaLanes>(t, from, to);
}

void LoudnessMeter::TickOutput(bool mono, MeterSnapshot& s) {
  const double g = MonoFactor(mono);
  s.lufsL = static_cast<float>(LoudnessOfPower(momentary_.Mean(0)));
  s.lufsR = static_cast<float>(LoudnessOfPower(momentary_.Mean(1)));
  const double momentary = (momentary_.Mean(0) + momentary_.Mean(1)) * g;
  s.lufsM = static_cast<float>(LoudnessOfPower(momentary));
  const double shortTerm = (shortTerm_.Mean(0) + shortTerm_.Mean(1)) * g;
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
    inGating_.Add((momentary_.Mean(2) + momentary_.Mean(3)) * MonoFactor(mono));
  s.lufsI_in = inGating_.IntegratedLoudness();
}

double LoudnessMeter::DrivenShortTermLufs(bool mono) const {
  return LoudnessOfPower((shortTerm_.Mean(2) + shortTerm_.Mean(3)) * MonoFactor(mono));
}
