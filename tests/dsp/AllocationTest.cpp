// Nothing on the audio path allocates: the engine and the plug-in's block hook are run over many
// blocks of loud programme, bad samples, parameter changes and meter resets while every global
// operator new of this thread is counted.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "dsp/LimiterEngine.h"
#include "support/AllocationCounter.h"
#include "support/EngineRender.h"

namespace {

// Keeps the compiler from proving an allocation unused and removing it.
void Escape(void* p) { asm volatile("" : : "g"(p) : "memory"); }

constexpr int kBlock = 512;

// About four seconds of loud noise with a NaN, an infinity and a huge sample now and then.
render::Stereo Programme() {
  render::Stereo x = render::Noise(48000.0, 4.0, -14.0, 77);
  for (size_t i = 3000; i < x.Frames(); i += 9 * kBlock + 13) {
    x.left[i] = std::numeric_limits<double>::quiet_NaN();
    x.right[i + 1] = -std::numeric_limits<double>::infinity();
    x.left[i + 100] = 1e300;
  }
  return x;
}

}  // namespace

TEST(AllocationCounter, CountsEveryFormOnThisThreadOnly) {
  struct alignas(64) Wide {
    double lanes[8];
  };
  AllocationScope scope;
  {
    auto* a = new int(1);
    auto* b = new int[4];
    auto* c = new (std::nothrow) int(2);
    auto* d = new (std::nothrow) int[3];
    auto* e = new Wide();
    auto* f = new Wide[2];
    auto* g = new (std::nothrow) Wide();
    for (void* p : {static_cast<void*>(a), static_cast<void*>(b), static_cast<void*>(c),
                    static_cast<void*>(d), static_cast<void*>(e), static_cast<void*>(f),
                    static_cast<void*>(g)})
      Escape(p);
    delete a;
    delete[] b;
    delete c;
    delete[] d;
    delete e;
    delete[] f;
    delete g;
  }
  EXPECT_EQ(scope.Allocations(), 7u);
  EXPECT_EQ(scope.Deallocations(), 7u);

  std::vector<double> grown;
  grown.resize(1000);
  Escape(grown.data());
  EXPECT_EQ(scope.Allocations(), 8u);

  // Another thread's allocations are its own business.
  const size_t before = scope.Allocations();
  std::thread([] {
    auto* elsewhere = new std::vector<int>(50);
    Escape(elsewhere);
    delete elsewhere;
  }).join();
  EXPECT_LE(scope.Allocations() - before, 1u);  // at most this thread's own thread bookkeeping
}

TEST(AllocationFree, EngineProcess) {
  const render::Stereo in = Programme();
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(48000.0));
  std::vector<double> outL(kBlock), outR(kBlock);

  AllocationScope scope;
  for (size_t start = 0, block = 0; start + kBlock <= in.Frames(); start += kBlock, ++block) {
    engine.settings.driveDb[0] = engine.settings.driveDb[1] = static_cast<float>(block % 13);
    // Character and Extra in and out of circuit: following, catching up and running.
    engine.settings.character = static_cast<float>(block % 7 < 4 ? block % 11 : 0);
    engine.settings.extra = block % 5 < 3 ? 0.75f : 0.0f;
    engine.settings.loud = block % 9 < 5 ? 1.0f : 0.0f;
    if (block % 10 == 3) engine.RequestMeterReset();
    engine.Process(in.left.data() + start, in.right.data() + start, outL.data(), outR.data(),
                   kBlock, false);
  }
  EXPECT_EQ(scope.Allocations(), 0u);
}

// Runs the first block of a newly prepared engine and exits with 0 when it allocated nothing.
[[noreturn]] void ExitAfterFirstBlock() {
  LimiterEngine engine;
  engine.Prepare(48000.0);
  engine.settings.character = 10.0f;  // every stage in
  engine.settings.extra = 0.75f;
  engine.settings.loud = 1.0f;
  std::vector<double> in(kBlock, 0.5), outL(kBlock), outR(kBlock);
  size_t allocations = 0;
  {
    AllocationScope scope;
    engine.Process(in.data(), in.data(), outL.data(), outR.data(), kBlock, false);
    allocations = scope.Allocations();
  }
  std::fprintf(stderr, "allocations in the first block: %zu\n", allocations);
  std::_Exit(allocations == 0 ? 0 : 1);
}

// Whatever is set up lazily must not be set up by the first block: checked in a fresh process,
// where nothing has run the engine before.
TEST(AllocationFree, FirstBlockOfAFreshProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitAfterFirstBlock(), ::testing::ExitedWithCode(0), "");
}

TEST(AllocationFree, PluginBlockHookStereoAndMono) {
  const render::Stereo in = Programme();
  for (int channels : {2, 1}) {
    auto plugin = std::make_unique<ZARN>();
    ASSERT_TRUE(plugin->SetupProcessing(48000.0, kBlock, channels, channels));
    std::vector<double> outL(kBlock), outR(kBlock);
    std::vector<double> longIn(10000, 0.25), longOut(10000);  // longer than the mono scratch buffer

    AllocationScope scope;
    for (size_t start = 0, block = 0; start + kBlock <= in.Frames(); start += kBlock, ++block) {
      // Host automation arrives on the audio thread, between blocks.
      plugin->SetParamValue(kDriveL, static_cast<double>(block % 13));
      plugin->SetParamValue(kDriveR, 12.0);
      plugin->SetParamValue(kCeilingL, -0.1 * static_cast<double>(block % 11));
      plugin->SetParamValue(kLoud, static_cast<double>(block % 101));
      if (block % 10 == 3) plugin->Engine().RequestMeterReset();
      double* inputs[2] = {const_cast<double*>(in.left.data() + start),
                           const_cast<double*>(in.right.data() + start)};
      double* outputs[2] = {outL.data(), outR.data()};
      plugin->ProcessAudioBlock(inputs, outputs, kBlock);
    }
    double* longInputs[2] = {longIn.data(), longIn.data()};
    double* longOutputs[2] = {longOut.data(), longOut.data()};
    plugin->ProcessAudioBlock(longInputs, longOutputs, static_cast<int>(longIn.size()));
    EXPECT_EQ(scope.Allocations(), 0u) << channels << " channel(s)";
  }
}
