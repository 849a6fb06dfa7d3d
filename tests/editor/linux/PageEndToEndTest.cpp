// The real editor page in headless Chromium, driven through the plug-in: readings arrive, a drag
// on a control becomes a host gesture, typed entry sets the value, A/B and undo reach the host
// and the engine, and the layout fits every size; screenshots are saved for people to look at
// (build/test-artifacts).
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "editor/linux/ChromiumProcess.h"
#include "editor/linux/ChromiumWebView.h"
#include "support/Vst3HostObjects.h"

namespace {

using namespace testhost;

class PageEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ChromiumProcess::Find("").empty()) GTEST_SKIP() << "chromium is not installed; skipped";
    ASSERT_EQ(plugin_.initialize(&application_), Steinberg::kResultOk);
    plugin_.setComponentHandler(&handler_);
    ASSERT_TRUE(plugin_.SetupProcessing(48000.0, 480, 2, 2));
    ChromiumWebView::Callbacks callbacks;
    callbacks.onPageMessage = [this](const std::string& json) {
      if (json.find("\"msg\":\"TEST\"") != std::string::npos) reports_.push_back(json);
      plugin_.OnPageMessage(json);
    };
    callbacks.onPageLoaded = [this] { plugin_.OnPageLoaded(); ++loads_; };
    auto view = std::make_unique<ChromiumWebView>(callbacks, std::string(ZARN_PAGE_DIR) + "/index.html",
                                                  ChromiumWebView::Options{});
    view_ = view.get();
    if (view_->BrowserPid() == 0) GTEST_SKIP() << "chromium could not be started; skipped";
    plugin_.AttachWebView(std::move(view));
    ASSERT_TRUE(RunUntil([&] { return loads_ > 0; }));
  }
  void TearDown() override { plugin_.terminate(); }

  // Loud programme and the editor timer, as host and UI thread would, until `done` (30 s at most).
  bool RunUntil(const std::function<bool()>& done) {
    std::vector<double> in(480), outL(480), outR(480);
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {outL.data(), outR.data()};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      for (int b = 0; b < 5; ++b) {
        for (size_t i = 0; i < in.size(); ++i) in[i] = 1.5 * std::sin(0.05 * static_cast<double>(phase_++));
        plugin_.ProcessAudioBlock(ins, outs, 480);
      }
      plugin_.OnFrameworkTimer();
      pollfd events{view_->EventFd(), POLLIN, 0};
      ::poll(&events, 1, 20);
    }
    return true;
  }

  void Settle(int ticks) {
    int n = 0;
    RunUntil([&] { return ++n > ticks; });
  }

  // What the page shows in the element `selector`, posted back through the bridge (the plug-in
  // ignores the unknown message).
  std::string PageText(const std::string& selector) {
    reports_.clear();
    view_->EvaluateScript("IFxSendMsg({msg: 'TEST', text: document.querySelector('" + selector +
                          "').textContent});");
    if (!RunUntil([&] { return !reports_.empty(); })) return "(no answer)";
    return reports_.front();
  }

  // A drag of the resize grip by (dx, dy) CSS pixels.
  void DragGrip(int dx, int dy) {
    view_->EvaluateScript("(function () { const g = document.getElementById('grip');"
                          "const at = (type, x, y) => g.dispatchEvent(new PointerEvent(type, {bubbles: true,"
                          "  pointerId: 2, screenX: x, screenY: y}));"
                          "at('pointerdown', 100, 100); at('pointermove', 100 + " + std::to_string(dx) +
                          ", 100 + " + std::to_string(dy) + "); at('pointerup', 0, 0); })();");
  }

  // What is wrong with the layout as shown, checked in the page with every compact tab in turn:
  // a panel's box outside the window, visible text under 10 CSS px or outside the window (or its
  // scroll box outside it), or text cut off by its box. "none" when all is well.
  std::string LayoutProblems() {
    reports_.clear();
    view_->EvaluateScript(R"(
      (function () {
        const problems = [], W = innerWidth, H = innerHeight;
        const shown = e => { const r = e.getBoundingClientRect();
          return r.width > 0 && r.height > 0 && e.checkVisibility({ visibilityProperty: true }); };
        // Text a list scrolls to is reachable: it counts where its scroll box is.
        const scroller = e => { for (let p = e.parentElement; p; p = p.parentElement) {
          const o = getComputedStyle(p).overflowY; if (o === 'auto' || o === 'scroll') return p; } return null; };
        const outside = r => r.left < -0.5 || r.top < -0.5 || r.right > W + 0.5 || r.bottom > H + 0.5;
        const name = e => e.getAttribute('aria-label') || e.id || e.className;
        function check(where) {
          for (const e of document.querySelectorAll('.panel, .group, .bar, .tabs, .bar button')) {
            if (shown(e) && outside(e.getBoundingClientRect())) problems.push(where + ' box ' + name(e));
          }
          const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
          for (let n; (n = walker.nextNode());) {
            const e = n.parentElement, t = n.textContent.trim();
            if (!t || !shown(e) || e.closest('select')) continue;
            const range = document.createRange();
            range.selectNodeContents(n);
            const r = range.getBoundingClientRect();
            if (r.width === 0) continue;
            const size = parseFloat(getComputedStyle(e).fontSize);
            if (size < 10) problems.push(where + ' ' + size.toFixed(1) + ' px: ' + t.slice(0, 24));
            const box = scroller(e);
            if (outside(box ? box.getBoundingClientRect() : r)) problems.push(where + ' outside: ' + t.slice(0, 24));
            if (e.scrollWidth > e.clientWidth + 1 && getComputedStyle(e).overflowX !== 'visible' &&
                e.children.length === 0) problems.push(where + ' cut: ' + t.slice(0, 24));
          }
        }
        const tabs = [...document.querySelectorAll('#tabs .tab')].filter(shown);
        if (tabs.length === 0) check('full');
        for (const tab of tabs) { tab.click(); check(tab.textContent); }
        if (tabs.length) tabs[0].click();
        IFxSendMsg({msg: 'TEST', text: problems.length ? problems.join('; ') : 'none'});
      })();)");
    if (!RunUntil([&] { return !reports_.empty(); })) return "(no answer)";
    return reports_.front();
  }

  // Shows the page at w x h CSS pixels and `scale` device pixels each, as the host's view would.
  void ShowAt(int w, int h, double scale) {
    view_->SendToPage("Emulation.setDeviceMetricsOverride",
                      {{"width", w}, {"height", h}, {"deviceScaleFactor", scale}, {"mobile", false}});
    Settle(15);
  }

  std::string Edits() const {
    std::string kinds;
    for (const auto& e : handler_.edits) kinds += e.kind;
    return kinds;
  }
  // Only one parameter's: an earlier edit's linked partner may still be arriving.
  std::string EditsOf(int paramIdx) const {
    std::string kinds;
    for (const auto& e : handler_.edits)
      if (e.id == static_cast<Steinberg::Vst::ParamID>(paramIdx)) kinds += e.kind;
    return kinds;
  }

  ZARN plugin_;
  HostApplication application_{u"REAPER 7"};
  GroupingComponentHandler handler_;  // offers group edits, recorded as 'g' ... 'f'
  ChromiumWebView* view_ = nullptr;
  int loads_ = 0;
  long phase_ = 0;
  std::vector<std::string> reports_;
};

TEST_F(PageEndToEnd, DragTypedEntryAndScreenshots) {
  Settle(60);  // three seconds of programme: the meters move
  EXPECT_EQ(PageText("#rd-gr").find("0.0 dB"), std::string::npos) << PageText("#rd-gr");
  EXPECT_NE(PageText("#rd-i").find("LUFS"), std::string::npos);
  EXPECT_EQ(PageText("#rd-i").find("\u2014"), std::string::npos) << PageText("#rd-i");
  EXPECT_NE(PageText("#rd-tph").find("dBTP"), std::string::npos);
  EXPECT_EQ(PageText("#rd-tph").find("\u221e"), std::string::npos) << PageText("#rd-tph");
  std::filesystem::create_directories(ZARN_ARTIFACT_DIR);
  EXPECT_TRUE(view_->CaptureScreenshot(std::string(ZARN_ARTIFACT_DIR) + "/editor-1440x604.png"));

  // A drag on Ceiling L: pointer down, two moves, up.
  handler_.edits.clear();
  view_->EvaluateScript(R"(
    (function () {
      const bar = document.querySelector('.ctl[data-param="2"] .track');
      const r = bar.getBoundingClientRect();
      const at = (type, x) => bar.dispatchEvent(new PointerEvent(type, {bubbles: true, button: 0,
          pointerId: 1, clientX: x, clientY: r.top + r.height / 2}));
      at('pointerdown', r.left + r.width / 2);
      at('pointermove', r.left + r.width / 2 - 40);
      at('pointermove', r.left + r.width / 2 - 80);
      at('pointerup', r.left + r.width / 2 - 80);
    })();)");
  ASSERT_TRUE(RunUntil([&] { return Edits().find('e') != std::string::npos; })) << Edits();
  EXPECT_EQ(Edits().front(), 'b');
  EXPECT_NE(Edits().find('p'), std::string::npos);
  EXPECT_LT(plugin_.GetParam(kCeilingL)->Value(), -0.1);

  // Typed entry in the unit shown.
  view_->EvaluateScript(R"(
    (function () {
      const input = document.querySelector('.ctl[data-param="2"] input');
      input.focus();
      input.value = '-1.5';
      input.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', bubbles: true}));
    })();)");
  ASSERT_TRUE(RunUntil([&] { return plugin_.GetParam(kCeilingL)->Value() == -1.5; }));
  EXPECT_EQ(plugin_.Engine().settings.ceilingDb[0].load(), -1.5f);

  // A page setting is a parameter like the others: one click, one single change at the host.
  handler_.edits.clear();
  view_->EvaluateScript("document.querySelector('.pageset[data-param=\"17\"]').click();");
  ASSERT_TRUE(RunUntil([&] { return plugin_.GetParam(kAnalyser)->Value() == 1.0; }));
  EXPECT_EQ(EditsOf(kAnalyser), "bpe");

  // The output waveform: the page asks for the history and draws the reply.
  view_->EvaluateScript("document.getElementById('btn-wave').click();");
  std::string info;
  ASSERT_TRUE(RunUntil([&] { return (info = PageText("#wave-info")).find(" s at 48000 Hz") != std::string::npos; }))
      << info;
  view_->EvaluateScript("document.getElementById('wave-close').click();");

  // The grip asks only for sizes both the page message and the view accept.
  const auto& size = plugin_.GetEditorSize();
  DragGrip(100000, 100000);
  ASSERT_TRUE(RunUntil([&] { return size.width != 1440; }));
  EXPECT_EQ(size.width, 4096);
  EXPECT_EQ(size.height, 1812);
  DragGrip(-100000, -100000);
  ASSERT_TRUE(RunUntil([&] { return size.width != 4096; }));
  EXPECT_EQ(size.width, 480);
  EXPECT_EQ(size.height, 201);

  view_->SetBounds(0, 0, 480, 201);
  Settle(10);
  EXPECT_TRUE(view_->CaptureScreenshot(std::string(ZARN_ARTIFACT_DIR) + "/editor-480x201.png"));
}

// Every size the view allows, at its corners and between: the layout fits, text stays readable,
// and screenshots (1x, and 2x for the smallest and the default) are kept for people to look at.
TEST_F(PageEndToEnd, LayoutFitsAtEverySize) {
  Settle(40);
  std::filesystem::create_directories(ZARN_ARTIFACT_DIR);
  const int sizes[][2] = {{480, 201}, {720, 302}, {960, 402}, {1440, 604}, {2560, 1073}, {4096, 1812},
                          {480, 1812}, {4096, 201}, {1300, 1000}};
  for (const auto& [w, h] : sizes) {
    for (double scale : {1.0, 2.0}) {
      const bool keep = scale == 1.0 || (w == 480 && h == 201) || (w == 1440 && h == 604);
      if (!keep) continue;
      ShowAt(w, h, scale);
      const std::string where = std::to_string(w) + "x" + std::to_string(h) + (scale > 1.0 ? "@2x" : "");
      EXPECT_NE(LayoutProblems().find("\"text\":\"none\""), std::string::npos) << where << ": " << reports_.front();
      EXPECT_TRUE(view_->CaptureScreenshot(std::string(ZARN_ARTIFACT_DIR) + "/editor-" + where + ".png")) << where;
    }
  }
}

// Typed entry into a control's value field, as a person would.
std::string TypeInto(int paramIdx, const std::string& text) {
  return "(function () { const input = document.querySelector('.ctl[data-param=\"" + std::to_string(paramIdx) +
         "\"] input'); input.focus(); input.value = '" + text + "';"
         "input.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', bubbles: true})); })();";
}

// B is edited, then A chosen: every parameter that differs reaches the host as its own
// begin/perform/end inside one group edit, with A's values. Each slot undoes its own edits, in
// the engine as well.
TEST_F(PageEndToEnd, ABSwitchIsOneGesturePerParameterAndUndoRestoresTheEngine) {
  Settle(10);
  view_->EvaluateScript("document.getElementById('btn-b').click();");
  view_->EvaluateScript(TypeInto(kLoud, "40"));
  ASSERT_TRUE(RunUntil([&] { return plugin_.GetParam(kLoud)->Value() == 40.0; }));
  view_->EvaluateScript(TypeInto(kDriveL, "3"));  // linked: Drive R follows
  ASSERT_TRUE(RunUntil([&] { return plugin_.GetParam(kDriveR)->Value() == 3.0; }));
  Settle(5);

  handler_.edits.clear();
  view_->EvaluateScript("document.getElementById('btn-a').click();");
  ASSERT_TRUE(RunUntil([&] { return Edits().find('f') != std::string::npos; })) << Edits();
  EXPECT_EQ(Edits(), "gbpebpebpef");
  std::map<Steinberg::Vst::ParamID, double> performed;
  std::map<Steinberg::Vst::ParamID, std::string> kinds;
  for (const auto& e : handler_.edits) {
    if (e.kind == 'p') performed[e.id] = e.value;
    if (e.kind != 'g' && e.kind != 'f') kinds[e.id] += e.kind;
  }
  EXPECT_EQ(kinds, (std::map<Steinberg::Vst::ParamID, std::string>{{kDriveL, "bpe"}, {kDriveR, "bpe"}, {kLoud, "bpe"}}));
  EXPECT_DOUBLE_EQ(performed[kDriveL], plugin_.GetParam(kDriveL)->PlainToNormalized(0.0));
  EXPECT_DOUBLE_EQ(performed[kDriveR], plugin_.GetParam(kDriveR)->PlainToNormalized(0.0));
  EXPECT_DOUBLE_EQ(performed[kLoud], 0.0);
  EXPECT_EQ(plugin_.Engine().settings.driveDb[0].load(), 0.0f);
  EXPECT_EQ(plugin_.Engine().settings.loud.load(), 0.0f);
  EXPECT_EQ(plugin_.Slots().active, 0);
  ASSERT_EQ(plugin_.Slots().other.size(), static_cast<size_t>(kNumParams));
  EXPECT_EQ(plugin_.Slots().other[kLoud], 40.0);

  // An edit in A, taken back with Ctrl+Z and given again with Ctrl+Shift+Z.
  view_->EvaluateScript(TypeInto(kCeilingL, "-2"));
  ASSERT_TRUE(RunUntil([&] { return plugin_.Engine().settings.ceilingDb[1].load() == -2.0f; }));
  const std::string key = "document.dispatchEvent(new KeyboardEvent('keydown', {key: 'Z', ctrlKey: true, bubbles: true, shiftKey: ";
  view_->EvaluateScript(key + "false}));");
  ASSERT_TRUE(RunUntil([&] { return plugin_.Engine().settings.ceilingDb[0].load() == -0.1f; }));
  EXPECT_EQ(plugin_.Engine().settings.ceilingDb[1].load(), -0.1f);
  view_->EvaluateScript(key + "true}));");
  ASSERT_TRUE(RunUntil([&] { return plugin_.Engine().settings.ceilingDb[0].load() == -2.0f; }));

  // Back in B, undo takes back B's last edit (the drive), not A's.
  view_->EvaluateScript("document.getElementById('btn-b').click();");
  ASSERT_TRUE(RunUntil([&] { return plugin_.GetParam(kLoud)->Value() == 40.0; }));
  EXPECT_EQ(plugin_.Engine().settings.driveDb[1].load(), 3.0f);
  view_->EvaluateScript("document.getElementById('btn-undo').click();");
  ASSERT_TRUE(RunUntil([&] { return plugin_.Engine().settings.driveDb[0].load() == 0.0f; }));
  EXPECT_EQ(plugin_.Engine().settings.driveDb[1].load(), 0.0f);
  EXPECT_FLOAT_EQ(plugin_.Engine().settings.loud.load(), 0.4f);
}

}  // namespace
