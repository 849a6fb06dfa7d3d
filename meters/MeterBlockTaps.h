#pragma once

// What the meters read of a run of consecutive samples, both channels, as the engine leaves them:
// the meters take a whole run at once instead of one sample at a time, so that their filters can
// run over both channels (and several signals) in one vector pass.
struct MeterBlockTaps {
  int frames = 0;
  const double* in[2] = {};         // raw input as processed (clamped)
  const double* driven[2] = {};     // after drive (Character and Loud still to come)
  const double* u[2] = {};          // limiter input
  const double* v[2] = {};          // look-ahead-delayed limiter input (lines up with g)
  const double* o[2] = {};          // catcher output
  const double* g[2] = {};          // smoothed limiter gain
  const double* gainState[2] = {};  // gain before smoothing
  const double* msDriven[2] = {};   // 3-s mean square of the driven signal
};
