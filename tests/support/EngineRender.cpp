#include "support/EngineRender.h"

#include <algorithm>
#include <cmath>

#include "app/signals/NoiseSource.h"  // header-only, also in builds without the tools
#include "core/ZARN.h"
#include "dsp/LimiterEngine.h"

namespace render {

Stereo ThroughEngine(LimiterEngine& engine, const Stereo& input, int blockSize) {
  const size_t frames = input.Frames();
  Stereo out{std::vector<double>(frames), std::vector<double>(frames)};
  for (size_t start = 0; start < frames; start += static_cast<size_t>(blockSize)) {
    const int n = static_cast<int>(std::min(frames - start, static_cast<size_t>(blockSize)));
    engine.Process(input.left.data() + start, input.right.data() + start, out.left.data() + start,
                   out.right.data() + start, n, false);
  }
  return out;
}

Stereo ThroughPlugin(ZARN& plugin, const Stereo& input, int blockSize) {
  const size_t frames = input.Frames();
  Stereo out{std::vector<double>(frames), std::vector<double>(frames)};
  for (size_t start = 0; start < frames; start += static_cast<size_t>(blockSize)) {
    const int n = static_cast<int>(std::min(frames - start, static_cast<size_t>(blockSize)));
    double* inputs[2] = {const_cast<double*>(input.left.data() + start),
                         const_cast<double*>(input.right.data() + start)};
    double* outputs[2] = {out.left.data() + start, out.right.data() + start};
    plugin.ProcessAudioBlock(inputs, outputs, n);
  }
  return out;
}

std::vector<double> ThroughPluginMono(ZARN& plugin, const std::vector<double>& input,
                                      int blockSize) {
  std::vector<double> out(input.size());
  for (size_t start = 0; start < input.size(); start += static_cast<size_t>(blockSize)) {
    const int n = static_cast<int>(std::min(input.size() - start, static_cast<size_t>(blockSize)));
    double* inputs[1] = {const_cast<double*>(input.data() + start)};
    double* outputs[1] = {out.data() + start};
    plugin.ProcessAudioBlock(inputs, outputs, n);
  }
  return out;
}

namespace {

std::vector<double> PinkChannel(size_t frames, double rmsDbfs, uint64_t seed) {
  NoiseSource white(seed);
  double b0 = 0.0, b1 = 0.0, b2 = 0.0;
  std::vector<double> x(frames);
  double sum = 0.0;
  for (double& v : x) {
    const double w = white.Next();
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    v = b0 + b1 + b2 + w * 0.1848;
    sum += v * v;
  }
  const double gain = std::pow(10.0, rmsDbfs / 20.0) / std::sqrt(sum / std::max<size_t>(1, frames));
  for (double& v : x) v *= gain;
  return x;
}

}  // namespace

Stereo Noise(double sampleRate, double seconds, double rmsDbfs, uint32_t seed) {
  const auto frames = static_cast<size_t>(std::lround(sampleRate * seconds));
  return {PinkChannel(frames, rmsDbfs, 2ull * seed + 1), PinkChannel(frames, rmsDbfs, 2ull * seed + 2)};
}

std::vector<double> White(size_t frames, uint64_t seed) {
  NoiseSource source(seed);
  std::vector<double> x(frames);
  for (double& v : x) v = source.Next();
  return x;
}

Stereo Dual(const std::vector<double>& mono) { return {mono, mono}; }

bool AllFinite(const std::vector<double>& x) {
  return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace render
