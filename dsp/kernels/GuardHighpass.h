#pragma once

// The near-Nyquist guard's highpass (dsp/NyquistGuard.h) over many windows: in the plain form, or
// eight (AVX2) or sixteen (AVX-512) windows a pass, one per lane, each lane summed in the plain
// form's four chains with separate multiplies and adds, so every form gives the same bits.
namespace guard {

inline constexpr int kHighpassTaps = 39;

// out[t] = the highpass of window t = x[t .. t + 38], for t < count; `taps` holds 40 floats, the
// last zero.
void Highpasses(const float* taps, const float* x, int count, float* out);

}  // namespace guard
