// The framework's editor side: the page's messages in, parameter values and the description out,
// and the 20 ms timer that carries state to the page. [UI thread unless marked]
#include <algorithm>
#include <type_traits>
#include <variant>

#include "editor/PageInput.h"
#include "editor/PageMessages.h"
#include "host/IFxAPIBase.h"

namespace {
std::function<bool(const std::string&)>& LinkOpener() {
  static std::function<bool(const std::string&)> opener;
  return opener;
}
}  // namespace

void IFxAPIBase::SetLinkOpener(std::function<bool(const std::string& url)> opener) {
  LinkOpener() = std::move(opener);
}

bool IFxAPIBase::OpenLink(const std::string& url) const {
  return page_input::IsOpenableLink(url) && LinkOpener() && LinkOpener()(url);
}

void IFxAPIBase::SetParamValueFromEditor(int paramIdx, double normalized) {
  IParam* param = GetParam(paramIdx);
  if (!param || !param->SetNormalized(normalized)) return;
  OnParamChange(paramIdx);
}

bool IFxAPIBase::ResizeEditorFromPage(int width, int height) {
  SetEditorSize(width, height);
  return true;
}

void IFxAPIBase::SendAllParamValuesToPage() {
  for (int i = 0; i < NParams(); ++i) SendParamValueToPage(i, GetParam(i)->GetNormalized());
}

void IFxAPIBase::OnPageLoaded() {
  const std::string description = page_messages::ParameterDescription(*this);
  SendArbitraryMsgToPage(page_messages::kParameterDescription, static_cast<int>(description.size()),
                         description.data());
  OnEditorOpened();
}

void IFxAPIBase::OnPageMessage(std::string_view json) {
  const auto message = page_input::Parse(json, NParams());
  if (!message) return;
  std::visit(
      [this](const auto& m) {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, page_input::SetParam>) {
          SetParamValueFromEditor(m.paramIdx, std::clamp(m.value, 0.0, 1.0));
        } else if constexpr (std::is_same_v<T, page_input::BeginGesture>) {
          BeginInformHostOfParamChange(m.paramIdx);
        } else if constexpr (std::is_same_v<T, page_input::EndGesture>) {
          EndInformHostOfParamChange(m.paramIdx);
        } else if constexpr (std::is_same_v<T, page_input::Arbitrary>) {
          OnArbitraryMessage(m.msgTag, m.ctrlTag, static_cast<int>(m.data.size()),
                             m.data.empty() ? nullptr : m.data.data());
        } else if constexpr (std::is_same_v<T, page_input::Key>) {
          KeyPress key;
          key.vk = m.virtualKey;
          std::copy(std::begin(m.text), std::end(m.text), std::begin(key.utf8));
          key.shift = m.shift;
          key.control = m.control;
          key.alt = m.alt;
          if (m.isUp)
            OnEditorKeyUp(key);
          else
            OnEditorKeyDown(key);
        }
        // MIDI from the page has nowhere to go: the plug-in takes no MIDI input.
      },
      *message);
}

// [any thread]: the host may set values from its own threads; only the timer talks to the page.
void IFxAPIBase::SendParameterValueFromDelegate(int paramIdx, double /*normalized*/) {
  if (paramIdx >= 0 && paramIdx < NParams())
    markedValues_[static_cast<size_t>(paramIdx)].store(1, std::memory_order_release);
}

void IFxAPIBase::SendMarkedParamValues() {
  for (int i = 0; i < NParams(); ++i)
    if (markedValues_[static_cast<size_t>(i)].exchange(0, std::memory_order_acq_rel) != 0)
      SendParamValueToPage(i, GetParam(i)->GetNormalized());
}

void IFxAPIBase::OnFrameworkTimer() {
  if (IWebView* view = WebView()) view->Poll();  // may close the view
  SendMarkedParamValues();
  OnIdleTick();
}
