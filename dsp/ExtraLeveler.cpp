#include "dsp/ExtraLeveler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/kernels/VectorMath.h"

namespace {
constexpr double kMaxLiftDb = 14.8;
constexpr double kKneeDb = -18.0;
const double kKneeLin = std::pow(10.0, -0.9);  // -18 dBFS
constexpr double kSlope = 0.6;                  // dB less lift per dB above the knee
constexpr double kStateFloor = 1e-20;
constexpr double kDbPerNeper = 20.0 / std::numbers::ln10;  // 20 log10(x) = kDbPerNeper ln(x)
}  // namespace

ExtraLeveler::Coefficients ExtraLeveler::ForRate(double sampleRate) {
  return {std::exp(-1.0 / (0.01 * sampleRate)), std::exp(-1.0 / (0.15 * sampleRate))};
}

inline double ExtraLeveler::Step(double envelope, double xL, double xR, const Coefficients& c) {
  const double u = std::max(std::fabs(xL), std::fabs(xR));
  const double a = envelope < u ? c.attack : c.release;
  envelope = envelope * a + u * (1.0 - a);
  return envelope < kStateFloor ? 0.0 : envelope;
}

// The envelope follows sample by sample; its level in dB and the gain from it are worked out for
// the whole run at once, with the vector library's log and exp (10^x as e^(x ln 10)), within a few
// units in the last place of the scalar forms.
void ExtraLeveler::GainRun(const double* xL, const double* xR, int n, double amount, const Coefficients& c,
                           double* gains) {
  if (amount <= 0.0) {
    double envelope = envelope_;  // in a local: the stores to gains could alias the member
    for (int i = 0; i < n; ++i) {
      envelope = Step(envelope, xL[i], xR[i], c);
      gains[i] = 1.0;
    }
    envelope_ = envelope;
    return;
  }
  while (n > 0) {
    const int run = std::min(n, kRun);
    double envelopes[kRun], logs[kRun];
    for (int i = 0; i < run; ++i) envelopes[i] = envelope_ = Step(envelope_, xL[i], xR[i], c);
    vmath::Log(envelopes, logs, run);  // -inf at silence, which lies below the knee
    for (int i = 0; i < run; ++i) {
      const double levelDb = kDbPerNeper * logs[i];
      const double reductionDb = envelopes[i] > kKneeLin ? amount * kSlope * (levelDb - kKneeDb) : 0.0;
      gains[i] = (amount * kMaxLiftDb - reductionDb) / kDbPerNeper;  // the gain's natural log
    }
    vmath::Exp(gains, gains, run);
    xL += run;
    xR += run;
    gains += run;
    n -= run;
  }
}

double ExtraLeveler::Gain(double xL, double xR, double amount, const Coefficients& c) {
  double gain;
  GainRun(&xL, &xR, 1, amount, c, &gain);
  return gain;
}
