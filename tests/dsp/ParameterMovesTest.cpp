// Every parameter moved between its extremes in the middle of a programme, at several host block
// sizes, written between blocks as a host delivers a change (in force from the start of the block
// that holds the moment). Around the change the sound neither drops out nor clicks: no step larger
// than the programme's own largest (either value held all along) plus what the change itself asks
// for, and no run of silence where neither value held all along gives one. Parameters that reach
// no stage change nothing at all.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/signals/NoiseSource.h"  // header-only, also in builds without the tools
#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "support/EngineRender.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kPreRoll = 4410;      // two meter ticks, in blocks of 441, before the block size under test
constexpr int kMoment = kPreRoll + 300;
constexpr int kAfter = 1024;        // samples past the change's arrival at the output
constexpr double kSilent = 1e-4;    // -80 dBFS
constexpr int kSilentRun = 8;

using Values = std::vector<std::pair<int, double>>;

struct Base {
  const char* name;
  Values values;
};

// Defaults (stages out, coming in on a move), and every stage in with the limiter working hard.
const Base kDefaults{"defaults", {}};
const Base kStaged{"staged",
                   {{kDriveL, 6.0}, {kDriveR, 6.0}, {kLoud, 100.0}, {kCharacter, 5.0}, {kExtra, 30.0},
                    {kCodecMode, 1.0}, {kDynamicCeiling, 1.0}, {kLevelMatch, 1.0}}};
// Level Match acts on what is heard only while bypassed.
const Base kBypassed{"bypassed", {{kDriveL, 6.0}, {kDriveR, 6.0}, {kLoud, 100.0}, {kBypass, 1.0}}};

double ValueOf(const Values& values, int param, double otherwise) {
  for (const auto& [p, v] : values)
    if (p == param) return v;
  return otherwise;
}

Values With(Values values, int param, double value) {
  values.insert(values.begin(), {param, value});  // ValueOf takes the first
  return values;
}

// A chord of detuned partials swelling twice a second over band-limited noise, with a decaying
// low thump every 50 ms, peaking at -2 dBFS: never silent, with steps of every size.
render::Stereo Programme(int frames) {
  render::Stereo x{std::vector<double>(static_cast<size_t>(frames)), std::vector<double>(static_cast<size_t>(frames))};
  const double partials[] = {98.0, 146.8, 196.0, 246.9, 293.7, 392.0, 587.3, 784.0, 1174.7, 2349.3};
  NoiseSource noise(17);
  double lowpassed[2] = {0.0, 0.0};
  double peak = 0.0;
  for (int i = 0; i < frames; ++i) {
    const double t = i / kRate;
    const double swell = 0.6 + 0.4 * std::sin(2.0 * std::numbers::pi * 2.0 * t);
    const double sinceThump = std::fmod(t, 0.05);
    const double thump = std::exp(-sinceThump / 0.012) * std::sin(2.0 * std::numbers::pi * 55.0 * sinceThump);
    for (int ch = 0; ch < 2; ++ch) {
      double chord = 0.0;
      for (int k = 0; k < 10; ++k)
        chord += std::sin(2.0 * std::numbers::pi * partials[k] * (1.0 + 0.003 * ch * k) * t + k + 2 * ch) / (1.0 + 0.4 * k);
      lowpassed[ch] = 0.6 * lowpassed[ch] + 0.4 * noise.Next();
      const double v = 0.25 * swell * chord + 0.15 * lowpassed[ch] + 0.5 * thump;
      (ch == 0 ? x.left : x.right)[static_cast<size_t>(i)] = v;
      peak = std::max(peak, std::fabs(v));
    }
  }
  const double scale = std::pow(10.0, -2.0 / 20.0) / peak;
  for (std::vector<double>* channel : {&x.left, &x.right})
    for (double& v : *channel) v *= scale;
  return x;
}

// The host's blocks: 441 up to the pre-roll's end, then blockSize (hosts may vary their block
// size from call to call; the pre-roll keeps the run short at small sizes). Returns where the
// block holding kMoment starts: where the change takes effect.
int ChangeAt(int blockSize) { return kPreRoll + (kMoment - kPreRoll) / blockSize * blockSize; }

// The programme through a plug-in set to `base` and `param` = from, which becomes `to` between
// the blocks at ChangeAt(blockSize).
render::Stereo Render(const render::Stereo& in, const Values& base, int param, double from, double to,
                      int blockSize) {
  auto plugin = std::make_unique<ZARN>();
  for (const auto& [p, v] : With(base, param, from)) plugin->SetParamValue(p, v);
  EXPECT_TRUE(plugin->SetupProcessing(kRate, std::max(blockSize, 441), 2, 2));
  const int frames = static_cast<int>(in.Frames());
  render::Stereo out{std::vector<double>(in.Frames()), std::vector<double>(in.Frames())};
  const int changeAt = ChangeAt(blockSize);
  for (int start = 0; start < frames;) {
    const int n = std::min(frames - start, start < kPreRoll ? std::min(441, kPreRoll - start) : blockSize);
    if (start == changeAt && to != from) plugin->SetParamValue(param, to);
    double* inputs[2] = {const_cast<double*>(in.left.data() + start), const_cast<double*>(in.right.data() + start)};
    double* outputs[2] = {out.left.data() + start, out.right.data() + start};
    plugin->ProcessAudioBlock(inputs, outputs, n);
    start += n;
  }
  return out;
}

double LargestStep(const render::Stereo& x, int from, int to) {
  double largest = 0.0;
  for (const std::vector<double>* c : {&x.left, &x.right})
    for (int j = from; j < to; ++j) largest = std::max(largest, std::fabs((*c)[j] - (*c)[j - 1]));
  return largest;
}

double Peak(const render::Stereo& x, int from, int to) {
  double peak = 0.0;
  for (const std::vector<double>* c : {&x.left, &x.right})
    for (int j = from; j < to; ++j) peak = std::max(peak, std::fabs((*c)[j]));
  return peak;
}

bool Silent(double v) { return std::fabs(v) <= kSilent; }

// Where a run of at least kSilentRun silent samples in `x` holds a sample at which neither `a`
// nor `b` is silent; -1 when there is none.
int UnexplainedSilence(const std::vector<double>& x, const std::vector<double>& a, const std::vector<double>& b,
                       int from, int to) {
  int runStart = from;
  for (int j = from; j <= to; ++j) {
    if (j < to && Silent(x[j])) continue;
    if (j - runStart >= kSilentRun)
      for (int i = runStart; i < j; ++i)
        if (!Silent(a[i]) && !Silent(b[i])) return i;
    runStart = j + 1;
  }
  return -1;
}

// The gain the front-end stages ask for at their extremes, in dB: Extra lifts by up to 14.8 dB
// and above half drives the Loud stage too, whose gain is up to 15 dB (12 dB, and 1.5 dB for each
// channel's maskedness).
double FrontGainDb(const Values& values) {
  const double extra = ValueOf(values, kExtra, 0.0) / 100.0, loud = ValueOf(values, kLoud, 0.0) / 100.0;
  return 14.8 * extra + 15.0 * std::max(loud, 2.0 * extra - 1.0);
}

// What a move asks of the sound, beyond the programme's own steps.
enum class Asks {
  kNoChange,        // no stage reads it: the output is the same sample for sample
  kGain,            // a gain step of `db` at once, of either sign when `eitherWay`
  kSwitchAtOutput,  // what is heard switches at the output: the two signals' difference at the switch
  kSwitchAtLimiter, // the limiter's input switches to another signal (a listen, a clipping curve):
                    // their largest difference, as the limiter's gain lies between
  kDither,          // each sample's quantisation error, of the old and the new word length
};

struct Allowance {
  Asks asks = Asks::kNoChange;
  double db = 0.0;
  bool eitherWay = false;
};

Allowance AllowanceFor(const Values& base, int param, double from, double to) {
  const Values before = With(base, param, from), after = With(base, param, to);
  switch (param) {
    case kDriveL: case kDriveR: case kCeilingL: case kCeilingR:
      return {Asks::kGain, to - from};
    case kLoud: case kExtra:
      return {Asks::kGain, FrontGainDb(after) - FrontGainDb(before)};
    case kCharacter:
      return {Asks::kGain, 0.24 * (to - from) / 10.0};  // row 10 adds at most +0.24 dB
    case kCodecMode:
      return {Asks::kGain, 1.5 + 0.4 * std::max(from, to), true};  // the model's headroom and the pre-attenuation
    case kDynamicCeiling:
      return {Asks::kGain, 0.5, true};
    case kTargetLufs:
      return {Asks::kGain, 1.0, true};  // the dynamic offset moves within -0.5 .. +0.5 dB
    case kBypass: case kLevelMatch: case kFullDelta:
      return {Asks::kSwitchAtOutput};
    case kLoudDelta: case kLoudClip: case kLoudMode:
      return {Asks::kSwitchAtLimiter};
    case kDither:
      return {Asks::kDither};
    default:
      return {Asks::kNoChange};  // kept for hosts, or the page's own
  }
}

double DitherStep(double dither) { return dither == 1.0 ? std::ldexp(1.0, -15) : dither == 2.0 ? std::ldexp(1.0, -23) : 0.0; }

std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

struct Move {
  int param;
  double from, to;
};

class ParameterMoves : public testing::TestWithParam<int> {};

TEST_P(ParameterMoves, NeitherDropOutNorClickAnywhere) {
  const int blockSize = GetParam();
  const int changeAt = ChangeAt(blockSize);
  ZARN names;  // the parameters' names and ranges, and the latency
  ASSERT_TRUE(names.SetupProcessing(kRate, 441, 2, 2));
  const int end = changeAt + names.GetLatency() + kAfter;
  const render::Stereo in = Programme(end);

  std::vector<Move> moves;
  for (int p = 0; p < kNumParams; ++p) {
    const IParam& param = *names.GetParam(p);
    moves.push_back({p, param.Min(), param.Max()});
    moves.push_back({p, param.Max(), param.Min()});
  }
  moves.push_back({kDither, 0.0, 1.0});  // 16-bit lies between the extremes
  moves.push_back({kDither, 1.0, 0.0});

  for (const Base* base : {&kDefaults, &kStaged, &kBypassed}) {
    const double baseDrive = ValueOf(base->values, kDriveL, 0.0);
    const render::Stereo steadyBase = Render(in, base->values, kDriveL, baseDrive, baseDrive, blockSize);
    // Each value held all along; the base's own value needs no render of its own.
    const auto steady = [&](int param, double value) {
      const double baseValue = ValueOf(base->values, param, names.GetParam(param)->Default());
      return value == baseValue ? steadyBase : Render(in, base->values, param, value, value, blockSize);
    };
    for (const Move& m : moves) {
      if (base == &kBypassed && m.param != kLevelMatch) continue;
      const std::string where = std::string(base->name) + ", block " + std::to_string(blockSize) + ": " +
                                names.GetParam(m.param)->Name() + " " + Text(m.from) + " -> " + Text(m.to);
      const Allowance allowance = AllowanceFor(base->values, m.param, m.from, m.to);
      const render::Stereo moved = Render(in, base->values, m.param, m.from, m.to, blockSize);
      if (allowance.asks == Asks::kNoChange) {
        EXPECT_EQ(moved.left, steadyBase.left) << where;
        EXPECT_EQ(moved.right, steadyBase.right) << where;
        continue;
      }
      // The programme's own largest step: either value held all along, over the same samples.
      const render::Stereo a = steady(m.param, m.from), b = steady(m.param, m.to);
      const double programmeStep = std::max(LargestStep(a, changeAt, end), LargestStep(b, changeAt, end));
      double asked = 0.0;
      switch (allowance.asks) {
        case Asks::kGain: {  // on the level the old value gave
          const double ratio = std::pow(10.0, std::fabs(allowance.db) / 20.0);
          asked = (allowance.eitherWay || allowance.db > 0.0 ? ratio - 1.0 : 1.0 - 1.0 / ratio) * Peak(a, changeAt, end);
          break;
        }
        case Asks::kSwitchAtOutput:
          asked = std::max(std::fabs(a.left[changeAt - 1] - b.left[changeAt - 1]),
                           std::fabs(a.right[changeAt - 1] - b.right[changeAt - 1]));
          break;
        case Asks::kSwitchAtLimiter:
          for (int j = changeAt; j < end; ++j)
            asked = std::max({asked, std::fabs(a.left[j] - b.left[j]), std::fabs(a.right[j] - b.right[j])});
          break;
        case Asks::kDither: {
          // Each sample lies up to 1.5 steps from the undithered signal, and the moved render's
          // dither sequence is not the held one's: a step may exceed the held render's by the
          // errors of both its samples in both renders.
          const double qFrom = DitherStep(m.from), qTo = DitherStep(m.to);
          asked = std::max(6.0 * qTo, 1.5 * qFrom + 4.5 * qTo);
          break;
        }
        case Asks::kNoChange:
          break;
      }
      const double step = LargestStep(moved, changeAt, end);
      EXPECT_LE(step, programmeStep + asked) << where << ": the programme's largest step " << programmeStep
                                             << ", the change asks for " << asked;
      EXPECT_EQ(UnexplainedSilence(moved.left, a.left, b.left, changeAt, end), -1) << where << " (left)";
      EXPECT_EQ(UnexplainedSilence(moved.right, a.right, b.right, changeAt, end), -1) << where << " (right)";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, ParameterMoves, testing::Values(1, 64, 441, 4096),
                         [](const testing::TestParamInfo<int>& info) { return "Block" + std::to_string(info.param); });

}  // namespace
