#include "meters/KWeighting.h"

#include <cmath>

KWeightingCoefficients KWeightingCoefficients::Design(double sampleRate) {
  KWeightingCoefficients k;
  {
    const double K = std::tan(5284.078578647628 / sampleRate);
    const double Q = 0.7071752369554196;
    const double Vh = std::pow(10.0, 0.19999219269866736);
    const double Vb = std::pow(Vh, 0.4996667741545416);
    const double a0 = 1.0 + K / Q + K * K;
    k.shelf = {(Vh + Vb * K / Q + K * K) / a0, 2.0 * (K * K - Vh) / a0,
               (Vh - Vb * K / Q + K * K) / a0, 2.0 * (K * K - 1.0) / a0,
               (1.0 - K / Q + K * K) / a0};
  }
  {
    const double K = std::tan(119.8061151453059 / sampleRate);
    const double Q = 0.5003270373238773;
    const double w = K * K + K / Q + 1.0;
    k.highPass = {1.0 / w, -2.0 / w, 1.0 / w, 2.0 * (K * K - 1.0) / w, (K * K - K / Q + 1.0) / w};
  }
  return k;
}
