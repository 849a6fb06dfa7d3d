#include "app/render/ReferenceLoudness.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bs1770 {

namespace {

constexpr double kNoReading = -100.0;
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = -10.0;
constexpr double kRangeRelativeGateLu = -20.0;
constexpr double kRangeLowPercentile = 0.10;
constexpr double kRangeHighPercentile = 0.95;

// The coefficients BS.1770-4 publishes for 48 kHz.
constexpr std::array<Biquad, 2> kPublished48k = {{
    {1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241, 0.73248077421585},
    {1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621},
}};

// The analog prototypes behind the published coefficients, taken through the bilinear
// transform at any rate (the re-derivation that open-source meters such as libebur128 use).
Biquad HighShelf(double sampleRate) {
  constexpr double kFrequency = 1681.974450955533;
  constexpr double kGainDb = 3.999843853973347;
  constexpr double kQ = 0.7071752369554196;
  const double k = std::tan(std::numbers::pi * kFrequency / sampleRate);
  const double vh = std::pow(10.0, kGainDb / 20.0);
  const double vb = std::pow(vh, 0.4996667741545416);
  const double a0 = 1.0 + k / kQ + k * k;
  return {(vh + vb * k / kQ + k * k) / a0, 2.0 * (k * k - vh) / a0,
          (vh - vb * k / kQ + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
          (1.0 - k / kQ + k * k) / a0};
}

Biquad HighPass(double sampleRate) {
  constexpr double kFrequency = 38.13547087602444;
  constexpr double kQ = 0.5003270373238773;
  const double k = std::tan(std::numbers::pi * kFrequency / sampleRate);
  const double a0 = 1.0 + k / kQ + k * k;
  return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / kQ + k * k) / a0};
}

// Mean powers of the windows of `length` hops that end at every hop, the first one `length`
// hops in; a window the audio does not fill is left out.
std::vector<double> WindowPowers(const std::vector<double>& hopPowers, size_t length, size_t hop) {
  std::vector<double> powers;
  for (size_t end = length; end <= hopPowers.size(); ++end) {
    double sum = 0.0;
    for (size_t i = end - length; i < end; ++i) sum += hopPowers[i];
    powers.push_back(std::max(0.0, sum) / static_cast<double>(length * hop));
  }
  return powers;
}

double MaxLoudness(const std::vector<double>& powers) {
  double loudest = 0.0;
  for (double p : powers) loudest = std::max(loudest, p);
  return PowerToLufs(loudest);
}

double MeanPower(const std::vector<double>& powers) {
  double sum = 0.0;
  for (double p : powers) sum += p;
  return powers.empty() ? 0.0 : sum / static_cast<double>(powers.size());
}

double LufsToPower(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }

std::vector<double> AboveGate(const std::vector<double>& powers, double gatePower) {
  std::vector<double> kept;
  for (double p : powers)
    if (p > gatePower) kept.push_back(p);
  return kept;
}

// EBU Tech 3342: the spread between the 10th and 95th percentiles of the gated short-term
// loudness values.
double LoudnessRange(const std::vector<double>& shortTermPowers) {
  const std::vector<double> absolute = AboveGate(shortTermPowers, LufsToPower(kAbsoluteGateLufs));
  if (absolute.empty()) return 0.0;
  const double gate = PowerToLufs(MeanPower(absolute)) + kRangeRelativeGateLu;
  std::vector<double> gated = AboveGate(absolute, LufsToPower(gate));
  if (gated.empty()) return 0.0;
  std::sort(gated.begin(), gated.end());
  const double last = static_cast<double>(gated.size() - 1);
  const auto at = [&](double percentile) {
    return PowerToLufs(gated[static_cast<size_t>(last * percentile + 0.5)]);
  };
  return at(kRangeHighPercentile) - at(kRangeLowPercentile);
}

}  // namespace

std::array<Biquad, 2> KWeighting(double sampleRate) {
  if (sampleRate == 48000.0) return kPublished48k;
  return {HighShelf(sampleRate), HighPass(sampleRate)};
}

double PowerToLufs(double power) {
  if (!(power > 0.0)) return kNoReading;
  return std::max(kNoReading, -0.691 + 10.0 * std::log10(power));
}

double IntegratedLoudness(const std::vector<double>& blockPowers) {
  const std::vector<double> absolute = AboveGate(blockPowers, LufsToPower(kAbsoluteGateLufs));
  if (absolute.empty()) return kNoReading;
  const double gate = PowerToLufs(MeanPower(absolute)) + kRelativeGateLu;
  return PowerToLufs(MeanPower(AboveGate(absolute, LufsToPower(gate))));
}

Analysis Analyse(const AudioBuffer& audio) {
  Measurement measurement(audio.sampleRate, audio.Channels());
  std::vector<const double*> channels;
  for (const auto& channel : audio.channels) channels.push_back(channel.data());
  measurement.Add(channels.data(), audio.Frames());
  return measurement.Result();
}

// Hops in whole frames, 100 ms rounded as libebur128 and most meters round it.
Measurement::Measurement(double sampleRate, int nChannels)
    : weighting_(KWeighting(sampleRate)),
      state_(static_cast<size_t>(nChannels), std::array<double, 4>{}),
      hop_(static_cast<size_t>((static_cast<long>(sampleRate) + 5) / 10)) {}

// Each stage in direct form II transposed.
void Measurement::Add(const double* const* channels, int64_t frames) {
  for (int64_t n = 0; n < frames; ++n) {
    double power = 0.0;
    for (size_t c = 0; c < state_.size(); ++c) {
      double x = channels[c][n];
      for (size_t k = 0; k < weighting_.size(); ++k) {
        const Biquad& f = weighting_[k];
        double& s1 = state_[c][2 * k];
        double& s2 = state_[c][2 * k + 1];
        const double y = f.b0 * x + s1;
        s1 = f.b1 * x - f.a1 * y + s2;
        s2 = f.b2 * x - f.a2 * y;
        x = y;
      }
      power += x * x;
    }
    hopPower_ += power;
    if (++framesInHop_ == hop_) {
      hopPowers_.push_back(hopPower_);
      hopPower_ = 0.0;
      framesInHop_ = 0;
    }
  }
}

Analysis Measurement::Result() const {
  Analysis analysis;
  analysis.blockPowers = WindowPowers(hopPowers_, 4, hop_);
  std::vector<double> shortTerm = WindowPowers(hopPowers_, 30, hop_);
  analysis.integratedLufs = IntegratedLoudness(analysis.blockPowers);
  analysis.loudnessRangeLu = LoudnessRange(shortTerm);
  analysis.maxMomentaryLufs = MaxLoudness(analysis.blockPowers);
  analysis.maxShortTermLufs = MaxLoudness(shortTerm);
  analysis.shortTermPowers = std::move(shortTerm);
  analysis.hopFrames = hop_;
  return analysis;
}

}  // namespace bs1770
