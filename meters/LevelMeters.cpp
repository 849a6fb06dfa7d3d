#include "meters/LevelMeters.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "dsp/kernels/CpuDispatch.h"

ZARN_LANES_KERNEL_FILE
using namespace lanes;

namespace {
double Coefficient(double seconds, double sampleRate) {
  return 1.0 - std::exp(-1.0 / (seconds * sampleRate));
}
constexpr double kCorrelationSmoothing = 0.8464817248906141;  // exp(-1/6): 300 ms at 50-ms ticks
}  // namespace

float PowerDb(double power) {
  return power > 1e-10 ? static_cast<float>(10.0 * std::log10(power)) : -100.0f;
}

float AmplitudeDb(double amplitude) {
  return amplitude > 1e-10 ? static_cast<float>(20.0 * std::log10(amplitude)) : -100.0f;
}

void LevelMeters::Prepare(double sampleRate) {
  cIn_ = Coefficient(0.3, sampleRate);
  cFast_ = Coefficient(0.0651, sampleRate);
  cSlow_ = Coefficient(0.095, sampleRate);
  avx2_ = cpu::UseAvx2();
  Reset();
}

void LevelMeters::Reset() {
  for (int ch = 0; ch < 2; ++ch) msIn_[ch] = msFast_[ch] = msSlow_[ch] = 0.0;
  for (auto& ring : peaks_) std::fill(std::begin(ring), std::end(ring), 0.0f);
  peakPosition_ = 0;
  sumLR_ = sumLL_ = sumRR_ = 0.0;
  count_ = 0;
  correlation_ = 0.0;
}

void LevelMeters::AccumulateBlock(const MeterBlockTaps& t) {
  if (avx2_) KernelAvx2(t);
  else KernelBaseline(t);
}

// Fast and slow averages of the output in one vector, the input's in another; the correlation
// sums as LR, LL, RR.
template <class L>
ZARN_LANES_INLINE void LevelMeters::Kernel(const MeterBlockTaps& t) {
  using D4 = typename L::D4;
  const V2d cIn = V2d{} + cIn_, keepIn = V2d{} + (1.0 - cIn_);
  const D4 cOut = Make4<D4>(cFast_, cFast_, cSlow_, cSlow_);
  const D4 keepOut = Make4<D4>(1.0 - cFast_, 1.0 - cFast_, 1.0 - cSlow_, 1.0 - cSlow_);
  V2d msIn = {msIn_[0], msIn_[1]};
  D4 msOut = Make4<D4>(msFast_[0], msFast_[1], msSlow_[0], msSlow_[1]);
  D4 sums = Make4<D4>(sumLR_, sumLL_, sumRR_, 0.0);
  const double *in0 = t.in[0], *in1 = t.in[1], *o0 = t.o[0], *o1 = t.o[1];
  for (int i = 0; i < t.frames; ++i) {
    const V2d x = {in0[i], in1[i]};
    // Fused, the average's own product goes into the multiply-add (and rounds once).
    if constexpr (L::kFused) msIn = keepIn * msIn + cIn * x * x;
    else msIn = cIn * x * x + keepIn * msIn;
    const V2d o = {o0[i], o1[i]};
    const D4 oo = Join<D4>(o, o);
    if constexpr (L::kFused) msOut = keepOut * msOut + cOut * oo * oo;
    else msOut = cOut * oo * oo + keepOut * msOut;
    sums += Make4<D4>(o0[i], o0[i], o1[i], 0.0) * Make4<D4>(o1[i], o0[i], o1[i], 0.0);
  }
  double out[4], sum[4];
  Lanes(msOut, out);
  Lanes(sums, sum);
  for (int ch = 0; ch < 2; ++ch) {
    msIn_[ch] = msIn[ch];
    msFast_[ch] = out[ch];
    msSlow_[ch] = out[2 + ch];
  }
  sumLR_ = sum[0];
  sumLL_ = sum[1];
  sumRR_ = sum[2];
  count_ += t.frames;
}

void LevelMeters::KernelBaseline(const MeterBlockTaps& t) { Kernel<BaselineLanes>(t); }
ZARN_LANES_AVX2_FMA void LevelMeters::KernelAvx2(const MeterBlockTaps& t) { Kernel<Avx2FmaLanes>(t); }

void LevelMeters::TickLevels(const double* smoothedGain, bool channelsIndependent,
                             MeterSnapshot& s) {
  s.inL = PowerDb(msIn_[0]);
  s.inR = PowerDb(msIn_[1]);
  float* vu[2] = {&s.vuL, &s.vuR};
  for (int ch = 0; ch < 2; ++ch) {
    // The fast average, lifted while it runs ahead of the slow one: a VU needle's overshoot.
    const double v = msFast_[ch] *
                     (1.0 + 0.6 * std::max(0.0, msFast_[ch] - msSlow_[ch]) / std::max(1e-20, msSlow_[ch]));
    *vu[ch] = PowerDb(v);
  }
  auto reduction = [](double g) {
    return g >= 0.999999 ? 0.0f : static_cast<float>(20.0 * std::log10(std::max(1e-10, g)));
  };
  s.grL = reduction(smoothedGain[0]);
  s.grR = channelsIndependent ? reduction(smoothedGain[1]) : s.grL;
}

float LevelMeters::TickPeaks(float outL, float outR, float drivenL, double drivenShortTermLufs,
                             MeterSnapshot& s) {
  peaks_[0][peakPosition_] = outL;
  peaks_[1][peakPosition_] = outR;
  peaks_[2][peakPosition_] = drivenL;
  peakPosition_ = (peakPosition_ + 1) % kPeakSlots;
  const float pl = *std::max_element(std::begin(peaks_[0]), std::end(peaks_[0]));
  const float pr = *std::max_element(std::begin(peaks_[1]), std::end(peaks_[1]));
  const float pi = *std::max_element(std::begin(peaks_[2]), std::end(peaks_[2]));
  s.tpL = AmplitudeDb(pl);
  s.tpR = AmplitudeDb(pr);

  const float peakOutDb = AmplitudeDb(pl), peakInDb = AmplitudeDb(pi);
  s.psrOut = s.lufsS > -70.0f && peakOutDb > -100.0f ? peakOutDb - s.lufsS : -100.0f;
  s.psrIn = drivenShortTermLufs > -70.0 && peakInDb > -100.0f
                ? static_cast<float>(peakInDb - drivenShortTermLufs)
                : -100.0f;
  s.deltaPsr = s.psrIn > -100.0f && s.psrOut > -100.0f ? std::max(0.0f, s.psrIn - s.psrOut) : -100.0f;
  return std::max(outL, outR);
}

void LevelMeters::TickCorrelation(MeterSnapshot& s) {
  if (count_ < 1) {
    s.corrR = static_cast<float>(correlation_);
    return;
  }
  const bool leftSilent = sumLL_ < 1e-9, rightSilent = sumRR_ < 1e-9;
  if (leftSilent != rightSilent) {
    s.corrR = 2.0f;  // exactly one channel silent
  } else {
    const double root = std::sqrt(sumLL_ * sumRR_);
    const double r = root > 1e-12 ? sumLR_ / root : correlation_;
    correlation_ = kCorrelationSmoothing * correlation_ + (1.0 - kCorrelationSmoothing) * r;
    s.corrR = static_cast<float>(correlation_);
  }
  sumLR_ = sumLL_ = sumRR_ = 0.0;
  count_ = 0;
}
