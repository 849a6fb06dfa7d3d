#pragma once

// The ceiling's block-rate adjustments: the dynamic ceiling that follows the output's short-term
// loudness towards a target, and the codec headroom a logistic model predicts from the meters.
namespace ceiling_control {

struct CodecModelInputs {
  float ceilingDbLeft;
  float tpTick;          // the larger output true peak of the last meter tick, linear
  double gainStateLeft, gainStateRight;
  bool holding;          // either channel's hold counter is running
  const float* features; // top-band cause share, deltaSfmL, srcRisk, ceiling-hit fraction, loudness position
};

// 0, or 0.225 .. 1.5 dB when the model predicts an overshoot after lossy encoding.
double CodecHeadroomDb(int codecMode, const CodecModelInputs& in);

// Louder than the target lowers the ceiling by 0.3 dB per LU, quieter raises it, by at most 0.5 dB;
// nothing until the meters have a short-term loudness.
double DynamicOffsetDb(float dynamicCeiling, double outShortTermLufs, float targetLufs);

}  // namespace ceiling_control
