// The host's audio thread processes with automation while its UI thread uses the controller,
// as hosts do; they share only atomic values. Run under ThreadSanitizer as well.
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "support/Vst3HostObjects.h"

TEST(Threads, Vst3ProcessWhileTheControllerIsUsed) {
  using namespace testhost;
  constexpr int kBlock = 128;
  ZARN plugin;
  HostApplication application(u"Threaded host");
  ASSERT_EQ(plugin.initialize(&application), kResultOk);
  ProcessSetup setup{kRealtime, kSample64, kBlock, 48000.0};
  ASSERT_EQ(plugin.setupProcessing(setup), kResultOk);

  std::atomic<bool> done{false};
  std::thread ui([&] {
    for (long k = 0; !done.load(std::memory_order_acquire); ++k) {
      const double v = static_cast<double>(k % 101) / 100.0;
      plugin.setParamNormalized(kCeilingL, v);
      plugin.setParamNormalized(65536, v);
      String128 text{};
      plugin.getParamStringByValue(kRelease, v, text);
      plugin.getParamNormalized(kDriveL);
      std::this_thread::yield();
    }
  });

  std::vector<double> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
  bool finite = true;
  for (int block = 0; block < 400; ++block) {
    for (int i = 0; i < kBlock; ++i) inL[i] = inR[i] = std::sin(0.01 * (block * kBlock + i));
    ParameterChanges changes;
    changes.Add(kDriveL, static_cast<double>(block % 50) / 50.0);
    changes.Add(65536, block % 40 < 20 ? 0.0 : 1.0);
    double* ins[2] = {inL.data(), inR.data()};
    double* outs[2] = {outL.data(), outR.data()};
    AudioBusBuffers in{}, out{};
    in.numChannels = out.numChannels = 2;
    in.channelBuffers64 = ins;
    out.channelBuffers64 = outs;
    ProcessData data{};
    data.symbolicSampleSize = kSample64;
    data.numSamples = kBlock;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = &changes;
    plugin.process(data);
    for (int i = 0; i < kBlock; ++i) finite = finite && std::isfinite(outL[i]);
  }
  done.store(true, std::memory_order_release);
  ui.join();
  plugin.terminate();
  EXPECT_TRUE(finite);
}
