// The audio thread processes while another thread changes settings and asks for meter resets,
// as the editor and the host's UI thread do. Run under ThreadSanitizer as well.
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "support/EngineRender.h"

TEST(Threads, SettingsAndResetRequestsDuringProcessing) {
  constexpr int kBlock = 256;
  ZARN plugin;
  ASSERT_TRUE(plugin.SetupProcessing(48000.0, kBlock, 2, 2));
  const render::Stereo in = render::Noise(48000.0, 0.5, -14.0, 61);

  std::atomic<bool> audioStarted{false}, audioDone{false};
  std::atomic<long> rounds{0};
  std::thread ui([&] {
    while (!audioStarted.load(std::memory_order_acquire)) std::this_thread::yield();
    for (long k = 0; !audioDone.load(std::memory_order_acquire); ++k) {
      const auto step = static_cast<double>(k % 200);
      plugin.SetParamValue(kDriveL, step * 0.09 - 6.0);
      plugin.SetParamValue(kDriveR, 12.0 - step * 0.09);
      plugin.SetParamValue(kCeilingL, -step * 0.1);
      plugin.SetParamValue(kCeilingR, -0.1);
      plugin.SetParamValue(kLoud, static_cast<double>(k % 101));
      plugin.SetParamValue(kExtra, static_cast<double>((k * 7) % 101));
      plugin.SetParamValue(kCharacter, static_cast<double>(k % 11));
      plugin.SetParamValue(kLoudClip, static_cast<double>(k % 3));
      plugin.SetParamValue(kLoudMode, static_cast<double>(k % 2));
      plugin.SetParamValue(kCodecMode, static_cast<double>(k % 4));
      plugin.SetParamValue(kDynamicCeiling, static_cast<double>(k % 2));
      plugin.SetParamValue(kTargetLufs, -6.0 - static_cast<double>(k % 18));
      plugin.SetParamValue(kDither, static_cast<double>(k % 3));
      plugin.SetParamValue(kLevelMatch, static_cast<double>((k / 3) % 2));
      plugin.OnParamChange(kRelease);  // a re-apply without a new value
      if (k % 5 == 0) plugin.Engine().RequestMeterReset();
      rounds.fetch_add(1, std::memory_order_relaxed);
      std::this_thread::yield();
    }
  });

  std::vector<double> outL(in.Frames()), outR(in.Frames());
  bool finite = true;
  audioStarted.store(true, std::memory_order_release);
  for (int pass = 0; pass < 4; ++pass) {
    for (size_t start = 0; start + kBlock <= in.Frames(); start += kBlock) {
      double* inputs[2] = {const_cast<double*>(in.left.data() + start),
                           const_cast<double*>(in.right.data() + start)};
      double* outputs[2] = {outL.data() + start, outR.data() + start};
      plugin.ProcessAudioBlock(inputs, outputs, kBlock);
    }
    finite = finite && render::AllFinite(outL) && render::AllFinite(outR);
  }
  audioDone.store(true, std::memory_order_release);
  ui.join();

  EXPECT_TRUE(finite);
  EXPECT_GT(rounds.load(), 0);
}
