#include "app/delivery/DecodedPeaks.h"

#include <algorithm>
#include <array>
#include <memory>

#include "dsp/WideTruePeakMeter.h"

namespace {

// Counts the overs of one run by reading after every sample, from the meter as it was before
// the run. This costs several times a run's reading, so it is kept for runs known to hold one.
int64_t CountOvers(WideTruePeakMeter& meter, const double* x, int n) {
  int64_t overs = 0;
  for (int i = 0; i < n; ++i) {
    meter.ClearPeakHold();
    meter.Process(static_cast<float>(x[i]));
    if (meter.PeakHold() > 1.0f) ++overs;
  }
  return overs;
}

}  // namespace

DecodedPeaks ReadDecodedPeaks(const std::vector<double>& channel) {
  auto meter = std::make_unique<WideTruePeakMeter>();
  auto beforeRun = std::make_unique<WideTruePeakMeter>();
  DecodedPeaks result;
  const auto read = [&](const double* x, size_t count) {
    for (size_t start = 0; start < count; start += WideTruePeakMeter::kRun) {
      const int n = static_cast<int>(std::min<size_t>(WideTruePeakMeter::kRun, count - start));
      *beforeRun = *meter;
      meter->ProcessRun(x + start, n);
      const float held = meter->PeakHold();
      result.peak = std::max(result.peak, held);
      if (held > 1.0f) {
        result.overs += CountOvers(*beforeRun, x + start, n);
        // A hold under full scale lets the meter skip readings that cannot pass it; one above
        // would hide the next run's overs.
        meter->ClearPeakHold();
      }
    }
  };
  read(channel.data(), channel.size());
  // Silence after the end, so that the last samples' intervals are read too.
  const std::array<double, WideTruePeakMeter::kLag + 1> silence{};
  read(silence.data(), silence.size());
  return result;
}
