#pragma once

#include <cstddef>
#include <vector>

// An independent true-peak meter for checking the limiter: shares no code with dsp/. Upsamples
// 16 times through a long Kaiser-windowed sinc (512 zero crossings: 512 taps per phase, beta 12,
// double precision) and refines every local maximum of the upsampled magnitude with a parabola,
// so that a tone up to 0.48 of the sample rate reads its peak to within about 1e-5. A shorter
// sinc reads full-band material (white noise, clicks, clipped edges) several tenths of a dB
// wrong, as its transition band straddles the Nyquist frequency. Samples outside the signal
// count as 0.
namespace reference {

constexpr int kOversampling = 16;
constexpr int kTapsPerPhase = 512;

// Largest magnitude of the band-limited signal through x[0..n) between sample positions
// `begin` (included) and `end` (excluded). Every sample of x takes part in the interpolation, so
// a range that starts in the middle of a signal has no artificial edge.
double TruePeak(const double* x, size_t n, size_t begin, size_t end);

inline double TruePeak(const std::vector<double>& x, size_t begin = 0) {
  return TruePeak(x.data(), x.size(), begin, x.size());
}

double SamplePeak(const std::vector<double>& x, size_t begin = 0);

// 20 log10, floored at -200 dB.
double ToDb(double amplitude);

}  // namespace reference
