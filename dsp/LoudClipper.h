#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "dsp/ClipCurve.h"

// The Loud stage's clipper for one channel: the signal is oversampled (4x for Soft and Cubic,
// 8x for Hard) with linear-phase filters, shaped by one of three curves around the threshold and
// brought back to the base rate, so that clipping adds as little aliasing as possible. An optional
// bias ("Warm") makes the curve asymmetric for even harmonics; a DC blocker removes its offset.
class LoudClipper {
 public:
  enum Mode : int { kSoft = ClipCurve::kSoft, kCubic = ClipCurve::kCubic, kHard = ClipCurve::kHard };

  // Designs both oversampling paths. [not on the audio thread while it runs Process]
  void Design(int request = 4, double threshold = 0.9954, int baseLength = 48);

  // Per-block configuration. A mode that changes the oversampling path has the new path catch
  // up (CatchUp) before its next sample: it continues exactly as if it had run all along.
  void SetMode(int mode);
  void SetBias(double fraction);
  void SetThreshold(double threshold) { threshold_ = threshold; }

  float Process(float x);
  // Process over a run of n samples: out[i] as Process gives it, and, where `linear` is given,
  // linear[i] = LinearResponse() after that sample. The run's values are oversampled first and
  // brought back to the base rate kRun at a time, the decimating filter over several windows at
  // once (each summed exactly as alone).
  void ProcessRun(const float* x, int n, float* out, double* linear);
  static constexpr int kRun = 16;
  // Out of circuit (its output unused) the stage need not run: Follow keeps only the recent
  // inputs and the clip counts, and CatchUp, before the next Process, rebuilds the current
  // path's filter states from those inputs, exactly as if it had run all along (its filters
  // remember less than the recent inputs hold). The recent inputs are kept in circuit too, so
  // the idle path can catch up after a mode switch. The DC blocker after a biased curve
  // remembers longer and is not rebuilt: out of circuit, the curve must be unbiased.
  void Follow(const float* x, int n);
  void CatchUp();

  // While on, Process also runs the current path's filters without the shaping curve, so that
  // LinearResponse() is what the stage would give if nothing were clipped: the reference that
  // "what clipping removed" is measured against (the path's group delay is a fraction of a sample
  // longer than its whole-sample delay, so a delayed dry signal cannot serve). Per block.
  void SetTrackLinear(bool on);
  double LinearResponse() const { return linearOut_; }

  // Feeds an impulse through the current mode's path and returns where its largest output falls:
  // the path's delay. Clears the state before and after.
  int MeasureDelay();
  void Reset();

  // Clip statistics since the last TakeClipCounts.
  int Clipped() const { return clipped_; }
  int Total() const { return total_; }
  void ClearClipCounts() { clipped_ = total_ = 0; }

  int Factor() const { return pathA_.factor; }
  int ModeInUse() const { return mode_; }
  double Threshold() const { return threshold_; }
  double Knee() const { return kappa_; }
  double Bias() const { return bias_; }

  // The shaping curve of the current mode and threshold.
  double Shape(double x) const;
  ClipCurve Curve() const { return {mode_, threshold_, kappa_}; }

 private:
  struct Path {
    int factor = 1;
    int tapsPerPhase = 1;
    int length = 1;  // prototype taps N
    // bank[j * factor + k]: tap j of phase k, reversed (oldest input first) and scaled by the
    // factor; every phase of a tap together.
    std::vector<double> bank;
    std::vector<double> decimation;  // h reversed (oldest first)
    std::vector<double> decimationHalf;  // h is symmetric: its first half and middle tap
    // The P newest inputs and a run's more, stored twice, so that the bank's windows for a whole
    // run lie in one straight stretch.
    std::vector<double> input;
    int inputRing = 1;
    int inputIndex = 0;  // where the next input goes
    // The N newest oversampled values and a run's more (kRun inputs' worth), stored twice, so
    // that the decimating filter's windows for a whole run lie in one straight stretch.
    std::vector<double> output;
    int ring = 1;
    int outputIndex = 0;  // where the next value goes
    std::vector<double> linear;      // the unshaped path as one base-rate filter, oldest first

    void Design(int factor, int length, double cutoff);
    void Clear();
    void PushInput(double x) {
      input[static_cast<size_t>(inputIndex)] = input[static_cast<size_t>(inputIndex + inputRing)] = x;
      if (++inputIndex == inputRing) inputIndex = 0;
    }
    // The bank's window (the P newest inputs, oldest first) as it stood `back` inputs ago; the
    // windows of the `back` inputs after it follow one input on each.
    const double* Inputs(int back) const {
      int start = inputIndex - tapsPerPhase - back;
      while (start < 0) start += inputRing;
      return input.data() + start;
    }
    void PushOutput(double u) {
      output[static_cast<size_t>(outputIndex)] = output[static_cast<size_t>(outputIndex + ring)] = u;
      if (++outputIndex == ring) outputIndex = 0;
    }
    // PushOutput of each, in stretches up to the ring's end.
    void PushOutputs(const double* u, int n) {
      while (n > 0) {
        const int stretch = std::min(n, ring - outputIndex);
        std::copy(u, u + stretch, output.begin() + outputIndex);
        std::copy(u, u + stretch, output.begin() + outputIndex + ring);
        outputIndex += stretch;
        if (outputIndex == ring) outputIndex = 0;
        u += stretch;
        n -= stretch;
      }
    }
    // The decimating filter's window (the N newest values, oldest first) as it stood `back`
    // inputs ago; the windows of the `back` inputs after it follow at steps of `factor`.
    const double* Window(int back) const {
      int start = outputIndex - length - back * factor;
      while (start < 0) start += ring;
      return output.data() + start;
    }
  };

  float Finish(double decimated);  // the DC blocker after a biased curve
  // Pushes `count` (up to kRun) inputs through the bank and the curve into the path's output ring.
  void Oversample(Path& path, const double* x, int count, double biasOut);
  static std::vector<double> LinearImpulseResponse(const Path& path);
  // The unshaped response from the linear filter's sum over the window up to an input.
  void FinishLinear(double sum);
  // The newest `length` inputs as they stood `back` inputs ago, oldest first.
  const double* History(int length, int back) const { return history_ + historyIndex_ + kHistory - length - back; }

  static constexpr int kMaxLinearLength = 128;
  static constexpr int kMaxFactor = 8;
  // Recent inputs, stored twice: a run's and the longest linear filter's before them.
  static constexpr int kHistory = kMaxLinearLength + kRun;
  double history_[2 * kHistory] = {};
  int historyIndex_ = 0;
  bool trackLinear_ = false;
  double linearOut_ = 0.0;
  double linearDcIn_ = 0.0, linearDcOut_ = 0.0;

  Path pathA_;  // Soft and Cubic
  Path pathB_;  // Hard
  int hardRequest_ = 8;
  double threshold_ = 0.891;
  double kappa_ = 0.66;
  int mode_ = kSoft;
  bool pathBehind_ = false;  // the current path has not run since the mode switched to it
  double bias_ = 0.0;
  double dcPreviousIn_ = 0.0;
  double dcPreviousOut_ = 0.0;
  int clipped_ = 0;
  int total_ = 0;
};
