// Script calls to the page: exact texts, length limit, and silence without a web view.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "editor/WebViewEditorDelegate.h"

namespace {

struct RecordingWebView : IWebView {
  explicit RecordingWebView(std::vector<std::string>& log) : scripts(log) {}
  void EvaluateScript(const std::string& script) override { scripts.push_back(script); }
  void SetBounds(int, int, int, int) override {}
  void Reload() override {}
  std::vector<std::string>& scripts;
};

class TestDelegate : public WebViewEditorDelegate {
 public:
  ZARN plugin;

 protected:
  const IParam* DelegateParam(int index) const override { return plugin.GetParam(index); }
};

TEST(EditorDelegate, FormatsTheFiveCallShapes) {
  std::vector<std::string> scripts;
  TestDelegate delegate;
  delegate.AttachWebView(std::make_unique<RecordingWebView>(scripts));
  delegate.SendParamValueToPage(kCeilingR, 0.975);
  delegate.SendParamValueToPage(kRelease, 50.0, false);  // plain: (50 - 30) / 970
  delegate.SendControlValueToPage(-1, -0.5);
  delegate.SendArbitraryMsgToPage(3, 2, "hi");
  delegate.SendControlMsgToPage(4, 6, 1, "\xFF");
  delegate.SendMidiMsgToPage(144, 60, 127);
  EXPECT_EQ(scripts, (std::vector<std::string>{
                         "SPVFD(3, 0.975000)", "SPVFD(4, 0.020619)", "SCVFD(-1, -0.500000)",
                         "SAMFD(3, 2, 'aGk=')", "SCMFD(4, 6, 1, '/w==')", "SMMFD(144, 60, 127)"}));
}

TEST(EditorDelegate, CutsLongCallsAndDropsEverythingWithoutAWebView) {
  std::vector<std::string> scripts;
  TestDelegate delegate;
  delegate.SendParamValueToPage(0, 0.5);  // no web view yet: dropped
  delegate.AttachWebView(std::make_unique<RecordingWebView>(scripts));
  const std::string big(9000, 'x');
  delegate.SendArbitraryMsgToPage(0, static_cast<int>(big.size()), big.data());
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_EQ(scripts[0].size(), WebViewEditorDelegate::kDefaultMaxScriptLength);
  delegate.maxScriptLength = 20000;
  delegate.SendArbitraryMsgToPage(0, static_cast<int>(big.size()), big.data());
  EXPECT_EQ(scripts[1].back(), ')');
  delegate.SendParamValueToPage(99, 5.0, false);  // no such parameter: nothing to normalise
  EXPECT_EQ(scripts.size(), 2u);
  delegate.CloseWebView();
  delegate.SendMidiMsgToPage(1, 2, 3);
  EXPECT_EQ(scripts.size(), 2u);
}

}  // namespace
