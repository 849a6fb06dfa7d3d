#include "app/delivery/ReportSeries.h"

#include <algorithm>

Envelope EnvelopeOf(const AudioBuffer& audio, int columns) {
  Envelope envelope;
  const int64_t frames = audio.Frames();
  const int64_t count = std::min<int64_t>(frames, columns);
  envelope.low.assign(static_cast<size_t>(count), 0.0f);
  envelope.high.assign(static_cast<size_t>(count), 0.0f);
  for (int64_t column = 0; column < count; ++column) {
    const int64_t begin = column * frames / count, end = (column + 1) * frames / count;
    double low = 0.0, high = 0.0;
    for (const auto& channel : audio.channels)
      for (int64_t n = begin; n < end; ++n) {
        low = std::min(low, channel[static_cast<size_t>(n)]);
        high = std::max(high, channel[static_cast<size_t>(n)]);
      }
    envelope.low[static_cast<size_t>(column)] = static_cast<float>(low);
    envelope.high[static_cast<size_t>(column)] = static_cast<float>(high);
  }
  return envelope;
}

std::vector<LoudnessPoint> ShortTermSeries(const bs1770::Analysis& analysis, double sampleRate,
                                           int columns) {
  const std::vector<double>& powers = analysis.shortTermPowers;
  const size_t count = std::min(powers.size(), static_cast<size_t>(std::max(1, columns)));
  std::vector<LoudnessPoint> points;
  points.reserve(count);
  const double hopSeconds = static_cast<double>(analysis.hopFrames) / sampleRate;
  for (size_t point = 0; point < count; ++point) {
    const size_t begin = point * powers.size() / count, end = (point + 1) * powers.size() / count;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += powers[i];
    // Window i ends 30 + i hops in; the point sits at the middle of the windows it stands for.
    const double seconds = (30.0 + 0.5 * static_cast<double>(begin + end - 1)) * hopSeconds;
    points.push_back({static_cast<float>(seconds),
                      static_cast<float>(bs1770::PowerToLufs(sum / static_cast<double>(end - begin)))});
  }
  return points;
}
