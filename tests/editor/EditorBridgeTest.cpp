// The plug-in and its page: requests from the page, host gestures, the idle tick, and that
// malformed messages change nothing; a decimal-comma locale changes no number the page receives.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "core/ZarnClass.h"
#include "editor/Base64.h"
#include "editor/PageMessages.h"
#include "support/DecimalCommaLocale.h"
#include "support/Vst3HostObjects.h"

namespace {

using namespace testhost;

struct RecordingWebView : IWebView {
  explicit RecordingWebView(std::vector<std::string>& log) : scripts(log) {}
  void EvaluateScript(const std::string& script) override { scripts.push_back(script); }
  void SetBounds(int x, int y, int w, int h) override { bounds.push_back({x, y, w, h}); }
  void Reload() override {}
  std::vector<std::string>& scripts;
  std::vector<std::vector<int>> bounds;
};

// A plug-in with a host (component handler) and a page that records what it is sent.
struct Bridge {
  ZARN plugin;
  HostApplication application{u"REAPER 7"};
  ComponentHandler handler;
  std::vector<std::string> scripts;
  RecordingWebView* view = nullptr;

  Bridge() {
    EXPECT_EQ(plugin.initialize(&application), Steinberg::kResultOk);
    plugin.setComponentHandler(&handler);
    auto webView = std::make_unique<RecordingWebView>(scripts);
    view = webView.get();
    plugin.AttachWebView(std::move(webView));
  }
  ~Bridge() { plugin.terminate(); }

  void Post(const std::string& json) { plugin.OnPageMessage(json); }
  void Request(int tag, const std::string& payload = "") {
    const std::string data = Base64Encode(payload.data(), payload.size());
    Post("{\"msg\":\"SAMFUI\",\"msgTag\":" + std::to_string(tag) + ",\"ctrlTag\":-1" +
         (payload.empty() ? "" : ",\"data\":\"" + data + "\"") + "}");
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& s : scripts) n += s.rfind(prefix, 0) == 0;
    return n;
  }
  std::string EditKinds() const {
    std::string kinds;
    for (const auto& e : handler.edits) kinds += e.kind + std::to_string(e.id) + " ";
    return kinds;
  }
};

TEST(EditorBridge, RequestForAllValuesSendsEveryParameterAndStopsTheRefresh) {
  Bridge b;
  b.plugin.uiRefreshTicks = 5;
  b.Request(ZARN::kPageSendAllValues);
  EXPECT_EQ(b.Count("SPVFD("), kNumParams);
  EXPECT_EQ(b.plugin.uiRefreshTicks.load(), 0);
  b.plugin.OnFrameworkTimer();
  EXPECT_EQ(b.Count("SPVFD("), kNumParams);  // no refresh round follows
}

TEST(EditorBridge, ASingleEditIsWrappedInItsOwnGestureAndEchoed) {
  Bridge b;
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":3,"value":-0.5})");
  EXPECT_EQ(b.EditKinds(), "b3 p3 e3 ");
  EXPECT_NEAR(b.handler.edits[1].value, 0.975, 1e-12);
  EXPECT_EQ(b.scripts.back(), "SPVFD(3, 0.975000)");
  EXPECT_EQ(b.plugin.GetParam(kCeilingR)->Value(), -0.5);
  EXPECT_EQ(b.plugin.Engine().settings.ceilingDb[1].load(), -0.5f);
}

TEST(EditorBridge, DragGesturesOpenCloseAndHandOver) {
  Bridge b;
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":2,"value":-1,"gesture":"b"})");
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":2,"value":-2,"gesture":"v"})");
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":3,"value":-3,"gesture":"b"})");  // closes 2
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":3,"value":-4,"gesture":"e"})");
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":3,"value":-5,"gesture":"x"})");  // no gesture
  EXPECT_EQ(b.EditKinds(), "b2 p2 p2 e2 b3 p3 p3 e3 p3 ");
  EXPECT_EQ(b.plugin.GetParam(kCeilingR)->Value(), -5.0);
}

TEST(EditorBridge, AGestureLeftOpenIsClosedWhenThePageGoesAway) {
  for (int way = 0; way < 3; ++way) {
    auto b = std::make_unique<Bridge>();
    b->Request(ZARN::kPageEditParam, R"({"paramIdx":0,"value":3,"gesture":"b"})");
    if (way == 0) b->plugin.CloseWebView();
    if (way == 1) b->plugin.OnPageLoaded();  // a reload
    if (way == 2) b->plugin.terminate();      // the plug-in goes away
    EXPECT_NE(b->EditKinds().find("e0"), std::string::npos) << way;
  }
}

TEST(EditorBridge, PageValuesAreClampedBeforeTheHostSeesThem) {
  Bridge b;
  b.Post(R"({"msg":"SPVFUI","paramIdx":4,"value":7.5})");
  b.Post(R"({"msg":"SPVFUI","paramIdx":4,"value":-2})");
  ASSERT_EQ(b.handler.edits.size(), 2u);
  EXPECT_EQ(b.handler.edits[0].value, 1.0);
  EXPECT_EQ(b.handler.edits[1].value, 0.0);
  b.Post(R"({"msg":"BPCFUI","paramIdx":5})");
  b.Post(R"({"msg":"EPCFUI","paramIdx":5})");
  EXPECT_EQ(b.EditKinds(), "p4 p4 b5 e5 ");
}

TEST(EditorBridge, ResizeOnlyWithinItsBounds) {
  Bridge b;
  b.Request(ZARN::kPageResize, R"({"width":320,"height":200})");
  b.Request(ZARN::kPageResize, R"({"width":319,"height":200})");
  b.Request(ZARN::kPageResize, R"({"width":800,"height":2161})");
  ASSERT_EQ(b.view->bounds.size(), 1u);
  EXPECT_EQ(b.view->bounds[0], (std::vector<int>{0, 0, 320, 200}));
  EXPECT_EQ(b.plugin.GetEditorSize().width, 320);
}

TEST(EditorBridge, LinksOpenOnlyForPlainWebAddresses) {
  std::vector<std::string> opened;
  IFxAPIBase::SetLinkOpener([&opened](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  Bridge b;
  b.Request(ZARN::kPageOpenLink, R"({"url":"https://www.tessary.com/zarn"})");
  b.Request(ZARN::kPageOpenLink, R"({"url":"HTTPS://www.tessary.com"})");
  b.Request(ZARN::kPageOpenLink, R"({"url":"file:///etc/passwd"})");
  IFxAPIBase::SetLinkOpener(nullptr);
  EXPECT_EQ(opened, (std::vector<std::string>{"https://www.tessary.com/zarn"}));
}

TEST(EditorBridge, OutputHistoryBeforeAnyAudioIsTheRateAndZero) {
  Bridge b;
  b.Request(ZARN::kPageOutputHistory);
  const float expected[2] = {44100.0f, 0.0f};  // prepared at the engine's start-up rate
  EXPECT_EQ(b.scripts.back(), "SAMFD(6, 8, '" + Base64Encode(expected, sizeof expected) + "')");
  EXPECT_EQ(b.plugin.maxScriptLength, WebViewEditorDelegate::kDefaultMaxScriptLength);
}

TEST(EditorBridge, IdleTickRefreshesFiveTimesAfterManyResets) {
  Bridge b;
  for (double rate : {96000.0, 44100.0, 48000.0}) {
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 256, rate};
    ASSERT_EQ(b.plugin.setupProcessing(setup), Steinberg::kResultOk);
  }
  for (int tick = 0; tick < 8; ++tick) b.plugin.OnFrameworkTimer();
  EXPECT_EQ(b.Count("SPVFD("), 5 * kNumParams);
  // Only the last of the rates set before the tick is reported.
  EXPECT_EQ(b.Count("SAMFD(3, 27, "), 1);
  const std::string sr = "{\"t\":\"srChange\",\"sr\":48000}";
  EXPECT_EQ(b.Count("SAMFD(3, 27, '" + Base64Encode(sr.data(), sr.size()) + "')"), 1);
}

TEST(EditorBridge, RestoreTellsTheHostOnceThatLevelMatchIsOff) {
  Bridge b;
  b.plugin.OnStateRestored();
  b.plugin.OnFrameworkTimer();
  b.plugin.OnFrameworkTimer();
  EXPECT_EQ(b.EditKinds(), "b6 p6 e6 ");
  EXPECT_EQ(b.handler.edits[1].value, 0.0);
}

// A restore cut short of the bypass word still applied its values: the page shows them at the
// next tick. It is no completed restore, so Level Match is left as the state had it.
TEST(EditorBridge, PartlyRestoredValuesReachThePageFromTheTimer) {
  Bridge b;
  Steinberg::Vst::IComponent& component = b.plugin;
  MemoryStream saved;
  ASSERT_EQ(component.getState(&saved), Steinberg::kResultOk);
  std::vector<uint8_t> bytes = saved.Bytes();
  const double driveL = 12.0;
  std::memcpy(bytes.data() + 8 * kDriveL, &driveL, sizeof driveL);
  bytes.resize(8 * kNumParams);
  MemoryStream cut(bytes);
  EXPECT_EQ(component.setState(&cut), Steinberg::kResultFalse);
  EXPECT_EQ(b.Count("SPVFD("), 0);
  b.plugin.OnFrameworkTimer();
  EXPECT_EQ(b.Count("SPVFD("), kNumParams);
  EXPECT_EQ(b.Count("SPVFD(0, 1.000000)"), 1);
  EXPECT_EQ(b.EditKinds(), "");
}

TEST(EditorBridge, HostValuesFromAnyThreadReachThePageFromTheTimer) {
  Bridge b;
  b.plugin.setParamNormalized(kDriveL, 0.5);
  EXPECT_EQ(b.Count("SPVFD("), 0);  // nothing sent from the host's call itself
  b.plugin.OnFrameworkTimer();
  EXPECT_EQ(b.Count("SPVFD(0, 0.500000)"), 1);
}

TEST(EditorBridge, MetersReachThePageAndTheFlagIsTakenWithoutAWebView) {
  Bridge b;
  Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample64, 4800, 48000.0};
  ASSERT_EQ(b.plugin.setupProcessing(setup), Steinberg::kResultOk);
  std::vector<double> in(4800, 0.1), outL(4800), outR(4800);
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {outL.data(), outR.data()};
  b.plugin.ProcessAudioBlock(ins, outs, 4800);
  b.plugin.OnFrameworkTimer();
  EXPECT_EQ(b.Count("SAMFD(0, "), 1);
  b.plugin.CloseWebView();
  b.plugin.ProcessAudioBlock(ins, outs, 4800);
  b.plugin.OnFrameworkTimer();  // dropped, but taken
  MeterSnapshot s;
  EXPECT_FALSE(b.plugin.Engine().TakeMeterSnapshot(s));
}

// What the page and the plug-in say to each other in one session: the page loads (parameter
// description, slots), edits a value, stores the other slot and loads again, asks for every value;
// then audio runs and the timer sends the meters.
std::vector<std::string> Conversation() {
  Bridge b;
  Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample64, 4800, 48000.0};
  EXPECT_EQ(b.plugin.setupProcessing(setup), Steinberg::kResultOk);
  b.plugin.OnPageLoaded();
  b.Request(ZARN::kPageEditParam, R"({"paramIdx":3,"value":-0.25,"gesture":"s"})");
  nlohmann::json other = nlohmann::json::array();
  for (int i = 0; i < kNumParams; ++i) other.push_back(b.plugin.GetParam(i)->Value());
  other[kDriveL] = 2.25;
  other[kCeilingL] = -0.75;
  b.Request(ZARN::kPageStoreSlots, nlohmann::json{{"active", 0}, {"other", other}}.dump());
  b.plugin.OnPageLoaded();
  b.Request(ZARN::kPageSendAllValues);
  std::vector<double> in(4800), outL(in.size()), outR(in.size());
  for (size_t n = 0; n < in.size(); ++n) in[n] = 0.3 * std::sin(0.05 * static_cast<double>(n));
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {outL.data(), outR.data()};
  b.plugin.ProcessAudioBlock(ins, outs, 4800);
  b.plugin.OnFrameworkTimer();
  return b.scripts;
}

// The JSON a "SAMFD(tag, size, 'base64')" call carries.
nlohmann::json Payload(const std::string& script) {
  const size_t quote = script.find('\'');
  const auto bytes = Base64Decode(script.substr(quote + 1, script.rfind('\'') - quote - 1));
  EXPECT_TRUE(bytes) << script;
  return nlohmann::json::parse(bytes ? std::string(bytes->begin(), bytes->end()) : "", nullptr, false);
}

// A host that runs in its user's locale must not change a number the page receives: a decimal
// comma would make the page read 0,987 as 0 or reject the message. The whole session under
// de_DE says what it says in the "C" locale, byte for byte, and its numbers read back as sent.
TEST(EditorBridge, ADecimalCommaLocaleChangesNoNumberThePageReceives) {
  const std::vector<std::string> c = Conversation();
  MeterSnapshot sample;
  float* fields[] = {&sample.lufsM, &sample.tpL, &sample.gespL, &sample.nmrR, &sample.effRelMsL, &sample.lra};
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = -12.3456f + 1.25f * static_cast<float>(i);
  const std::string meterText = page_messages::MeterMessage(sample);

  DecimalCommaLocale german;
  ASSERT_TRUE(german.Engaged()) << DecimalCommaLocale::kName << " is not installed";
  const std::vector<std::string> de = Conversation();
  ASSERT_EQ(de.size(), c.size());
  for (size_t i = 0; i < de.size(); ++i) ASSERT_EQ(de[i], c[i]) << "call " << i;
  ASSERT_EQ(page_messages::MeterMessage(sample), meterText);
  const nlohmann::json meters = nlohmann::json::parse(meterText);
  EXPECT_EQ(meters.at("lufsM").get<double>(), -12.346);
  EXPECT_EQ(meters.at("lra").get<double>(), std::round(100.0 * sample.lra) / 100.0);

  const ZARN reference;
  int values = 0, meterMessages = 0, slots = 0, descriptions = 0;
  for (const std::string& script : de) {
    if (script.rfind("SPVFD(", 0) == 0) {
      int index = 0;
      double value = 0.0;
      const char* end = script.data() + script.size() - 1;
      const auto [comma, e1] = std::from_chars(script.data() + 6, end, index);
      const auto [stop, e2] = std::from_chars(comma + 2, end, value);
      ASSERT_TRUE(e1 == std::errc() && e2 == std::errc() && stop == end) << script;
      // The first round, when the page loads, comes before the edit.
      const bool edited = index == kCeilingR && values >= kNumParams;
      const double expected = edited ? (-0.25 + 20.0) / 20.0 : reference.GetParam(index)->GetNormalized();
      EXPECT_NEAR(value, expected, 5e-7) << script;
      ++values;
    } else if (script.rfind("SAMFD(0, ", 0) == 0) {
      const nlohmann::json m = Payload(script);
      ASSERT_TRUE(m.is_object()) << script;
      EXPECT_GT(m.at("lufsM").get<double>(), -30.0);  // the sine, not a number cut at its comma
      EXPECT_LT(m.at("lufsM").get<double>(), -5.0);
      ++meterMessages;
    } else if (script.rfind("SAMFD(17, ", 0) == 0) {
      const nlohmann::json m = Payload(script);
      if (m.at("other").empty()) continue;  // before the page stored a slot
      EXPECT_EQ(m.at("other").at(kDriveL).get<double>(), 2.25);
      EXPECT_EQ(m.at("other").at(kCeilingL).get<double>(), -0.75);
      ++slots;
    } else if (script.rfind("SAMFD(-1, ", 0) == 0) {
      const nlohmann::json m = Payload(script);
      ASSERT_EQ(m.at("params").size(), static_cast<size_t>(kNumParams));
      for (const nlohmann::json& p : m.at("params")) {
        const IParam* param = reference.GetParam(p.at("id").get<int>());
        EXPECT_EQ(p.at("min").get<double>(), param->Min()) << p;
        EXPECT_EQ(p.at("max").get<double>(), param->Max()) << p;
        EXPECT_EQ(p.at("default").get<double>(), param->Default()) << p;
      }
      ++descriptions;
    }
  }
  EXPECT_GE(values, kNumParams + 1);
  EXPECT_EQ(meterMessages, 1);
  EXPECT_EQ(slots, 1);
  EXPECT_EQ(descriptions, 2);
}

TEST(EditorBridge, FuzzedPageMessagesChangeNothing) {
  Bridge b;
  std::vector<double> before;
  for (int i = 0; i < kNumParams; ++i) before.push_back(b.plugin.GetParam(i)->Value());
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {
      "{", "}", "\"msg\"", ":", ",", "\"SPVFUI\"", "\"SAMFUI\"", "\"BPCFUI\"", "\"paramIdx\"", "27",
      "-1", "1e308", "\"value\"", "\"nan\"", "null", "[", "]", "\"msgTag\"", "99", "\"data\"",
      "\"==\"", "\"ctrlTag\"", "true", "\"SKPFUI\"", "\"utf8\"", "\"abcdef\"", "\\u0000"};
  for (int n = 0; n < 4000; ++n) {
    std::string text;
    const int parts = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < parts; ++k) text += pieces[rng() % pieces.size()];
    b.Post(text);
  }
  for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(b.plugin.GetParam(i)->Value(), before[static_cast<size_t>(i)]) << i;
  EXPECT_TRUE(b.handler.edits.empty());
}

// A host run loop that keeps the timer it is given, so the test can fire it.
class TimerRunLoop : public HostObject<Linux::IRunLoop> {
 public:
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
    return kResultOk;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultOk; }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override {
    timer = handler;
    interval = ms;
    return kResultOk;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
    if (handler == timer) timer = nullptr;
    return kResultOk;
  }
  Linux::ITimerHandler* timer = nullptr;
  Linux::TimerInterval interval = 0;
};

TEST(EditorBridge, TheIdleTimerRunsOnTheHostsRunLoopUntilThePlugInGoes) {
  TimerRunLoop runLoop;
  FUnknown* instance = zarn_class::CreateInstance(&runLoop);
  ASSERT_NE(instance, nullptr);
  ASSERT_NE(runLoop.timer, nullptr);
  EXPECT_EQ(runLoop.interval, 20u);
  auto* plugin = dynamic_cast<ZARN*>(static_cast<IAudioProcessor*>(static_cast<void*>(instance)));
  ASSERT_NE(plugin, nullptr);
  std::vector<std::string> scripts;
  plugin->AttachWebView(std::make_unique<RecordingWebView>(scripts));
  plugin->uiRefreshTicks = 1;
  runLoop.timer->onTimer();
  EXPECT_EQ(scripts.size(), static_cast<size_t>(kNumParams));
  instance->release();
  EXPECT_EQ(runLoop.timer, nullptr);  // unregistered before the engine went away
  EXPECT_EQ(runLoop.RefCount(), 1u);  // and the run loop's reference given back
}

TEST(EditorBridge, OnlyTheSpaceKeyGoesOnToTheEditorWindow) {
  Bridge b;
  const auto key = [&b](int code, bool up) {
    b.Post("{\"msg\":\"SKPFUI\",\"keyCode\":" + std::to_string(code) +
           ",\"utf8\":\" \",\"S\":false,\"C\":false,\"A\":false,\"isUp\":" + (up ? "true" : "false") +
           "}");
  };
  std::vector<std::pair<void*, int>> posted;
  int window = 0;
  b.plugin.OpenWebView(&window);
  key(32, false);  // no way to reach the host's window: nothing happens
  EXPECT_FALSE(b.plugin.OnEditorKeyUp(KeyPress{}));

  WebViewEditorDelegate::SetKeyForwarder([&posted](void* parent, int vk) {
    posted.emplace_back(parent, vk);
    return true;
  });
  key(32, false);
  key(65, false);
  key(32, true);
  EXPECT_EQ(posted, (std::vector<std::pair<void*, int>>{{&window, 32}}));
  KeyPress space;
  space.vk = 32;
  EXPECT_TRUE(b.plugin.OnEditorKeyDown(space));
  EXPECT_TRUE(b.plugin.OnEditorKeyUp(space));  // taken, never passed on
  b.plugin.CloseWebView();
  EXPECT_FALSE(b.plugin.OnEditorKeyDown(space));  // the window is gone
  EXPECT_EQ(posted.size(), 2u);
  WebViewEditorDelegate::SetKeyForwarder(nullptr);
}

// A timer that needs no host, as on Windows.
struct ThreadTimer : EditorTimer {
  explicit ThreadTimer(ThreadTimer*& live) : live(live) { live = this; }
  ~ThreadTimer() override { live = nullptr; }
  bool Start(FUnknown* context, unsigned milliseconds, std::function<void()> tick) override {
    startedWith = context;
    period = milliseconds;
    onTick = std::move(tick);
    return true;
  }
  void Stop() override { onTick = nullptr; }
  bool Running() const override { return static_cast<bool>(onTick); }
  ThreadTimer*& live;
  FUnknown* startedWith = nullptr;
  unsigned period = 0;
  std::function<void()> onTick;
};

TEST(EditorBridge, TheModuleChoosesAHostlessTimerThatTicksFromCreation) {
  ThreadTimer* timer = nullptr;
  SetEditorTimerMaker([&timer] { return std::make_unique<ThreadTimer>(timer); });
  FUnknown* instance = zarn_class::CreateInstance(nullptr);
  SetEditorTimerMaker(nullptr);
  ASSERT_NE(instance, nullptr);
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->Running());  // without any host context
  EXPECT_EQ(timer->period, 20u);
  auto* plugin = dynamic_cast<ZARN*>(static_cast<IAudioProcessor*>(static_cast<void*>(instance)));
  ASSERT_NE(plugin, nullptr);
  std::vector<std::string> scripts;
  plugin->AttachWebView(std::make_unique<RecordingWebView>(scripts));
  plugin->uiRefreshTicks = 1;
  timer->onTick();
  EXPECT_EQ(scripts.size(), static_cast<size_t>(kNumParams));
  instance->release();
  EXPECT_EQ(timer, nullptr);  // gone with the plug-in
}

}  // namespace
