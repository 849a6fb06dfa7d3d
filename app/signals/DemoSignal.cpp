// The demo mix of signals::Demo: a drum pattern over a chord progression.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "app/audio/Decibels.h"
#include "app/signals/ConverterFilter.h"
#include "app/signals/NoiseSource.h"
#include "app/signals/SignalTiming.h"
#include "app/signals/TestSignals.h"

namespace signals {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kBeatSeconds = 0.5;  // 120 bpm
constexpr double kBarSeconds = 4.0 * kBeatSeconds;
constexpr double kPeakDbfs = -2.0;
constexpr uint64_t kDrumSeed = 0x5EED0D0Eull;

// Adds a mono sound into the mix at `startSeconds`, scaled per side; the end is cut at the mix's
// length.
void Place(Stereo& mix, const std::vector<double>& sound, double startSeconds, double gainLeft,
           double gainRight) {
  const size_t start = FrameCount(mix.sampleRate, startSeconds);
  const size_t end = std::min(mix.left.size(), start + sound.size());
  for (size_t i = start; i < end; ++i) {
    mix.left[i] += gainLeft * sound[i - start];
    mix.right[i] += gainRight * sound[i - start];
  }
}

// A sine body falling from 160 Hz to 48 Hz within about 50 ms, starting away from its zero
// crossing, plus a 1.5 ms noise click for the beater: the sharpest attack of the mix.
std::vector<double> Kick(double sampleRate, NoiseSource& noise) {
  std::vector<double> sound(FrameCount(sampleRate, 0.45));
  double phase = std::numbers::pi / 3.0;
  for (size_t i = 0; i < sound.size(); ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const double body = std::sin(phase) * std::exp(-t / 0.16);
    const double click = t < 0.0015 ? 0.6 * noise.Next() * (1.0 - t / 0.0015) : 0.0;
    sound[i] = body + click;
    phase += kTwoPi * (48.0 + 112.0 * std::exp(-t / 0.04)) / sampleRate;
  }
  return sound;
}

// A short 185 Hz tone under a longer burst of brightened noise (the snares).
std::vector<double> Snare(double sampleRate, NoiseSource& noise) {
  std::vector<double> sound(FrameCount(sampleRate, 0.3));
  double previousWhite = 0.0;
  for (size_t i = 0; i < sound.size(); ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const double white = noise.Next();
    const double bright = white - previousWhite;  // first difference: +6 dB per octave
    previousWhite = white;
    sound[i] = 0.55 * std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05) +
               0.35 * bright * std::exp(-t / 0.08);
  }
  return sound;
}

// Noise tilted hard towards the top octaves, instant attack, exponential decay.
std::vector<double> HiHat(double sampleRate, NoiseSource& noise, double decaySeconds) {
  std::vector<double> sound(FrameCount(sampleRate, 6.0 * decaySeconds));
  double previous = 0.0, beforePrevious = 0.0;
  for (size_t i = 0; i < sound.size(); ++i) {
    const double t = static_cast<double>(i) / sampleRate;
    const double white = noise.Next();
    const double bright = white - 2.0 * previous + beforePrevious;  // second difference
    beforePrevious = previous;
    previous = white;
    sound[i] = 0.25 * bright * std::exp(-t / decaySeconds);
  }
  return sound;
}

void AddDrumBar(Stereo& mix, double barStart, int bar, NoiseSource& noise) {
  const auto kick = Kick(mix.sampleRate, noise);
  Place(mix, kick, barStart, 1.0, 1.0);
  Place(mix, kick, barStart + 2.0 * kBeatSeconds, 1.0, 1.0);
  if (bar % 2 == 1) Place(mix, kick, barStart + 3.5 * kBeatSeconds, 0.7, 0.7);

  for (double beat : {1.0, 3.0})
    Place(mix, Snare(mix.sampleRate, noise), barStart + beat * kBeatSeconds, 0.8, 0.7);

  for (int eighth = 0; eighth < 8; ++eighth) {
    const bool open = eighth == 7;
    const double velocity = (eighth % 2 == 1 ? 1.0 : 0.7) * (0.9 + 0.1 * noise.Next());
    const auto hat = HiHat(mix.sampleRate, noise, open ? 0.12 : 0.03);
    Place(mix, hat, barStart + eighth * 0.5 * kBeatSeconds, 0.6 * velocity, 1.0 * velocity);
  }
}

// Sustain with a soft attack and a raised-cosine release after `holdSeconds`.
double NoteEnvelope(double t, double holdSeconds) {
  constexpr double kAttack = 0.06, kRelease = 0.2;
  if (t < kAttack) return t / kAttack;
  if (t < holdSeconds) return 1.0;
  if (t < holdSeconds + kRelease)
    return 0.5 * (1.0 + std::cos(std::numbers::pi * (t - holdSeconds) / kRelease));
  return 0.0;
}

// One partial of a note, by a rotating phasor (exact enough over a few seconds and much cheaper
// than a sin() per sample).
void AddPartial(Stereo& mix, size_t start, double frequency, double amplitude, double phase,
                double gainLeft, double gainRight, double holdSeconds) {
  const double step = kTwoPi * frequency / mix.sampleRate;
  const double stepCos = std::cos(step), stepSin = std::sin(step);
  double c = std::cos(phase), s = std::sin(phase);
  const size_t end = std::min(mix.left.size(), start + FrameCount(mix.sampleRate, holdSeconds + 0.2));
  for (size_t i = start; i < end; ++i) {
    const double v = amplitude * s * NoteEnvelope(static_cast<double>(i - start) / mix.sampleRate, holdSeconds);
    mix.left[i] += gainLeft * v;
    mix.right[i] += gainRight * v;
    const double nextC = c * stepCos - s * stepSin;
    s = s * stepCos + c * stepSin;
    c = nextC;
  }
}

// Two copies detuned by +-7 cents and spread either side of `pan` (-1 left .. +1 right), each
// with eight harmonics falling at 1/k^1.5 and stopping below 12 kHz or near Nyquist.
void AddNote(Stereo& mix, int midiNote, double pan, double startSeconds, double holdSeconds) {
  const double frequency = 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
  const double highestPartial = std::min(12000.0, 0.45 * mix.sampleRate);
  const size_t start = FrameCount(mix.sampleRate, startSeconds);
  for (int copy = 0; copy < 2; ++copy) {
    const double detune = copy == 0 ? -7.0 : 7.0;
    const double copyPan = std::clamp(pan + (copy == 0 ? -0.25 : 0.25), -1.0, 1.0);
    const double angle = (copyPan + 1.0) * std::numbers::pi / 4.0;  // constant power
    const double f0 = frequency * std::pow(2.0, detune / 1200.0);
    for (int k = 1; k <= 8 && k * f0 < highestPartial; ++k)
      AddPartial(mix, start, k * f0, 0.05 / std::pow(k, 1.5), 0.7 * k + copy,
                 std::cos(angle), std::sin(angle), holdSeconds);
  }
}

void AddChordBar(Stereo& mix, double barStart, int bar) {
  // Am, F, C, G: bass note in the centre, the upper voices spread.
  static constexpr std::array<std::array<int, 4>, 4> kProgression = {{
      {45, 57, 60, 64}, {41, 53, 57, 60}, {48, 55, 60, 64}, {43, 55, 59, 62}}};
  static constexpr std::array<double, 4> kPan = {0.0, -0.6, 0.3, 0.7};
  const auto& chord = kProgression[static_cast<size_t>(bar) % kProgression.size()];
  for (size_t voice = 0; voice < chord.size(); ++voice)
    AddNote(mix, chord[voice], kPan[voice], barStart, kBarSeconds);
}

void ScaleToPeak(Stereo& mix, double peakDbfs) {
  double peak = 0.0;
  for (const auto* channel : {&mix.left, &mix.right})
    for (double x : *channel) peak = std::max(peak, std::abs(x));
  if (peak <= 0.0) return;
  const double gain = DbToAmplitude(peakDbfs) / peak;
  for (auto* channel : {&mix.left, &mix.right})
    for (double& x : *channel) x *= gain;
}

// A 20 ms fade so that a mix cut off mid-chord does not end in a click.
void FadeOut(Stereo& mix) {
  const size_t fade = std::min(mix.left.size(), FrameCount(mix.sampleRate, 0.02));
  for (size_t i = 0; i < fade; ++i) {
    const double gain = static_cast<double>(i) / static_cast<double>(fade);
    mix.left[mix.left.size() - 1 - i] *= gain;
    mix.right[mix.right.size() - 1 - i] *= gain;
  }
}

}  // namespace

Stereo Demo(double sampleRate, double seconds) {
  const size_t frames = FrameCount(sampleRate, seconds);
  Stereo mix{std::vector<double>(frames), std::vector<double>(frames), sampleRate};
  NoiseSource noise(kDrumSeed);
  for (int bar = 0; bar * kBarSeconds < seconds; ++bar) {
    AddChordBar(mix, bar * kBarSeconds, bar);
    AddDrumBar(mix, bar * kBarSeconds, bar, noise);
  }
  mix.left = BandLimitLikeConverter(mix.left);
  mix.right = BandLimitLikeConverter(mix.right);
  FadeOut(mix);
  ScaleToPeak(mix, kPeakDbfs);
  return mix;
}

}  // namespace signals
