#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/WebViewEditorDelegate.h"
#include "host/IParam.h"
#include "host/PluginConfig.h"

// The framework's plug-in side that does not depend on any plug-in API: configuration,
// parameters, presets, host identity, editor size, the saved parameter block and the hooks a
// plug-in overrides.
class IFxAPIBase : public WebViewEditorDelegate {
 public:
  explicit IFxAPIBase(const PluginConfig& config);
  ~IFxAPIBase() override;
  IFxAPIBase(const IFxAPIBase&) = delete;
  IFxAPIBase& operator=(const IFxAPIBase&) = delete;

  const PluginConfig& Config() const { return config_; }
  int NParams() const { return static_cast<int>(params_.size()); }
  IParam* GetParam(int index);
  const IParam* GetParam(int index) const;
  // Index of the parameter with this name, compared without regard to case; -1 when none.
  int FindParam(const std::string& name) const;

  struct Preset {
    std::string name;
    std::vector<double> values;
  };
  void SetPreset(int index, const char* name);  // captures the current values
  int NPresets() const { return static_cast<int>(presets_.size()); }
  const Preset& GetPreset(int index) const { return presets_[index]; }

  // Hooks. Threads: OnParamChange runs on the audio thread for host automation and on the UI
  // thread for editor edits and full re-applies; the others run on the UI thread.
  virtual void OnParamChange(int /*paramIdx*/) {}
  virtual void OnStateRestored() {}
  // The plug-in's own data after the saved parameters and bypass word: appended when saving,
  // and handed back (possibly empty, short or garbled) when restoring, before OnStateRestored.
  virtual void AppendStateTail(std::vector<uint8_t>& /*bytes*/) const {}
  virtual void RestoreStateTail(const uint8_t* /*data*/, size_t /*size*/) {}
  // The page is ready; the default sends every parameter's value.
  virtual void OnEditorOpened() { SendAllParamValuesToPage(); }
  virtual void OnIdleTick() {}
  virtual void OnHostIdentified() {}
  virtual void OnActivate(bool /*active*/) {}

  // Calls OnParamChange for every parameter in index order.
  void OnAllParamsChanged();

  // Editor framework [UI thread].
  // A tagged message from the page; the default ignores it.
  virtual void OnArbitraryMessage(int /*msgTag*/, int /*ctrlTag*/, int /*dataSize*/,
                                  const void* /*data*/) {}
  // Edit gestures and values from the editor, told to the host by the plug-in API wrapper.
  virtual void BeginInformHostOfParamChange(int /*paramIdx*/) {}
  virtual void EndInformHostOfParamChange(int /*paramIdx*/) {}
  // A group of edits the host may record as one undo step; nothing where it offers none.
  virtual void BeginHostGroupEdit() {}
  virtual void EndHostGroupEdit() {}
  virtual void SetParamValueFromEditor(int paramIdx, double normalized);
  // The page asks for another editor size; the wrapper asks the host to follow.
  virtual bool ResizeEditorFromPage(int width, int height);
  // Opens an http(s) address in the system's browser; false when none could be started.
  static void SetLinkOpener(std::function<bool(const std::string& url)> opener);
  bool OpenLink(const std::string& url) const;

  // The page loaded: the parameter description, then OnEditorOpened.
  void OnPageLoaded() override;
  // What the page posted: checked, then dispatched; anything malformed has no effect.
  void OnPageMessage(std::string_view json) override;
  // A value the host set (any thread): marked, and sent to the page by the next timer tick.
  void SendParameterValueFromDelegate(int paramIdx, double normalized) override;
  // The 20 ms editor timer: marked values to the page, then OnIdleTick. [UI thread]
  void OnFrameworkTimer();
  // Every parameter's normalised value to the page, in index order.
  void SendAllParamValuesToPage();

  // The host, once identified: its name, identifier (HostId, -1 until identified) and version
  // (major << 16 | minor << 8 | patch). [UI thread]
  struct HostInfo {
    std::string name;
    int id = -1;
    int32_t version = 0;
  };
  const HostInfo& Host() const { return host_; }
  int GetHostId() const { return host_.id; }
  void SetHost(const std::string& name, int32_t version);

  // Editor size state: the current size changes only when the page asks for another.
  struct EditorSize {
    bool hasEditor = false;
    bool hostResize = false;
    int width = 0, height = 0;
    int minWidth = 0, maxWidth = 0, minHeight = 0, maxHeight = 0;
  };
  const EditorSize& GetEditorSize() const { return editor_; }
  void SetEditorSize(int width, int height);

  // The saved parameter block: every value as a little-endian 64-bit float, in index order.
  void SerializeParams(std::vector<uint8_t>& chunk) const;
  // Reads values from startPos, clamping each to its parameter (a stored NaN restores the
  // default), then calls OnParamChange for every parameter. Returns the position after the last
  // value, or -1 when the chunk ended first (the values read so far stay applied).
  int64_t UnserializeParams(const std::vector<uint8_t>& chunk, int64_t startPos);

 protected:
  const IParam* DelegateParam(int paramIdx) const override { return GetParam(paramIdx); }

 private:
  void SendMarkedParamValues();

  PluginConfig config_;
  std::vector<std::unique_ptr<IParam>> params_;
  std::vector<Preset> presets_;
  HostInfo host_;
  EditorSize editor_;
  std::unique_ptr<std::atomic<uint8_t>[]> markedValues_;
};
