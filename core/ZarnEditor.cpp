// The plug-in's editor side: the page's requests and the 20 ms idle tick. [UI thread]
#include <string>
#include <vector>

#include "core/PageSlots.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "editor/PageInput.h"
#include "editor/PageMessages.h"

namespace {
std::string_view PayloadText(int dataSize, const void* data) {
  if (dataSize <= 0 || !data) return {};
  return {static_cast<const char*>(data), static_cast<size_t>(dataSize)};
}
}  // namespace

void ZARN::OnEditorOpened() {
  IFxVST3::OnEditorOpened();  // every value
  uiRefreshTicks.store(5, std::memory_order_relaxed);
  // A page that loads after the last reset would otherwise never learn the sample rate.
  uiSampleRate.store(static_cast<int32_t>(engine.SampleRate()), std::memory_order_relaxed);
}

void ZARN::OnPageLoaded() {
  CloseOpenGesture();  // a reloaded page cannot finish the gesture the old one began
  IFxVST3::OnPageLoaded();
  SendSlotsToPage();
}

void ZARN::CloseWebView() {
  CloseOpenGesture();
  IFxVST3::CloseWebView();
}

Steinberg::tresult PLUGIN_API ZARN::terminate() {
  StopEditorTimer();
  CloseOpenGesture();
  return IFxVST3::terminate();
}

void ZARN::CloseOpenGesture() {
  if (pageGestureParam >= 0 && pageGestureParam < kNumParams)
    EndInformHostOfParamChange(pageGestureParam);
  pageGestureParam = -1;
  if (pageGroupOpen) EndHostGroupEdit();
  pageGroupOpen = false;
}

void ZARN::OnArbitraryMessage(int msgTag, int /*ctrlTag*/, int dataSize, const void* data) {
  const std::string_view payload = PayloadText(dataSize, data);
  switch (msgTag) {
    case kPageEditParam:
      if (const auto edit = page_input::ParseParamEdit(payload, kNumParams))
        EditParamFromPage(edit->paramIdx, edit->value, edit->gesture);
      break;
    case kPageResetMeters:
      engine.RequestMeterReset();
      break;
    case kPageResize:
      if (const auto size = page_input::ParseResize(payload)) {
        SetWebViewBounds(0.0f, 0.0f, static_cast<float>(size->width), static_cast<float>(size->height));
        ResizeEditorFromPage(size->width, size->height);
      }
      break;
    case kPageOutputHistory:
      SendOutputHistory();
      break;
    case kPageSendAllValues:
      SendAllParamValuesToPage();
      uiRefreshTicks.store(0, std::memory_order_relaxed);
      break;
    case kPageOpenLink:
      if (const auto url = page_input::ParseLink(payload)) OpenLink(*url);
      break;
    case kPageGroupEdit:
      // Nested or unmatched brackets from the page never reach the host.
      if (const auto begin = page_slots::ParseGroupEdit(payload); begin && *begin != pageGroupOpen) {
        pageGroupOpen = *begin;
        if (*begin) BeginHostGroupEdit();
        else EndHostGroupEdit();
      }
      break;
    case kPageStoreSlots:
      if (auto slots = page_slots::ParsePageMessage(payload, kNumParams)) {
        TakeSlots(std::move(*slots));
      }
      break;
    default:
      break;
  }
}

// A drag sends 'b' (or 'd'), values, then 'e'; a click sends 's'. Starting a gesture on another
// parameter closes the open one first.
void ZARN::EditParamFromPage(int paramIdx, float plain, char gesture) {
  const double normalized = GetParam(paramIdx)->PlainToNormalized(plain);
  const int open = pageGestureParam;
  if (open == paramIdx) {
    SetParamValueFromEditor(paramIdx, normalized);
    if (gesture == 'e') {
      EndInformHostOfParamChange(paramIdx);
      pageGestureParam = -1;
    }
  } else if (gesture == 'b' || gesture == 'd') {
    if (open >= 0 && open < kNumParams) EndInformHostOfParamChange(open);
    BeginInformHostOfParamChange(paramIdx);
    pageGestureParam = paramIdx;
    SetParamValueFromEditor(paramIdx, normalized);
  } else if (gesture == 's') {
    BeginInformHostOfParamChange(paramIdx);
    SetParamValueFromEditor(paramIdx, normalized);
    EndInformHostOfParamChange(paramIdx);
  } else {
    SetParamValueFromEditor(paramIdx, normalized);
  }
  SendParamValueToPage(paramIdx, normalized);  // the page shows the value as applied
}

void ZARN::SendSlotsToPage() {
  const std::string text = page_slots::PageMessage(pageSlots);
  SendArbitraryMsgToPage(page_messages::kSlots, static_cast<int>(text.size()), text.data());
}

std::vector<double> ZARN::LiveValues() const {
  std::vector<double> values;
  for (int i = 0; i < kNumParams; ++i) values.push_back(GetParam(i)->Value());
  return values;
}

// The other slot's values as the parameters would take them.
void ZARN::TakeSlots(PageSlots slots) {
  for (int i = 0; i < kNumParams && static_cast<size_t>(i) < slots.other.size(); ++i)
    slots.other[static_cast<size_t>(i)] = GetParam(i)->ClampValue(slots.other[static_cast<size_t>(i)]);
  pageSlots = std::move(slots);
}

void ZARN::AppendStateTail(std::vector<uint8_t>& bytes) const {
  page_slots::AppendBlock(pageSlots, LiveValues(), bytes);
}

// A state without a readable block (an older one, or one cut short) has B equal to A.
void ZARN::RestoreStateTail(const uint8_t* data, size_t size) {
  auto slots = page_slots::ReadBlock(data, size, kNumParams);
  if (slots) {
    TakeSlots(std::move(*slots));
  } else {
    pageSlots = PageSlots{0, LiveValues()};
  }
  SendSlotsToPage();
}

void ZARN::SendOutputHistory() {
  const OutputCapture& capture = engine.Capture();
  std::vector<float> left(static_cast<size_t>(capture.Size())), right(left.size());
  const int n = capture.CopyLatest(left.data(), right.data(), capture.Size());
  left.resize(static_cast<size_t>(n));
  right.resize(static_cast<size_t>(n));
  const std::vector<float> reply = page_messages::OutputHistory(engine.SampleRate(), left, right);
  const size_t bytes = reply.size() * sizeof(float);
  maxScriptLength = 16 * reply.size() / 3 + 256;  // room for the base64 text of the reply
  SendArbitraryMsgToPage(page_messages::kOutputHistory, static_cast<int>(bytes), reply.data());
  maxScriptLength = kDefaultMaxScriptLength;
}

void ZARN::SendMeters() {
  MeterSnapshot snapshot;
  if (!engine.TakeMeterSnapshot(snapshot)) return;
  const std::string text = page_messages::MeterMessage(snapshot);
  SendArbitraryMsgToPage(page_messages::kMeters, static_cast<int>(text.size()), text.data());
}

void ZARN::OnIdleTick() {
  // At most one full round of values per tick, while refresh rounds are pending.
  int32_t ticks = uiRefreshTicks.load(std::memory_order_relaxed);
  while (ticks > 0) {
    if (uiRefreshTicks.compare_exchange_weak(ticks, ticks - 1, std::memory_order_relaxed)) {
      SendAllParamValuesToPage();
      break;
    }
  }
  // After a restore the host learns that Level Match went off.
  if (stateRestoredPending.exchange(false, std::memory_order_relaxed)) {
    BeginInformHostOfParamChange(kLevelMatch);
    SetParamValueFromEditor(kLevelMatch, 0.0);
    EndInformHostOfParamChange(kLevelMatch);
  }
  const int32_t sampleRate = uiSampleRate.exchange(0, std::memory_order_relaxed);
  if (sampleRate > 0 && Config().hasEditor) {
    const std::string text = page_messages::SampleRateMessage(static_cast<uint32_t>(sampleRate));
    SendArbitraryMsgToPage(page_messages::kSampleRate, static_cast<int>(text.size()), text.data());
  }
  SendMeters();
}
