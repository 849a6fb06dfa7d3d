#pragma once

#include <cstdint>

struct GainPairRun;

// One channel's gain computer: sliding minimum of the required gain over the look-ahead, linear
// ramp down to it, hold, programme-dependent release (180 ms .. 2574 ms), a slow envelope blended
// in by the masking verdict, and four one-pole smoothers.
class GainWindow {
 public:
  static constexpr int kDequeSize = 4096;  // the look-ahead never exceeds 4095

  struct Constants {
    double sampleRate = 48000.0;
    double aAtk = 0.0;     // 0.5 ms attack smoothing (per block)
    double a2s = 0.0;      // 2 s release-scale time constant (per block)
    double kSmooth = 0.0;  // each smoother pole, 0.5 ms
    float kRamp = 0.0f;    // release fade-in, 1 ms
    int holdBase = 0;      // 5 ms

    static Constants ForRate(double sampleRate);
  };

  void Prepare(int lookAhead);  // sets the window length and resets everything
  void Reset();
  // Meter reset: restart the window and the release scale from the current gain, without a jump.
  void RestartFromCurrentGain();

  // u: limiter input sample, p: its detected true peak (>= |u|), returns the smoothed gain.
  double Process(double u, float p, double ceilLin, double msDriven, double maskedness,
                 const Constants& c);

  double GainState() const { return gainState_; }
  double EffReleaseMs() const { return effReleaseMs_; }
  int HoldCounter() const { return holdCounter_; }
  double ReleaseScale() const { return releaseScale_; }
  double SmoothedGain() const { return smoother_[3]; }
  double SlowEnvelope() const { return slowEnvelope_; }

 private:
  friend void ProcessGainPair(GainWindow (&windows)[2], const GainPairRun& run, const Constants& c);
  // Both channels' states in the two lanes of vectors, and their steps (GainWindow.cpp).
  struct PairLanes;

  struct Entry {
    double value;
    int64_t time;
  };

  double PushRequired(double r);  // returns the window minimum
  // Samples until the window minimum leaves the look-ahead: it entered within the last
  // lookAhead_ pushes and counter_ is one past the newest, so this is (its time - counter_) mod
  // lookAhead_ without a division.
  int MinimumLeavesIn() const { return static_cast<int>(deque_[head_].time - counter_ + lookAhead_); }
  double Release(double gainState, double floorGain, double ex, const Constants& c);

  int lookAhead_ = 1;
  int64_t counter_ = 0;
  Entry deque_[kDequeSize] = {};
  int head_ = 0;  // oldest
  int size_ = 0;

  bool ramping_ = false;
  double rampLine_ = 1.0;  // the straight line the gain follows down to the window minimum
  double gainState_ = 1.0;
  double previousRequired_ = 1.0;
  int fallCount_ = 0;
  double releaseScale_ = 0.0;
  int holdCounter_ = 0;
  float releaseRamp_ = 0.0f;
  double effReleaseMs_ = 0.0;
  double slowEnvelope_ = 1.0;
  double smoother_[4] = {1.0, 1.0, 1.0, 1.0};
  // Logarithms the release worked out last: of the gain it gave, and of the window minimum.
  struct KnownLog {
    double value = -1.0, log = 0.0;
  };
  KnownLog logOf_[2];
};

// A run of samples through both channels' gain computers, stepped together: each step of one
// waits on its own last, so both channels' arithmetic runs in the two lanes of one vector and
// the states stay in registers for the run. Exactly what GainWindow::Process gives sample by
// sample, channel by channel: the same operations in the same order in each lane.
struct GainPairRun {
  int n = 0;
  const double* u[2] = {};
  const float* peak[2] = {};
  double ceilLin[2] = {};
  const double* msDriven[2] = {};
  double maskedness[2] = {};
  double* gain[2] = {};       // the smoothed gain of each sample
  double* gainState[2] = {};  // GainState() after each sample
};
void ProcessGainPair(GainWindow (&windows)[2], const GainPairRun& run, const GainWindow::Constants& c);
