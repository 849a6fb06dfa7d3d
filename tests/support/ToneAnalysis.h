#pragma once

#include <cstddef>
#include <vector>

// Test signals and single-frequency measurements that share no code with dsp/: sines at exact
// phases, the amplitude of one frequency (a single DFT bin, which is what a Goertzel filter
// computes, evaluated with exact per-sample phases so that a -150 dB harmonic beside a full-scale
// fundamental still reads correctly), and plain RMS and mean over a range.
namespace tone {

// amplitude * sin(2 pi f (n - delay) / rate + phase), with the phase reduced before the sine so
// that long signals keep full precision. delay may be fractional.
std::vector<double> Sine(double rate, double frequency, double amplitude, size_t frames,
                         double phase = 0.0, double delay = 0.0);

// Peak amplitude of the component at `frequency` in x[begin, begin + n). Exact when n covers a
// whole number of its periods; otherwise neighbouring components leak in.
double Amplitude(const std::vector<double>& x, size_t begin, size_t n, double rate,
                 double frequency);

// Amplitude of harmonic h (h = 1: the fundamental) relative to the fundamental, in dB.
double HarmonicDb(const std::vector<double>& x, size_t begin, size_t n, double rate,
                  double fundamental, int h);

double Rms(const std::vector<double>& x, size_t begin, size_t n);
double Mean(const std::vector<double>& x, size_t begin, size_t n);

// 20 log10(a / b), floored at -400 dB.
double RatioDb(double a, double b);

}  // namespace tone
