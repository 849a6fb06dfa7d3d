// The module as a host on any platform meets it: factory and class, the class ID in the
// platform's byte order, entry counting, latency, state, and a fixed rendering. The same source
// is the Windows test host run under Wine (tests/wine/): there the rendering must equal the
// Linux module's, which a Linux run writes when ZARN_RENDER_WRITE names a file and a Windows run
// reads from the file ZARN_RENDER_REFERENCE names.
#ifdef ZARN_VST3_MODULE

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "support/StereoRendering.h"
#include "support/Vst3TestModule.h"

namespace {

using namespace testhost;

constexpr ParamID kDriveL = 0, kDriveR = 1, kRelease = 4, kLoud = 14, kCharacter = 18;
constexpr int kFrames = 24000;  // half a second at 48 kHz
constexpr int kBlock = 512;
constexpr double kCeiling = 0.98855;  // -0.1 dBTP, the default ceiling

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Bit-identical on every platform: integer noise and a triangle, with only the basic arithmetic
// IEEE rounds exactly, so no maths library's rounding enters. Loud for 60 %, then quiet, so
// that the release is heard too.
std::vector<double> Signal(uint32_t seed, int period) {
  std::vector<double> x(kFrames);
  uint32_t state = seed;
  for (int i = 0; i < kFrames; ++i) {
    state = state * 1664525u + 1013904223u;
    const double noise = static_cast<double>(static_cast<int32_t>(state) >> 8) / 8388608.0;
    const double phase = static_cast<double>(i % period) / period;
    const double triangle = 4.0 * (phase < 0.5 ? phase : 1.0 - phase) - 1.0;
    const double level = i < kFrames * 6 / 10 ? 1.5 : 0.125;
    x[static_cast<size_t>(i)] = level * (0.75 * triangle + 0.25 * noise);
  }
  return x;
}

// Drive, a short release, the loud stage and the saturator: most of the engine takes part.
void SendSettings(ParameterChanges& changes) {
  changes.Add(kDriveL, 0.75);
  changes.Add(kDriveR, 0.7);
  changes.Add(kRelease, 0.05);
  changes.Add(kLoud, 0.3);
  changes.Add(kCharacter, 0.5);
}

struct Active : Instance {
  explicit Active(int32 sampleSize) {
    EXPECT_EQ(Initialize(), kResultOk);
    EXPECT_EQ(Setup(48000.0, kBlock, sampleSize), kResultOk);
    EXPECT_EQ(component->setActive(true), kResultOk);
    EXPECT_EQ(processor->setProcessing(true), kResultOk);
  }
};

template <typename Sample>
void Render(std::vector<Sample>& left, std::vector<Sample>& right) {
  Active plugin(std::is_same_v<Sample, float> ? kSample32 : kSample64);
  const std::vector<double> l = Signal(1, 109), r = Signal(2, 131);
  std::vector<Sample> inL(l.begin(), l.end()), inR(r.begin(), r.end());
  left.assign(kFrames, Sample(0));
  right.assign(kFrames, Sample(0));
  ParameterChanges settings;
  SendSettings(settings);
  for (int at = 0; at < kFrames; at += kBlock) {
    const int n = std::min(kBlock, kFrames - at);
    ASSERT_EQ(plugin.Process<Sample>({inL.data() + at, inR.data() + at},
                                     {left.data() + at, right.data() + at}, n,
                                     at == 0 ? &settings : nullptr),
              kResultOk);
  }
}

TEST(Vst3Portable, BundleHoldsThePageAndModuleInfoBesideTheModule) {
  const std::filesystem::path module = ModulePath();
#if defined(_WIN32)
  EXPECT_EQ(module.parent_path().filename(), "x86_64-win");
  EXPECT_EQ(module.filename(), "ZARN.vst3");
#else
  EXPECT_EQ(module.parent_path().filename(), "x86_64-linux");
#endif
  const std::filesystem::path resources = module.parent_path().parent_path() / "Resources";
  EXPECT_TRUE(std::filesystem::is_regular_file(resources / "web" / "index.html"));
  std::ifstream file(resources / "moduleinfo.json");
  const std::string json((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(json.find("\"CID\": \"F2AEE70D00DE4F4E4D4C45515A41524E\""), std::string::npos);
}

TEST(Vst3Portable, FactoryDescribesOneLimiterClass) {
  const Ref<IPluginFactory> factory = Factory();
  ASSERT_TRUE(factory);
  PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_EQ(Text(info.vendor, sizeof(info.vendor)), "Tessary");
  EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
  ASSERT_EQ(factory->countClasses(), 1);

  PClassInfo2 c2{};
  ASSERT_EQ(Query<IPluginFactory2>(factory.get())->getClassInfo2(0, &c2), kResultOk);
  EXPECT_EQ(Text(c2.name, sizeof(c2.name)), "ZARN");
  EXPECT_EQ(Text(c2.category, sizeof(c2.category)), "Audio Module Class");
  EXPECT_EQ(Text(c2.subCategories, sizeof(c2.subCategories)), "Fx|Dynamics|Limiter");
  EXPECT_EQ(Text(c2.version, sizeof(c2.version)), "3.0.0");
  EXPECT_EQ(c2.cardinality, PClassInfo::kManyInstances);
  PClassInfoW cw{};
  ASSERT_EQ(Query<IPluginFactory3>(factory.get())->getClassInfoUnicode(0, &cw), kResultOk);
  EXPECT_EQ(Narrow(cw.name, 64), "ZARN");
  EXPECT_EQ(Narrow(cw.version, 64), "3.0.0");
  EXPECT_EQ(std::memcmp(cw.cid, c2.cid, 16), 0);
}

TEST(Vst3Portable, ClassIdIsInThePlatformsByteOrder) {
#if ZARN_VST3_COM_COMPATIBLE
  const unsigned char expected[16] = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                      0x4D, 0x4C, 0x45, 0x51, 0x5A, 0x41, 0x52, 0x4E};
#else
  const unsigned char expected[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                                      0x4D, 0x4C, 0x45, 0x51, 0x5A, 0x41, 0x52, 0x4E};
#endif
  const std::string cid = ClassIdBytes();
  ASSERT_EQ(cid.size(), 16u);
  EXPECT_EQ(std::memcmp(cid.data(), expected, 16), 0);
}

TEST(Vst3Portable, EntryAndExitAreCounted) {
  const ModuleExports& module = Module();  // entered once already
  ASSERT_NE(module.exit, nullptr);
  EXPECT_TRUE(module.Enter());
  EXPECT_TRUE(module.exit());
  EXPECT_TRUE(module.exit());   // back to 0
  EXPECT_FALSE(module.exit());  // unmatched
  EXPECT_TRUE(module.Enter());  // the test process's own entry again
}

TEST(Vst3Portable, ComponentAnswersAsAudioProcessorWithTheLatencyAt48k) {
  const Ref<IPluginFactory> factory = Factory();
  const std::string cid = ClassIdBytes();
  void* obj = nullptr;
  ASSERT_EQ(factory->createInstance(cid.data(), IComponent::iid.data(), &obj), kResultOk);
  Ref<IComponent> component(static_cast<IComponent*>(obj));
  const Ref<IAudioProcessor> processor = Query<IAudioProcessor>(component.get());
  ASSERT_TRUE(processor);

  HostApplication application(u"ZARN test host");
  ASSERT_EQ(component->initialize(&application), kResultOk);
  ProcessSetup setup{kRealtime, kSample64, kBlock, 48000.0};
  EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
  EXPECT_EQ(processor->getLatencySamples(), 335u);
  EXPECT_EQ(component->terminate(), kResultOk);
}

TEST(Vst3Portable, StateSurvivesARoundTripByteForByte) {
  Active saved(kSample64);
  ParameterChanges settings;
  SendSettings(settings);
  std::vector<double> l(16, 0.0), r(16, 0.0), outL(16), outR(16);
  ASSERT_EQ(saved.ProcessStereo(l, r, outL, outR, &settings), kResultOk);
  const std::vector<uint8_t> state = saved.GetState();
  ASSERT_EQ(state.size(), 220u + 236u);  // the 220 bytes, then the A/B block

  Active restored(kSample64);
  ASSERT_EQ(restored.SetState(state), kResultOk);
  EXPECT_EQ(restored.GetState(), state);
}

// Every sample finite and under the ceiling, and the quiet end still heard; then, with a file
// named, written for or compared with the other platform's rendering.
TEST(Vst3Portable, FixedSignalRendersAlikeOnEveryPlatform) {
  StereoRendering mine;
  Render(mine.left32, mine.right32);
  Render(mine.left64, mine.right64);
  for (const std::vector<double>* channel : {&mine.left64, &mine.right64}) {
    double peak = 0.0, tail = 0.0;
    for (size_t i = 0; i < channel->size(); ++i) {
      ASSERT_TRUE(std::isfinite((*channel)[i])) << i;
      peak = std::max(peak, std::abs((*channel)[i]));
      if (i > kFrames * 9 / 10) tail = std::max(tail, std::abs((*channel)[i]));
    }
    EXPECT_LE(peak, kCeiling);
    EXPECT_GT(peak, 0.9);
    EXPECT_GT(tail, 0.05);
  }

  const std::string write = Environment("ZARN_RENDER_WRITE");
  if (!write.empty()) {
    EXPECT_TRUE(WriteRendering(write, mine)) << write;
  }
  const std::string reference = Environment("ZARN_RENDER_REFERENCE");
  if (reference.empty()) return;
  const std::optional<StereoRendering> theirs = ReadRendering(reference);
  ASSERT_TRUE(theirs) << "cannot read " << reference;
  const double d32 = std::max(MaxDifference(mine.left32, theirs->left32),
                              MaxDifference(mine.right32, theirs->right32));
  const double d64 = std::max(MaxDifference(mine.left64, theirs->left64),
                              MaxDifference(mine.right64, theirs->right64));
  std::printf("largest difference from the reference: 32-bit %.3g, 64-bit %.3g\n", d32, d64);
  // The builds agree to the bit today; the margins leave room for a maths library's last-bit
  // differences: two float steps at full scale, some 500 double steps.
  EXPECT_LE(d32, 1.2e-7);
  EXPECT_LE(d64, 1e-13);
}

}  // namespace

#endif  // ZARN_VST3_MODULE
