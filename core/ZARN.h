#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/PageSlots.h"
#include "dsp/LimiterEngine.h"
#include "host/IFxVST3.h"

// The plug-in object: configuration, 27 parameters, the engine, and the hooks that tie host
// events to them. A VST3 host drives it through IFxVST3 (the module's factory creates it).
//
// Driving it without a plug-in host (tools, tests):
//   ZARN plugin;
//   plugin.GetParam(kDriveL)->Set(9.0); plugin.OnParamChange(kDriveL);
//   plugin.SetupProcessing(48000.0, 512, 2, 2);   // runs OnProcessingReset, reports latency
//   plugin.ProcessAudioBlock(inputs, outputs, n);  // n <= 512
//   plugin.GetLatency();                           // 335 at 48 kHz
class ZARN : public IFxVST3 {
 public:
  static PluginConfig MakeConfig();

  ZARN();
  ~ZARN() override;

  void OnParamChange(int paramIdx) override;  // [audio thread or UI thread]
  void OnStateRestored() override;            // [UI thread]
  void OnEditorOpened() override;             // [UI thread]
  void OnIdleTick() override;                 // [UI thread, every 20 ms]
  void OnArbitraryMessage(int msgTag, int ctrlTag, int dataSize, const void* data) override;
  void OnPageLoaded() override;               // [UI thread]
  void CloseWebView() override;               // [UI thread]
  // The A/B slots after the 220 bytes of state. [UI thread]
  void AppendStateTail(std::vector<uint8_t>& bytes) const override;
  void RestoreStateTail(const uint8_t* data, size_t size) override;
  const PageSlots& Slots() const { return pageSlots; }
  // The host lets the plug-in go: a gesture the page left open is closed while the host listens.
  Steinberg::tresult PLUGIN_API terminate() override;  // [UI thread]
  void ProcessAudioBlock(double** inputs, double** outputs, int nFrames) override;  // [audio]
  void OnProcessingReset() override;          // [thread of the host's setup call]

  // Sets a parameter from a plain value the way an edit does: value, then engine.
  bool SetParamValue(int paramIdx, double plain);

  LimiterEngine& Engine() { return engine; }
  const LimiterEngine& Engine() const { return engine; }

  // Tags of the page's requests.
  enum PageRequest : int {
    kPageEditParam = 1,
    kPageResetMeters = 2,
    kPageResize = 4,
    kPageOutputHistory = 5,
    kPageSendAllValues = 7,
    kPageOpenLink = 14,
    kPageGroupEdit = 15,   // {"group":"begin"|"end"} around edits that belong together
    kPageStoreSlots = 16,  // {"active":0|1,"other":[27 plain values]}
  };

  // Counters the editor's idle tick consumes.
  std::atomic<int32_t> uiRefreshTicks{0};
  std::atomic<int32_t> uiSampleRate{0};
  std::atomic<bool> stateRestoredPending{false};

 private:
  void EditParamFromPage(int paramIdx, float plain, char gesture);
  void CloseOpenGesture();
  void SendOutputHistory();
  void SendMeters();
  void SendSlotsToPage();
  void TakeSlots(PageSlots slots);
  std::vector<double> LiveValues() const;

  LimiterEngine engine;
  int32_t pageGestureParam = -1;  // the parameter whose edit gesture the page holds open
  bool pageGroupOpen = false;     // the page opened a host group edit it has not closed
  PageSlots pageSlots;
  int32_t lastReportedLatency = -1;
  std::vector<double> scratch;
};
