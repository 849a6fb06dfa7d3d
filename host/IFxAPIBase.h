#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/IEditorDelegate.h"
#include "host/IParam.h"
#include "host/PluginConfig.h"

// The framework's plug-in side that does not depend on any plug-in API: configuration,
// parameters, presets, host identity, editor size, the saved parameter block and the hooks a
// plug-in overrides.
class IFxAPIBase : public IEditorDelegate {
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
  virtual void OnEditorOpened() {}
  virtual void OnIdleTick() {}
  virtual void OnHostIdentified() {}
  virtual void OnActivate(bool /*active*/) {}

  // Calls OnParamChange for every parameter in index order.
  void OnAllParamsChanged();

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

 private:
  PluginConfig config_;
  std::vector<std::unique_ptr<IParam>> params_;
  std::vector<Preset> presets_;
  HostInfo host_;
  EditorSize editor_;
};
