// The plug-in and a real page in headless Chromium: the description, every value and the meters
// arrive in the page, and what the page posts changes the plug-in's parameters.
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "editor/linux/ChromiumProcess.h"
#include "editor/linux/ChromiumWebView.h"

namespace {

using nlohmann::json;

class ChromiumPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ChromiumProcess::Find("").empty()) GTEST_SKIP() << "chromium is not installed; skipped";
    ASSERT_TRUE(plugin_.SetupProcessing(48000.0, 480, 2, 2));
    ChromiumWebView::Callbacks callbacks;
    callbacks.onPageMessage = [this](const std::string& text) {
      const json m = json::parse(text, nullptr, false);
      if (m.is_object() && m.value("msg", "") == "echo")
        echoes_.push_back(m);
      else
        plugin_.OnPageMessage(text);  // what a real page posts
    };
    callbacks.onPageLoaded = [this] { plugin_.OnPageLoaded(); };
    auto view = std::make_unique<ChromiumWebView>(
        callbacks, std::string(ZARN_TEST_WEB_DIR) + "/index.html", ChromiumWebView::Options{});
    view_ = view.get();
    if (view_->BrowserPid() == 0) GTEST_SKIP() << "chromium could not be started; skipped";
    plugin_.AttachWebView(std::move(view));
  }

  // Runs audio and the editor timer, as host and UI thread would, until `done` (30 s at most).
  bool RunUntil(const std::function<bool()>& done) {
    std::vector<double> in(480, 0.3), outL(480), outR(480);
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {outL.data(), outR.data()};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      for (int b = 0; b < 5; ++b) plugin_.ProcessAudioBlock(ins, outs, 480);  // 50 ms of audio
      plugin_.OnFrameworkTimer();
      pollfd events{view_->EventFd(), POLLIN, 0};
      ::poll(&events, 1, 20);
    }
    return true;
  }

  int Echoes(const std::string& fn, int firstArg = 1 << 30) const {
    int n = 0;
    for (const json& m : echoes_)
      if (m.value("fn", "") == fn && (firstArg == (1 << 30) || m["args"][0] == firstArg)) ++n;
    return n;
  }

  ZARN plugin_;
  ChromiumWebView* view_ = nullptr;
  std::vector<json> echoes_;
};

TEST_F(ChromiumPlugin, DescriptionValuesAndMetersReachThePageAndItsEditsComeBack) {
  // Waited for as a whole: on a loaded machine the messages arrive in more than one timer tick.
  ASSERT_TRUE(RunUntil([&] {
    return Echoes("SAMFD", -1) >= 1 && Echoes("SPVFD") >= kNumParams && Echoes("SAMFD", 0) >= 3 &&
           Echoes("SAMFD", 3) >= 1;
  })) << "description " << Echoes("SAMFD", -1) << ", values " << Echoes("SPVFD") << ", meters "
      << Echoes("SAMFD", 0) << ", sample rate " << Echoes("SAMFD", 3);

  // The page sets Ceiling L half way (-10 dB) and asks for a reset of the meters.
  view_->EvaluateScript("IFxSendMsg({msg: 'SPVFUI', paramIdx: 2, value: 0.5});");
  ASSERT_TRUE(RunUntil([&] { return plugin_.GetParam(kCeilingL)->Value() == -10.0; }));
  EXPECT_EQ(plugin_.Engine().settings.ceilingDb[0].load(), -10.0f);
}

}  // namespace
