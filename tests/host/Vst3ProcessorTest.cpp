// The processor as a VST3 host drives it through the built module: buses, set-up, sample
// sizes, parameter queues, host bypass, latency reports and the block shapes a validator tries.
#ifdef ZARN_VST3_MODULE

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "support/Vst3TestModule.h"

namespace {

using namespace testhost;

constexpr ParamID kRelease = 4;
constexpr ParamID kDriveL = 0;
constexpr ParamID kHostBypass = 65536;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> Noise(int frames, double amplitude, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> uniform(-amplitude, amplitude);
  std::vector<double> x(static_cast<size_t>(frames));
  for (double& v : x) v = uniform(random);
  return x;
}

// Runs a stereo signal through in blocks of `block` (the last one shorter), 64-bit.
void Render(Instance& plugin, const std::vector<double>& inL, const std::vector<double>& inR,
            std::vector<double>& outL, std::vector<double>& outR, int block,
            IParameterChanges* firstChanges = nullptr) {
  const int frames = static_cast<int>(inL.size());
  outL.assign(inL.size(), kNaN);
  outR.assign(inR.size(), kNaN);
  for (int start = 0; start < frames; start += block) {
    const int n = std::min(block, frames - start);
    std::vector<double*> ins = {const_cast<double*>(inL.data()) + start,
                                const_cast<double*>(inR.data()) + start};
    ASSERT_EQ(plugin.Process<double>(ins, {outL.data() + start, outR.data() + start}, n,
                                     start == 0 ? firstChanges : nullptr),
              kResultOk);
  }
}

struct Ready : Instance {
  explicit Ready(double rate = 48000.0, int32 block = 512, int32 size = kSample64,
                 const std::u16string& host = u"ZARN test host") {
    EXPECT_EQ(Initialize(host), kResultOk);
    EXPECT_EQ(Setup(rate, block, size), kResultOk);
    EXPECT_EQ(component->setActive(true), kResultOk);
    EXPECT_EQ(processor->setProcessing(true), kResultOk);
  }
};

TEST(Vst3Processor, InitializesWithAnyHostNameIntoOneStereoBusEachWay) {
  for (const std::u16string name : {u"REAPER 7", u"WaveLab Elements 12", u"Nuendo", u""}) {
    Instance plugin;
    ASSERT_EQ(plugin.Initialize(name), kResultOk);
    EXPECT_EQ(plugin.application->RefCount(), 2u);  // kept as the host context
    EXPECT_EQ(plugin.component->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(plugin.component->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(plugin.component->getBusCount(kEvent, kInput), 0);
    EXPECT_EQ(plugin.component->getBusCount(kEvent, kOutput), 0);
    BusInfo in{}, out{};
    ASSERT_EQ(plugin.component->getBusInfo(kAudio, kInput, 0, in), kResultOk);
    ASSERT_EQ(plugin.component->getBusInfo(kAudio, kOutput, 0, out), kResultOk);
    EXPECT_EQ(Narrow(in.name), "Input");
    EXPECT_EQ(Narrow(out.name), "Output");
    EXPECT_EQ(in.channelCount, 2);
    EXPECT_EQ(out.channelCount, 2);
    EXPECT_EQ(in.busType, kMain);
    EXPECT_EQ(in.flags, BusInfo::kDefaultActive);
    EXPECT_EQ(out.direction, kOutput);
    EXPECT_EQ(plugin.component->initialize(plugin.application), kResultFalse);  // once only
    EXPECT_EQ(plugin.component->terminate(), kResultOk);
    EXPECT_EQ(plugin.application->RefCount(), 1u);  // given back
    EXPECT_EQ(plugin.Initialize(name), kResultOk);   // and again after terminate
  }
}

TEST(Vst3Processor, AcceptsMonoOrStereoBothWaysOnly) {
  Instance plugin;
  ASSERT_EQ(plugin.Initialize(), kResultOk);
  EXPECT_EQ(plugin.Arrange(1, 1), kResultOk);
  BusInfo in{};
  plugin.component->getBusInfo(kAudio, kInput, 0, in);
  EXPECT_EQ(in.channelCount, 1);
  SpeakerArrangement arrangement = 0;
  EXPECT_EQ(plugin.processor->getBusArrangement(kOutput, 0, arrangement), kResultOk);
  EXPECT_EQ(arrangement, SpeakerArr::kMono);

  EXPECT_EQ(plugin.Arrange(2, 2), kResultOk);
  EXPECT_EQ(plugin.processor->getBusArrangement(kInput, 0, arrangement), kResultOk);
  EXPECT_EQ(arrangement, SpeakerArr::kStereo);
  EXPECT_EQ(plugin.Arrange(1, 2), kResultFalse);
  EXPECT_EQ(plugin.Arrange(2, 1), kResultFalse);
  SpeakerArrangement five[2] = {SpeakerArr::k50, SpeakerArr::k50};
  EXPECT_EQ(plugin.processor->setBusArrangements(five, 1, five + 1, 1), kResultFalse);
  SpeakerArrangement two[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
  EXPECT_EQ(plugin.processor->setBusArrangements(two, 2, two, 1), kResultFalse);
  EXPECT_NE(plugin.processor->setBusArrangements(nullptr, 1, two, 1), kResultOk);
  EXPECT_NE(plugin.processor->setBusArrangements(two, -1, two, 1), kResultOk);
  plugin.component->getBusInfo(kAudio, kInput, 0, in);
  EXPECT_EQ(in.channelCount, 2);  // refusals changed nothing
}

TEST(Vst3Processor, ArdourGetsEveryProposalAcceptedUnchanged) {
  Instance plugin;
  ASSERT_EQ(plugin.Initialize(u"Ardour 8.4"), kResultOk);
  EXPECT_EQ(plugin.Arrange(1, 2), kResultOk);
  BusInfo in{};
  plugin.component->getBusInfo(kAudio, kInput, 0, in);
  EXPECT_EQ(in.channelCount, 2);
}

TEST(Vst3Processor, SetsUpAtCommonRatesInBothSampleSizes) {
  const struct {
    double rate;
    uint32 latency;
  } cases[] = {{44100.0, 315}, {48000.0, 335}, {96000.0, 575}};
  for (const auto& c : cases) {
    for (int32 size : {kSample32, kSample64}) {
      Instance plugin;
      ASSERT_EQ(plugin.Initialize(), kResultOk);
      EXPECT_EQ(plugin.processor->canProcessSampleSize(size), kResultOk);
      EXPECT_EQ(plugin.Setup(c.rate, 1024, size), kResultOk) << c.rate;
      EXPECT_EQ(plugin.processor->getLatencySamples(), c.latency) << c.rate;
      EXPECT_EQ(plugin.processor->getTailSamples(), 0u);
    }
  }
  Instance plugin;
  EXPECT_EQ(plugin.processor->canProcessSampleSize(2), kResultFalse);
}

TEST(Vst3Processor, AbsurdSetupsAreRefusedAndResetNothing) {
  Ready plugin(96000.0, 256);
  ComponentHandler handler;
  plugin.controller->setComponentHandler(&handler);
  const struct {
    int32 size;
    double rate;
    int32 block;
  } bad[] = {{2, 48000.0, 256},          {-1, 48000.0, 256},     {kSample64, 0.0, 256},
             {kSample64, 7999.0, 256},   {kSample64, 768001.0, 256}, {kSample64, kNaN, 256},
             {kSample64, INFINITY, 256}, {kSample64, -48000.0, 256}, {kSample64, 48000.0, 0},
             {kSample64, 48000.0, -64},  {kSample32, 48000.0, 1 << 21}};
  for (const auto& b : bad) {
    EXPECT_EQ(plugin.Setup(b.rate, b.block, b.size), kResultFalse) << b.rate << " " << b.block;
  }
  EXPECT_EQ(plugin.processor->getLatencySamples(), 575u);
  EXPECT_TRUE(handler.restarts.empty());
  EXPECT_EQ(plugin.Setup(8000.0, 1), kResultOk);
  EXPECT_EQ(plugin.Setup(768000.0, 1), kResultOk);
  plugin.controller->setComponentHandler(nullptr);
  EXPECT_EQ(handler.RefCount(), 1u);
}

TEST(Vst3Processor, ThirtyTwoBitOutputIsTheSixtyFourBitOutputRounded) {
  Ready wide(48000.0, 512, kSample64), narrow(48000.0, 512, kSample32);
  ParameterChanges drive;
  drive.Add(kDriveL, 0.9);  // loud enough to limit hard
  const std::vector<double> source = Noise(3 * 512, 0.9, 7);
  std::vector<float> left(source.begin(), source.end()), right(left.rbegin(), left.rend());
  for (int block = 0; block < 3; ++block) {
    const size_t at = static_cast<size_t>(block) * 512;
    std::vector<double> l(left.begin() + at, left.begin() + at + 512);
    std::vector<double> r(right.begin() + at, right.begin() + at + 512);
    std::vector<double> outL(512), outR(512);
    std::vector<float> out32L(512), out32R(512);
    IParameterChanges* changes = block == 0 ? &drive : nullptr;
    ASSERT_EQ(wide.ProcessStereo(l, r, outL, outR, changes), kResultOk);
    ASSERT_EQ(narrow.Process<float>({left.data() + at, right.data() + at},
                                    {out32L.data(), out32R.data()}, 512, changes),
              kResultOk);
    for (size_t i = 0; i < 512; ++i) {
      ASSERT_EQ(out32L[i], static_cast<float>(outL[i])) << block << ":" << i;
      ASSERT_EQ(out32R[i], static_cast<float>(outR[i])) << block << ":" << i;
    }
  }
}

TEST(Vst3Processor, OnlyTheLastPointOfAQueueApplies) {
  Ready plugin;
  ParameterChanges changes;
  changes.Add(kRelease, 0.2, 0);
  changes.Add(kRelease, 0.8, 100);
  int32 index = 0;
  changes.addParameterData(7, index);  // a queue without points is skipped
  changes.Add(9999, 0.5);              // an ID nobody declared is ignored
  changes.Add(65545, 0.5);             // a MIDI controller proxy: no parameter changes
  std::vector<double> l(256, 0.0), r(256, 0.0), outL(256), outR(256);
  ASSERT_EQ(plugin.ProcessStereo(l, r, outL, outR, &changes), kResultOk);
  const std::vector<uint8_t> state = plugin.GetState();
  EXPECT_EQ(StateValue(state, kRelease), 30.0 + 970.0 * 0.8);
  EXPECT_EQ(StateValue(state, 7), 0.0);
}

// A click at the first input sample comes out exactly `latency` samples later and only once,
// also when the host processes in place (input and output one array) and in 32-bit.
TEST(Vst3Processor, HostBypassDelaysTheInputByExactlyTheLatency) {
  constexpr int kBlock = 256, kBlocks = 6;
  for (int32 size : {kSample64, kSample32}) {
    for (bool inPlace : {false, true}) {
      Ready plugin(48000.0, kBlock, size);
      const int latency = static_cast<int>(plugin.processor->getLatencySamples());
      ASSERT_EQ(latency, 335);
      ParameterChanges bypass;
      bypass.Add(kHostBypass, 1.0);
      std::vector<double> heard;
      for (int b = 0; b < kBlocks; ++b) {
        std::vector<double> inL(kBlock, 0.0), inR(kBlock, 0.0), outL(kBlock, kNaN), outR(kBlock, kNaN);
        if (b == 0) inL[0] = inR[0] = 1.0;
        std::vector<float> fL(inL.begin(), inL.end()), fR(inR.begin(), inR.end());
        std::vector<float> foL(kBlock), foR(kBlock);
        IParameterChanges* changes = b == 0 ? &bypass : nullptr;
        if (size == kSample64) {
          double* oL = inPlace ? inL.data() : outL.data();
          double* oR = inPlace ? inR.data() : outR.data();
          ASSERT_EQ(plugin.Process<double>({inL.data(), inR.data()}, {oL, oR}, kBlock, changes), kResultOk);
          for (int i = 0; i < kBlock; ++i) ASSERT_EQ(oL[i], oR[i]);
          heard.insert(heard.end(), oL, oL + kBlock);
        } else {
          float* oL = inPlace ? fL.data() : foL.data();
          float* oR = inPlace ? fR.data() : foR.data();
          ASSERT_EQ(plugin.Process<float>({fL.data(), fR.data()}, {oL, oR}, kBlock, changes), kResultOk);
          heard.insert(heard.end(), oL, oL + kBlock);
        }
      }
      for (int i = 0; i < kBlock * kBlocks; ++i)
        ASSERT_EQ(heard[static_cast<size_t>(i)], i == latency ? 1.0 : 0.0)
            << "sample " << i << (inPlace ? " in place" : "") << " size " << size;
    }
  }
}

// A sweep from 50 Hz to 3 kHz at -6 dBFS: below the ceiling, so the limiter passes it
// unchanged, and no stretch of it repeats, so audio replayed from before a switch shows.
std::vector<double> Chirp(int frames, double rate) {
  constexpr double kPi = 3.14159265358979323846;
  const double seconds = frames / rate;
  std::vector<double> x(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    const double t = i / rate;
    const double cycles = 50.0 * t + 2950.0 * t * t / (2.0 * seconds);
    x[static_cast<size_t>(i)] = 0.5 * std::sin(2.0 * kPi * cycles);
  }
  return x;
}

// The same signal on both channels through `plugin` in blocks of `block`, with the host bypass
// switched on at switches[0], off at switches[1], and so on; a change is sent with the first
// block that starts at or after it. Returns the left output (the right must equal it).
std::vector<double> RenderSwitchingBypass(Instance& plugin, const std::vector<double>& in,
                                          int block, const std::vector<int>& switches,
                                          bool inPlace = false) {
  const int frames = static_cast<int>(in.size());
  std::vector<double> heard(in.size(), kNaN);
  bool sent = false;
  for (int start = 0; start < frames; start += block) {
    const int n = std::min(block, frames - start);
    const auto passed =
        std::count_if(switches.begin(), switches.end(), [&](int s) { return s <= start; });
    const bool bypass = passed % 2 == 1;
    ParameterChanges changes;
    if (bypass != sent) changes.Add(kHostBypass, bypass ? 1.0 : 0.0);
    sent = bypass;
    std::vector<double> l(in.begin() + start, in.begin() + start + n), r(l);
    std::vector<double> outL(n, kNaN), outR(n, kNaN);
    double* oL = inPlace ? l.data() : outL.data();
    double* oR = inPlace ? r.data() : outR.data();
    EXPECT_EQ(plugin.Process<double>({l.data(), r.data()}, {oL, oR}, n, &changes), kResultOk);
    for (int i = 0; i < n; ++i) EXPECT_EQ(oL[i], oR[i]);
    std::copy(oL, oL + n, heard.begin() + start);
  }
  return heard;
}

double LargestStep(const std::vector<double>& x) {
  double largest = 0.0;
  for (size_t i = 1; i < x.size(); ++i) largest = std::max(largest, std::abs(x[i] - x[i - 1]));
  return largest;
}

// Switching the host bypass while audio plays: no gap, no click and no audio from before the
// switch, at any block size, since the dry path is fed and the plug-in runs in every block and
// the two are aligned. On a signal the limiter leaves alone the output is simply the input
// delayed by the latency, through every switch, including one reversed half-way through its fade.
TEST(Vst3Processor, HostBypassSwitchesWhilePlayingWithoutAGapOrARepeat) {
  constexpr int kFrames = 48000;
  const std::vector<double> in = Chirp(kFrames, 48000.0);
  const std::vector<int> switches = {12000, 24000, 24100, 36000};
  const double ownStep = LargestStep(in);
  for (int block : {1, 64, 333, 512, 4096}) {
    for (bool inPlace : {false, true}) {
      Ready plugin(48000.0, 4096);
      const int latency = static_cast<int>(plugin.processor->getLatencySamples());
      const std::vector<double> out = RenderSwitchingBypass(plugin, in, block, switches, inPlace);
      EXPECT_LE(LargestStep(out), ownStep + 1e-4) << "block " << block;
      double worst = 0.0;
      for (int i = 0; i < kFrames; ++i) {
        const double expected = i < latency ? 0.0 : in[static_cast<size_t>(i - latency)];
        worst = std::max(worst, std::abs(out[static_cast<size_t>(i)] - expected));
      }
      EXPECT_LT(worst, 1e-5) << "block " << block << (inPlace ? " in place" : "");
    }
  }
}

// With the limiter at work the two paths differ: the output moves from the processed to the
// delayed input within a few milliseconds of a switch and stays there exactly, and back; in
// between it never leaves the span of the two. The plug-in ran on while bypassed, so after the
// way back it plays exactly what an uninterrupted render plays.
TEST(Vst3Processor, HostBypassCrossfadesBetweenTheProcessedAndTheDelayedInput) {
  constexpr int kFrames = 48000, kFadeBound = 480;  // 10 ms
  const std::vector<double> in = Chirp(kFrames, 48000.0);  // +12 dB: 6 dB over the ceiling
  const std::vector<int> switches = {12000, 24000, 36000};
  for (int block : {1, 333, 4096}) {
    Ready reference(48000.0, 4096), switching(48000.0, 4096);
    for (Ready* plugin : {&reference, &switching}) {
      ParameterChanges drive;
      drive.Add(kDriveL, 1.0);  // +12 dB
      drive.Add(1, 1.0);
      std::vector<double> l(1, 0.0), r(1, 0.0), ol(1), orr(1);
      ASSERT_EQ(plugin->ProcessStereo(l, r, ol, orr, &drive), kResultOk);
    }
    const int latency = static_cast<int>(switching.processor->getLatencySamples());
    const std::vector<double> processed = RenderSwitchingBypass(reference, in, block, {});
    const std::vector<double> out = RenderSwitchingBypass(switching, in, block, switches);
    std::vector<double> dry(in.size(), 0.0);
    std::copy(in.begin(), in.end() - latency, dry.begin() + latency);

    // A switch without a fade would step by up to the paths' largest difference.
    double widest = 0.0;
    for (size_t i = 0; i < in.size(); ++i)
      widest = std::max(widest, std::abs(dry[i] - processed[i]));
    EXPECT_LE(LargestStep(out), std::max(LargestStep(processed), LargestStep(dry)) + 0.02 * widest)
        << "block " << block;

    std::vector<int> effective;  // where each switch took effect: the next block start
    for (int s : switches) effective.push_back((s + block - 1) / block * block);
    for (int i = 0; i < kFrames; ++i) {
      const size_t at = static_cast<size_t>(i);
      const auto passed =
          std::count_if(effective.begin(), effective.end(), [&](int e) { return e <= i; });
      const int since = passed == 0 ? i : i - effective[static_cast<size_t>(passed - 1)];
      if (since >= kFadeBound) {
        ASSERT_EQ(out[at], passed % 2 == 1 ? dry[at] : processed[at]) << block << ": " << i;
      }
      ASSERT_GE(out[at], std::min(dry[at], processed[at]) - 1e-12) << block << ": " << i;
      ASSERT_LE(out[at], std::max(dry[at], processed[at]) + 1e-12) << block << ": " << i;
    }
  }
}

// Stopping resets the plug-in and the bypass delay alike: a bypassed restart plays silence, not
// the last milliseconds before the stop.
TEST(Vst3Processor, HostBypassReplaysNothingFromBeforeAStop) {
  Ready plugin(48000.0, 512);
  ParameterChanges bypass;
  bypass.Add(kHostBypass, 1.0);
  std::vector<double> l = Noise(512, 0.5, 8), r(l), outL(512), outR(512);
  ASSERT_EQ(plugin.ProcessStereo(l, r, outL, outR, &bypass), kResultOk);
  ASSERT_EQ(plugin.processor->setProcessing(false), kResultOk);
  ASSERT_EQ(plugin.processor->setProcessing(true), kResultOk);
  std::fill(l.begin(), l.end(), 0.0);
  std::fill(r.begin(), r.end(), 0.0);
  ASSERT_EQ(plugin.ProcessStereo(l, r, outL, outR), kResultOk);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(outL[static_cast<size_t>(i)], 0.0) << i;
}

TEST(Vst3Processor, LatencyIsReportedToTheHostOnlyWhenItChanges) {
  Instance plugin;
  ASSERT_EQ(plugin.Initialize(), kResultOk);
  ComponentHandler handler;
  ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultOk);
  EXPECT_EQ(handler.RefCount(), 2u);
  ASSERT_EQ(plugin.Setup(48000.0, 512), kResultOk);
  EXPECT_EQ(handler.restarts, std::vector<int32>{kLatencyChanged});
  ASSERT_EQ(plugin.Setup(48000.0, 1024, kSample32), kResultOk);
  plugin.processor->setProcessing(true);
  plugin.processor->setProcessing(false);
  EXPECT_EQ(handler.restarts.size(), 1u);
  ASSERT_EQ(plugin.Setup(96000.0, 1024), kResultOk);
  EXPECT_EQ(handler.restarts, (std::vector<int32>{kLatencyChanged, kLatencyChanged}));
  EXPECT_EQ(plugin.processor->getLatencySamples(), 575u);
  ASSERT_EQ(plugin.controller->setComponentHandler(nullptr), kResultOk);
  EXPECT_EQ(handler.RefCount(), 1u);
}

TEST(Vst3Processor, EveryBlockSizeUpToTheMaximumAndEmptyCalls) {
  constexpr int kMax = 256;
  for (int32 size : {kSample64, kSample32}) {
    Ready plugin(44100.0, kMax, size);
    ParameterChanges drive;
    drive.Add(kDriveL, 1.0);
    const std::vector<double> source = Noise(kMax, 1.0, 3);
    for (int n = 1; n <= kMax; ++n) {
      std::vector<double> inL(source.begin(), source.begin() + n), inR(inL), outL(n, kNaN), outR(n, kNaN);
      std::vector<float> fL(inL.begin(), inL.end()), fR(fL), foL(n, NAN), foR(n, NAN);
      if (size == kSample64) {
        ASSERT_EQ(plugin.ProcessStereo(inL, inR, outL, outR, n == 1 ? &drive : nullptr), kResultOk);
      } else {
        ASSERT_EQ(plugin.Process<float>({fL.data(), fR.data()}, {foL.data(), foR.data()}, n,
                                        n == 1 ? &drive : nullptr), kResultOk);
        outL.assign(foL.begin(), foL.end());
        outR.assign(foR.begin(), foR.end());
      }
      for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(std::abs(outL[static_cast<size_t>(i)]) <= 1.0) << n << ":" << i;
        ASSERT_TRUE(std::abs(outR[static_cast<size_t>(i)]) <= 1.0) << n << ":" << i;
      }
    }
  }

  // No samples, no buffers: only the parameters are taken.
  Ready plugin;
  ParameterChanges release;
  release.Add(kRelease, 1.0);
  ProcessData empty{};
  empty.symbolicSampleSize = kSample64;
  empty.inputParameterChanges = &release;
  EXPECT_EQ(plugin.processor->process(empty), kResultOk);
  EXPECT_EQ(StateValue(plugin.GetState(), kRelease), 1000.0);
  empty.numSamples = 64;  // samples but no buses at all
  EXPECT_EQ(plugin.processor->process(empty), kResultOk);
  empty.symbolicSampleSize = 7;  // an unknown sample size touches no audio
  EXPECT_EQ(plugin.processor->process(empty), kResultOk);
}

// A host block longer than the set-up maximum is processed as consecutive sub-blocks, exactly as
// if the host had split it.
TEST(Vst3Processor, OverlongBlocksAreSplitIntoSubBlocks) {
  constexpr int kMax = 64, kFrames = 1000;
  Ready split(48000.0, kMax), reference(48000.0, kMax);
  const std::vector<double> inL = Noise(kFrames, 1.2, 11), inR = Noise(kFrames, 1.2, 12);
  std::vector<double> outL, outR, refL, refR;
  Render(split, inL, inR, outL, outR, kFrames);
  Render(reference, inL, inR, refL, refR, kMax);
  EXPECT_EQ(outL, refL);
  EXPECT_EQ(outR, refR);

  Ready narrow(48000.0, kMax, kSample32);
  std::vector<float> fL(inL.begin(), inL.end()), fR(inR.begin(), inR.end()), foL(kFrames), foR(kFrames);
  ASSERT_EQ(narrow.Process<float>({fL.data(), fR.data()}, {foL.data(), foR.data()}, kFrames), kResultOk);
  for (int i = 0; i < kFrames; ++i) ASSERT_TRUE(std::isfinite(foL[static_cast<size_t>(i)]));
}

// Channels and buses the plug-in does not fill come back silent, never with what was there.
TEST(Vst3Processor, OutputsThePluginCannotFillAreZeroed) {
  constexpr int kN = 128;
  Ready plugin(48000.0, kN);
  std::vector<double> inL = Noise(kN, 0.5, 5), inR = Noise(kN, 0.5, 6);
  std::vector<double> o0(kN, kNaN), o1(kN, kNaN), o2(kN, kNaN), aux0(kN, kNaN), aux1(kN, kNaN);
  double* ins[2] = {inL.data(), inR.data()};
  double* mains[3] = {o0.data(), o1.data(), o2.data()};
  double* auxes[2] = {aux0.data(), aux1.data()};
  AudioBusBuffers in{}, out[2]{};
  in.numChannels = 2;
  in.channelBuffers64 = ins;
  out[0].numChannels = 3;  // one more than the bus has
  out[0].channelBuffers64 = mains;
  out[1].numChannels = 2;  // a bus the plug-in does not have
  out[1].channelBuffers64 = auxes;
  ProcessData data{};
  data.symbolicSampleSize = kSample64;
  data.numSamples = kN;
  data.numInputs = 1;
  data.numOutputs = 2;
  data.inputs = &in;
  data.outputs = out;
  ASSERT_EQ(plugin.processor->process(data), kResultOk);
  for (int i = 0; i < kN; ++i) {
    ASSERT_TRUE(std::isfinite(o0[static_cast<size_t>(i)]) && std::isfinite(o1[static_cast<size_t>(i)]));
    ASSERT_EQ(o2[static_cast<size_t>(i)], 0.0);
    ASSERT_EQ(aux0[static_cast<size_t>(i)], 0.0);
    ASSERT_EQ(aux1[static_cast<size_t>(i)], 0.0);
  }

  // One input channel on the stereo bus: both outputs are written (the mono path).
  in.numChannels = 1;
  out[0].numChannels = 2;
  data.numOutputs = 1;
  std::fill(o1.begin(), o1.end(), kNaN);
  ASSERT_EQ(plugin.processor->process(data), kResultOk);
  for (int i = 0; i < kN; ++i) ASSERT_EQ(o1[static_cast<size_t>(i)], o0[static_cast<size_t>(i)]);

  // Output bus switched off: everything silent.
  EXPECT_EQ(plugin.component->activateBus(kAudio, kOutput, 0, false), kResultOk);
  std::fill(o0.begin(), o0.end(), kNaN);
  ASSERT_EQ(plugin.processor->process(data), kResultOk);
  for (int i = 0; i < kN; ++i) ASSERT_EQ(o0[static_cast<size_t>(i)], 0.0);
}

TEST(Vst3Processor, ProcessingBeforeSetupGivesSilence) {
  Instance plugin;
  ASSERT_EQ(plugin.Initialize(), kResultOk);
  std::vector<double> inL(64, 0.5), inR(64, 0.5), outL(64, kNaN), outR(64, kNaN);
  ASSERT_EQ(plugin.ProcessStereo(inL, inR, outL, outR), kResultOk);
  for (double y : outL) ASSERT_EQ(y, 0.0);
}

TEST(Vst3Processor, ComponentGettersTolerateBadIndices) {
  Ready plugin;
  BusInfo bus{};
  SpeakerArrangement arrangement = 0;
  for (int32 index : {-1, 1, 99}) {
    EXPECT_NE(plugin.component->getBusInfo(kAudio, kInput, index, bus), kResultOk);
    EXPECT_NE(plugin.component->getBusInfo(kAudio, kOutput, index, bus), kResultOk);
    EXPECT_NE(plugin.component->activateBus(kAudio, kInput, index, true), kResultOk);
    EXPECT_NE(plugin.processor->getBusArrangement(kInput, index, arrangement), kResultOk);
  }
  EXPECT_NE(plugin.component->getBusInfo(kEvent, kInput, 0, bus), kResultOk);
  EXPECT_NE(plugin.component->getBusInfo(7, kInput, 0, bus), kResultOk);
  EXPECT_NE(plugin.component->getBusInfo(kAudio, 5, 0, bus), kResultOk);
  EXPECT_EQ(plugin.component->getBusCount(7, kInput), 0);
  EXPECT_NE(plugin.processor->getBusArrangement(3, 0, arrangement), kResultOk);
  RoutingInfo a{}, b{};
  EXPECT_EQ(plugin.component->getRoutingInfo(a, b), kNotImplemented);
  EXPECT_EQ(plugin.component->setIoMode(kAdvanced), kNotImplemented);
  TUID cid{};
  EXPECT_EQ(plugin.component->getControllerClassId(cid), kNotImplemented);
  const auto requirements = Query<IProcessContextRequirements>(plugin.component);
  ASSERT_TRUE(requirements);
  EXPECT_EQ(requirements->getProcessContextRequirements(), 0u);
}

}  // namespace

#endif  // ZARN_VST3_MODULE
