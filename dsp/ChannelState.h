#pragma once

#include "dsp/DelayLine.h"
#include "dsp/LookAheadRun.h"
#include "dsp/PeakCatcher.h"
#include "dsp/TruePeakDetector.h"
#include "dsp/WideTruePeakMeter.h"

// One channel's delay lines, smoothed powers, true-peak estimators and peak catcher.
struct ChannelState {
  DelayLine dryDelay;   // raw input, delayed by exactly the reported latency
  LookAheadRun lookAhead;  // limiter input, delayed by K - 1
  DelayLine catcherGainDelay;  // the limiter's gain, delayed by the catcher's 48 samples
  PeakCatcher catcher;
  TruePeakDetector detection;    // limiter input: drives the gain computer
  TruePeakDetector drivenMeter;  // driven signal, for the meters
  WideTruePeakMeter outputMeter;  // catcher output, for the meters: full band, read 128 behind

  // 3-s mean squares: raw input, driven signal, output and level-match reference.
  double msIn = 0.0, msDriven = 0.0, msOut = 0.0, msRef = 0.0;

  void ClearMeanSquares() { msIn = msDriven = msOut = msRef = 0.0; }
  void ResetDetectors() {
    detection.Reset();
    drivenMeter.Reset();
    outputMeter.Reset();
  }
};
