#include "meters/GainAnalysis.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

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
  for (int ch = 0; ch < 2; ++ch) {
    channels_[ch].Clear(1.0);
    splitA_[ch].Reset();
    splitB_[ch].Reset();
  }
  gainDifference_ = 0.0;
  for (int k = 0; k < kBands; ++k) bandLR_[k] = bandLL_[k] = bandRR_[k] = bandCorrelation_[k] = 0.0;
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
