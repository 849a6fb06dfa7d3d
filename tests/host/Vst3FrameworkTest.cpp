// The VST3 framework's parts in process: channel configurations, host identification, MIDI
// proxies, text conversion, stream reading, module counting, key translation, editor edits,
// and an audio path that never allocates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "host/ChannelIO.h"
#include "host/HostIdentity.h"
#include "host/IFxVST3View.h"
#include "host/MidiProxy.h"
#include "host/ModuleGlobals.h"
#include "host/StateStream.h"
#include "host/VstKeyTranslation.h"
#include "host/module/ModuleCount.h"
#include "host/vst3kit/Strings.h"
#include "support/AllocationCounter.h"
#include "support/Vst3HostObjects.h"

namespace {

using namespace testhost;

TEST(ChannelIO, ParsesConfigurationsBusesAndWildcards) {
  const auto configs = ParseChannelIO("1-1 2-2");
  ASSERT_EQ(configs.size(), 2u);
  EXPECT_EQ(configs[0].inputs, std::vector<int>{1});
  EXPECT_EQ(configs[1].outputs, std::vector<int>{2});

  const auto mixed = ParseChannelIO("2.1-2 0-*  junk 4-");
  ASSERT_EQ(mixed.size(), 3u);
  EXPECT_EQ(mixed[0].inputs, (std::vector<int>{2, 1}));
  EXPECT_EQ(mixed[0].TotalInputs(), 3);
  EXPECT_TRUE(mixed[1].inputs.empty());  // 0-channel buses are dropped
  EXPECT_EQ(mixed[1].outputs, std::vector<int>{ChannelIOConfig::kAnyChannels});
  EXPECT_EQ(mixed[1].TotalOutputs(), 0);
  EXPECT_TRUE(mixed[2].outputs.empty());
  EXPECT_TRUE(ParseChannelIO("").empty());
  EXPECT_TRUE(ParseChannelIO(nullptr).empty());

  EXPECT_EQ(ArrangementForChannels(1), 0x80000u);
  EXPECT_EQ(ArrangementForChannels(2), 0x3u);
  EXPECT_EQ(ArrangementForChannels(16), 0x3FFC000F00000ull);
  EXPECT_EQ(ArrangementForChannels(11), 0u);
  EXPECT_EQ(InputBusName(0, 1), "Input");
  EXPECT_EQ(InputBusName(1, 2), "Aux");
  EXPECT_EQ(InputBusName(2, 3), "Input 2");
  EXPECT_EQ(OutputBusName(0, 1), "Output");
  EXPECT_EQ(OutputBusName(1, 2), "Output 1");
}

TEST(HostIdentity, FirstKnownFragmentOfTheNameWins) {
  EXPECT_EQ(IdentifyHost("REAPER 7"), 1);
  EXPECT_EQ(IdentifyHost("WaveLab Elements 12"), 32);
  EXPECT_EQ(IdentifyHost("WaveLab Pro 12"), 31);
  EXPECT_EQ(IdentifyHost("Nuendo"), 4);
  EXPECT_EQ(IdentifyHost(""), 0);
  EXPECT_EQ(IdentifyHost("Some Host"), 0);
  EXPECT_EQ(IdentifyHost("Bitwig Studio 5"), 34);
  EXPECT_EQ(IdentifyHost("Ableton Live 12"), 9);
  EXPECT_EQ(IdentifyHost("Harrison Mixbus32C"), 45);
  EXPECT_EQ(IdentifyHost("VST3PluginTestHost"), 27);
  EXPECT_EQ(IdentifyHost("standalone"), 24);
  EXPECT_EQ(IdentifyHost("Reaper Live"), 1);  // "reaper" comes before "live"
}

TEST(MidiProxy, ProxyIdsBecomeControllerPressureAndPitchBendMessages) {
  MidiMessage m;
  ASSERT_TRUE(MidiMessageFromProxy(MidiProxyId(0, 7), 1.0, 12, m));
  EXPECT_EQ(m.status, 0xB0);
  EXPECT_EQ(m.data1, 7);
  EXPECT_EQ(m.data2, 127);
  EXPECT_EQ(m.offset, 12);
  ASSERT_TRUE(MidiMessageFromProxy(MidiProxyId(3, 128), 0.5, 0, m));
  EXPECT_EQ(m.status, 0xD3);
  EXPECT_EQ(m.data1, 63);
  const struct {
    double v;
    int bend;
  } bends[] = {{0.0, 0}, {0.5, 8192}, {1.0, 16383}, {0.75, 12288}};
  for (const auto& b : bends) {
    ASSERT_TRUE(MidiMessageFromProxy(MidiProxyId(15, 129), b.v, 0, m));
    EXPECT_EQ(m.status, 0xEF);
    EXPECT_EQ(m.data1 | (m.data2 << 7), b.bend) << b.v;
  }
  EXPECT_FALSE(MidiMessageFromProxy(MidiProxyId(16, 0), 0.5, 0, m));  // no 17th channel
  EXPECT_FALSE(MidiMessageFromProxy(65537, 0.5, 0, m));
  EXPECT_FALSE(MidiMessageFromProxy(MidiProxyId(0, 1), std::nan(""), 0, m));
  ASSERT_TRUE(MidiMessageFromProxy(MidiProxyId(0, 1), 7.0, 0, m));
  EXPECT_EQ(m.data2, 127);  // limited to the range
}

TEST(Vst3Strings, ConvertsBothWaysAndCutsWithoutSplittingCharacters) {
  const std::string text = "Z\xC3\xA4hler \xE2\x82\xAC \xF0\x9F\x8E\xB5";  // Zähler € 🎵
  const std::u16string wide = vst3kit::Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 11u);  // the note takes a surrogate pair
  EXPECT_EQ(vst3kit::Utf16ToUtf8(wide.c_str(), 100), text);
  EXPECT_EQ(vst3kit::Utf8ToUtf16("\xFF\xC3"), u"\xFFFD\xFFFD");  // malformed: replaced
  const char16_t lone[] = {0xD800, u'a', 0};
  EXPECT_EQ(vst3kit::Utf16ToUtf8(lone, 10), "\xEF\xBF\xBD" "a");

  char narrow[4];
  vst3kit::CopyToField(narrow, "ab\xC3\xA4");  // ä would not fit whole
  EXPECT_STREQ(narrow, "ab");
  char16_t field[10];
  std::fill(std::begin(field), std::end(field), u'x');
  vst3kit::CopyToField(field, text);  // the pair would be cut: left out
  EXPECT_EQ(std::u16string(field), wide.substr(0, 9));
  EXPECT_EQ(field[9], 0);
  char empty[1] = {'x'};
  vst3kit::CopyToField(empty, "anything");
  EXPECT_EQ(empty[0], 0);
}

// A stream whose reads say odd things.
class OddStream : public HostObject<Steinberg::IBStream> {
 public:
  std::vector<Steinberg::int32> counts;  // what each read claims
  std::vector<Steinberg::tresult> results;
  size_t next = 0;
  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 n, Steinberg::int32* got) override {
    if (next >= counts.size()) {
      *got = 0;
      return Steinberg::kResultOk;
    }
    std::memset(buffer, 0xAB, static_cast<size_t>(std::max(0, std::min(n, counts[next]))));
    *got = counts[next];
    return results[next++];
  }
  Steinberg::tresult PLUGIN_API write(void*, Steinberg::int32, Steinberg::int32*) override { return Steinberg::kResultFalse; }
  Steinberg::tresult PLUGIN_API seek(Steinberg::int64, Steinberg::int32, Steinberg::int64*) override { return Steinberg::kResultOk; }
  Steinberg::tresult PLUGIN_API tell(Steinberg::int64*) override { return Steinberg::kResultOk; }
};

TEST(StateStream, ReadsWholeStreamsWhateverTheReadsClaim) {
  using Steinberg::kResultFalse;
  using Steinberg::kResultOk;
  OddStream stream;
  stream.counts = {128, 5000, 7, -3, 50};  // an impossible count is taken as the request
  stream.results = {kResultOk, kResultOk, kResultOk, kResultOk, kResultOk};
  EXPECT_EQ(ReadWholeStream(stream, false).size(), 128u + 128u + 7u);  // stops at -3

  OddStream failing;
  failing.counts = {100, 100, 20};
  failing.results = {kResultOk, kResultFalse, kResultFalse};
  EXPECT_EQ(ReadWholeStream(failing, false).size(), 100u);
  failing.next = 0;
  EXPECT_EQ(ReadWholeStream(failing, true).size(), 220u);

  OddStream endless;
  endless.counts.assign(2000, 128);
  endless.results.assign(2000, kResultFalse);
  EXPECT_EQ(ReadWholeStream(endless, true).size(), kMaxStateBytes);

  OddStream pieces;
  pieces.counts = {1, 2, 1};
  pieces.results = {kResultOk, kResultOk, kResultOk};
  uint8_t word[4];
  EXPECT_TRUE(ReadExactly(pieces, word, 4));
  pieces.next = 0;
  pieces.counts = {3};
  EXPECT_FALSE(ReadExactly(pieces, word, 4));  // the stream ended first
}

TEST(ModuleCount, EntriesAndExitsBalanceAndNeverGoNegative) {
  ModuleCount count;
  int inits = 0, deinits = 0;
  const auto init = [&inits] { return ++inits > 0; };
  const auto deinit = [&deinits] { return ++deinits > 0; };
  EXPECT_FALSE(count.Exit(deinit));  // exit without entry
  EXPECT_EQ(count.Count(), 0);
  EXPECT_TRUE(count.Enter(init));
  EXPECT_TRUE(count.Enter(init));
  EXPECT_EQ(inits, 1);
  EXPECT_TRUE(count.Exit(deinit));
  EXPECT_EQ(deinits, 0);
  EXPECT_TRUE(count.Exit(deinit));
  EXPECT_EQ(deinits, 1);
  EXPECT_FALSE(count.Exit(deinit));
  EXPECT_TRUE(count.Enter(init));  // the next entry initialises again
  EXPECT_EQ(inits, 2);

  ModuleCount failing;
  EXPECT_FALSE(failing.Enter([] { return false; }));
  EXPECT_EQ(failing.Count(), 0);
}

TEST(ModuleGlobals, FolderIsThePathUpToItsLastSeparator) {
  EXPECT_EQ(FolderOfPath("C:\\Plugins\\ZARN.vst3\\Contents\\x86_64-win\\ZARN.vst3", '\\'),
            "C:\\Plugins\\ZARN.vst3\\Contents\\x86_64-win\\");
  EXPECT_EQ(FolderOfPath("ZARN.vst3", '\\'), "ZARN.vst3");
  EXPECT_EQ(FolderOfPath("/usr/lib/vst3/ZARN.vst3/Contents/x86_64-linux/ZARN.so", '/'),
            "/usr/lib/vst3/ZARN.vst3/Contents/x86_64-linux/");
}

// The Windows entry point reads the module's wide file name and keeps its folder as UTF-8.
TEST(ModuleGlobals, WideWindowsPathKeepsItsNonAsciiFolder) {
  const std::u16string wide = u"C:\\Users\\Zoë\\音楽\\ZARN.vst3\\Contents\\x86_64-win\\ZARN.vst3";
  EXPECT_EQ(FolderOfPath(vst3kit::Utf16ToUtf8(wide.c_str(), 260), '\\'),
            "C:\\Users\\Zoë\\音楽\\ZARN.vst3\\Contents\\x86_64-win\\");
}

TEST(KeyTranslation, VstKeysBecomeWindowsKeyCodesAndText) {
  KeyPress key;
  ASSERT_TRUE(TranslateVstKey(0, 7, Steinberg::kShiftKey | Steinberg::kCommandKey, false, key));
  EXPECT_EQ(key.vk, 32);
  EXPECT_STREQ(key.utf8, " ");
  EXPECT_TRUE(key.shift);
  EXPECT_TRUE(key.control);
  EXPECT_FALSE(key.alt);
  ASSERT_TRUE(TranslateVstKey(0, 128 + 17, Steinberg::kAlternateKey, false, key));  // 'A'
  EXPECT_EQ(key.vk, 65);
  EXPECT_STREQ(key.utf8, "A");
  EXPECT_TRUE(key.alt);
  ASSERT_TRUE(TranslateVstKey(u'q', 0, 0, false, key));
  EXPECT_EQ(key.vk, 'Q');
  EXPECT_STREQ(key.utf8, "q");
  ASSERT_TRUE(TranslateVstKey(u'\x20AC', 0, 0, false, key));
  EXPECT_STREQ(key.utf8, "\xE2\x82\xAC");

  const struct {
    int16_t vst;
    int32_t windows;
  } table[] = {{1, 8},   {2, 9},    {4, 13},   {19, 13},  {6, 27},   {8, 34},  {16, 34},
               {11, 37}, {14, 40},  {15, 33},  {22, 46},  {24, 96},  {33, 105}, {34, 106},
               {39, 111}, {40, 112}, {51, 123}, {52, 144}, {54, 16},  {56, 18},  {58, 0},
               {127, 0}};
  for (const auto& entry : table)
    EXPECT_EQ(WindowsKeyCode(entry.vst, ""), entry.windows) << entry.vst;

  // REAPER: the space key only.
  EXPECT_TRUE(TranslateVstKey(0, 7, 0, true, key));
  EXPECT_EQ(key.vk, 32);
  EXPECT_FALSE(TranslateVstKey(u'a', 0, 0, true, key));
  EXPECT_FALSE(TranslateVstKey(0, 4, 0, true, key));
}

// In process: the same object a host gets, driven through its interfaces.
struct Driven {
  ZARN plugin;
  HostApplication application{u"REAPER 7"};
  ComponentHandler handler;
  Driven() {
    EXPECT_EQ(plugin.initialize(&application), Steinberg::kResultOk);
    plugin.setComponentHandler(&handler);
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 256,
                                       48000.0};
    EXPECT_EQ(plugin.setupProcessing(setup), Steinberg::kResultOk);
  }
  ~Driven() { plugin.terminate(); }
};

TEST(IFxVST3, IdentifiesTheHostAndKeepsTheChannelContext) {
  Driven d;
  EXPECT_EQ(d.plugin.GetHostId(), kHostReaper);
  EXPECT_EQ(d.plugin.Host().name, "REAPER 7");
  AttributeList list;
  namespace cc = Steinberg::Vst::ChannelContext;
  list.setInt(cc::kChannelNameLengthKey, 6);
  list.setString(cc::kChannelNameKey, u"Master");
  list.setInt(cc::kChannelColorKey, 0xFF00FF);
  list.setInt(cc::kChannelIndexKey, 12);
  list.setString(cc::kChannelUIDKey, u"uid-1");  // no length given: read up to 127
  ASSERT_EQ(d.plugin.setChannelContextInfos(&list), Steinberg::kResultOk);
  const auto& channel = d.plugin.GetChannelContext();
  EXPECT_EQ(channel.name, "Master");
  EXPECT_EQ(channel.uid, "uid-1");
  EXPECT_EQ(channel.color, 0xFF00FF);
  EXPECT_EQ(channel.index, 12);

  ZARN unnamed;
  EXPECT_EQ(unnamed.initialize(nullptr), Steinberg::kResultOk);  // no host application
  EXPECT_EQ(unnamed.GetHostId(), kHostNotIdentified);
  unnamed.terminate();
}

TEST(IFxVST3, EditsFromTheEditorReachControllerHostAndEngine) {
  Driven d;
  d.plugin.SetParamValueFromEditor(kDriveL, 0.5);
  EXPECT_EQ(d.plugin.GetParam(kDriveL)->Value(), 3.0);
  EXPECT_EQ(d.plugin.Engine().settings.driveDb[0].load(), 3.0f);
  EXPECT_EQ(d.plugin.getParamNormalized(kDriveL), 0.5);
  ASSERT_EQ(d.handler.edits.size(), 1u);
  EXPECT_EQ(d.handler.edits[0].kind, 'p');
  EXPECT_EQ(d.handler.edits[0].id, static_cast<Steinberg::Vst::ParamID>(kDriveL));
  d.plugin.SetParamValueFromEditor(99, 0.5);  // no such parameter: nothing happens
  d.plugin.SetParamValueFromEditor(kDriveL, std::nan(""));
  EXPECT_EQ(d.handler.edits.size(), 1u);

  // A value the host sets on the controller is what the state saves, so the sound follows it too.
  EXPECT_EQ(d.plugin.setParamNormalized(kDriveR, 1.0), Steinberg::kResultOk);
  EXPECT_EQ(d.plugin.GetParam(kDriveR)->Value(), 12.0);
  EXPECT_EQ(d.plugin.Engine().settings.driveDb[1].load(), 12.0f);
}

TEST(IFxVST3, PageResizeAsksTheFrameOnlyForANewSize) {
  Driven d;
  Steinberg::IPlugView* view = d.plugin.createView("editor");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(d.plugin.CurrentView(), static_cast<IFxVST3View*>(view));
  PlugFrame frame;
  view->setFrame(&frame);
  EXPECT_TRUE(d.plugin.ResizeEditorFromPage(1440, 604));  // the current size
  EXPECT_TRUE(frame.resizes.empty());
  EXPECT_TRUE(d.plugin.ResizeEditorFromPage(800, 400));
  ASSERT_EQ(frame.resizes.size(), 1u);
  EXPECT_EQ(frame.resizes[0].right, 800);
  EXPECT_EQ(d.plugin.GetEditorSize().width, 800);
  view->setFrame(nullptr);
  view->release();
  EXPECT_EQ(d.plugin.CurrentView(), nullptr);
  EXPECT_TRUE(d.plugin.ResizeEditorFromPage(900, 450));  // no view: only recorded
  EXPECT_EQ(d.plugin.GetEditorSize().height, 450);
}

TEST(IFxVST3, ProcessReadsTheHostTransport) {
  Driven d;
  Steinberg::Vst::ProcessContext context{};
  context.state = Steinberg::Vst::ProcessContext::kPlaying |
                  Steinberg::Vst::ProcessContext::kProjectTimeMusicValid;
  context.tempo = 93.0;
  context.projectTimeSamples = 4800;
  context.projectTimeMusic = 2.5;
  context.timeSigNumerator = 7;
  context.timeSigDenominator = 8;
  Steinberg::Vst::ProcessData data{};
  data.processMode = Steinberg::Vst::kOffline;
  data.symbolicSampleSize = Steinberg::Vst::kSample32;
  data.processContext = &context;
  ASSERT_EQ(d.plugin.process(data), Steinberg::kResultOk);
  const auto& t = d.plugin.Transport();
  EXPECT_EQ(t.tempo, 93.0);
  EXPECT_EQ(t.samplePos, 4800.0);
  EXPECT_EQ(t.ppqPos, 2.5);
  EXPECT_EQ(t.timeSigNumerator, 7);
  EXPECT_TRUE(t.transportRunning);
  EXPECT_FALSE(t.loopActive);
  EXPECT_TRUE(t.renderingOffline);
  context.state = 0;
  d.plugin.process(data);
  EXPECT_EQ(d.plugin.Transport().samplePos, -1.0);
}

// Stopping may come on the audio thread: neither it nor processing may allocate or free.
TEST(IFxVST3, ProcessingAndStoppingAllocateNothing) {
  Driven d;
  std::vector<float> inL(700, 0.3f), inR(700, -0.3f), outL(700), outR(700);
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};
  Steinberg::Vst::AudioBusBuffers in{}, out{};
  in.numChannels = out.numChannels = 2;
  in.channelBuffers32 = ins;
  out.channelBuffers32 = outs;
  ParameterChanges changes;
  changes.Add(kDriveL, 0.7);
  changes.Add(65536, 1.0);
  changes.Add(MidiProxyId(0, 1), 0.5);
  Steinberg::Vst::ProcessData data{};
  data.symbolicSampleSize = Steinberg::Vst::kSample32;
  data.numSamples = 256;
  data.numInputs = data.numOutputs = 1;
  data.inputs = &in;
  data.outputs = &out;
  data.inputParameterChanges = &changes;
  d.plugin.process(data);  // once before counting: nothing is made lazily

  AllocationScope scope;
  for (int block = 0; block < 20; ++block) {
    data.numSamples = block % 2 ? 256 : 700;  // longer than the maximum: split
    data.inputParameterChanges = block == 10 ? nullptr : &changes;
    ASSERT_EQ(d.plugin.process(data), Steinberg::kResultOk);
    d.plugin.setProcessing(false);
    d.plugin.setProcessing(true);
  }
  EXPECT_EQ(scope.Allocations(), 0u);
  EXPECT_EQ(scope.Deallocations(), 0u);
}

TEST(IFxAPIBase, UnserializeReportsWhereItStopped) {
  ZARN plugin;
  std::vector<uint8_t> chunk;
  plugin.SerializeParams(chunk);
  ASSERT_EQ(chunk.size(), 216u);
  EXPECT_EQ(plugin.UnserializeParams(chunk, 0), 216);
  chunk.resize(220, 0);
  EXPECT_EQ(plugin.UnserializeParams(chunk, 4), 220);
  EXPECT_EQ(plugin.UnserializeParams(chunk, 8), -1);  // 27 values do not fit from there
  EXPECT_EQ(plugin.UnserializeParams(chunk, 10000), -1);
  EXPECT_EQ(plugin.UnserializeParams(chunk, -5), -1);
  for (int i = 0; i < kNumParams; ++i) {
    const IParam& p = *plugin.GetParam(i);
    EXPECT_TRUE(p.Value() >= p.Min() && p.Value() <= p.Max()) << i;
  }
}

}  // namespace
