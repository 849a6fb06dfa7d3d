#pragma once

// libebur128 as an independent reference meter for the loudness tests; only in builds that link
// it (ZARN_HAVE_EBUR128).
#ifdef ZARN_HAVE_EBUR128

#include <cmath>
#include <cstddef>
#include <vector>

#include <ebur128.h>
#include <gtest/gtest.h>

class Ebur128Meter {
 public:
  static constexpr int kModes = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA;

  Ebur128Meter(unsigned channels, double rate)
      : channels_(channels), st_(ebur128_init(channels, static_cast<unsigned long>(rate), kModes)) {
    EXPECT_NE(st_, nullptr);
  }
  ~Ebur128Meter() { ebur128_destroy(&st_); }
  Ebur128Meter(const Ebur128Meter&) = delete;
  Ebur128Meter& operator=(const Ebur128Meter&) = delete;

  // right is ignored for one channel.
  void Add(const double* left, const double* right, size_t frames) {
    std::vector<double> interleaved(frames * channels_);
    for (size_t n = 0; n < frames; ++n) {
      interleaved[n * channels_] = left[n];
      if (channels_ == 2) interleaved[n * 2 + 1] = right[n];
    }
    ebur128_add_frames_double(st_, interleaved.data(), frames);
  }
  double Momentary() { return Read(ebur128_loudness_momentary); }
  double ShortTerm() { return Read(ebur128_loudness_shortterm); }
  double Integrated() { return Read(ebur128_loudness_global); }
  double Range() { return Read(ebur128_loudness_range); }

 private:
  double Read(int (*f)(ebur128_state*, double*)) {
    double v = -HUGE_VAL;
    EXPECT_EQ(f(st_, &v), EBUR128_SUCCESS);
    return v;
  }
  unsigned channels_;
  ebur128_state* st_;
};

#endif  // ZARN_HAVE_EBUR128
