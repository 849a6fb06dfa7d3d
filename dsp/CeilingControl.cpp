#include "dsp/CeilingControl.h"

#include <algorithm>
#include <cmath>

namespace ceiling_control {

double CodecHeadroomDb(int codecMode, const CodecModelInputs& in) {
  if (codecMode < 1) return 0.0;
  const double l = 0.9954f * std::pow(10.0, in.ceilingDbLeft / 20.0);
  const float m = in.tpTick;
  if (0.794 * l > m) return 0.0;  // the recent true peak sits more than 2 dB under the ceiling

  const float v = static_cast<float>((m - l) / (l + 1e-12));
  const float gr = static_cast<float>(
      -20.0 * std::log10(std::max(std::min(in.gainStateLeft, in.gainStateRight), 1e-12)));
  const float h = in.holding ? 1.0f : 0.0f;
  const float* f = in.features;
  float score = 27.354265f * (v + 0.377015f) / 0.327304f - 32.556885f +
                0.498626f * (f[0] - 0.105265f) / 0.137522f -
                0.031679f * (f[1] - 0.149251f) / 0.038517f -
                0.244677f * (f[2] - 0.040742f) / 0.080564f +
                0.099908f * (gr - 2.181393f) / 2.787799f -
                0.004992f * (h - 0.166928f) / 0.372912f +
                0.324431f * (f[3] - 0.196693f) / 0.259444f +
                0.600396f * (f[4] - 0.978854f) / 0.057085f;
  score = std::clamp(score, -88.0f, 88.0f);
  const float p = 1.0f / (1.0f + std::exp(-score));
  return p < 0.15f ? 0.0 : 1.5 * p;
}

double DynamicOffsetDb(float dynamicCeiling, double outShortTermLufs, float targetLufs) {
  if (!(dynamicCeiling > 0.0f) || !(outShortTermLufs > -99.0)) return 0.0;
  const double e = std::clamp(-0.3 * (outShortTermLufs - targetLufs), -0.5, 0.5);
  return e * dynamicCeiling;
}

}  // namespace ceiling_control
