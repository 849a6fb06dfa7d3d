#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/IParam.h"
#include "host/PluginConfig.h"

// The framework's plug-in side that does not depend on any plug-in API: configuration,
// parameters, presets and the hooks a plug-in overrides.
class IFxAPIBase {
 public:
  explicit IFxAPIBase(const PluginConfig& config);
  virtual ~IFxAPIBase();
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

  // Calls OnParamChange for every parameter in index order.
  void OnAllParamsChanged();

 private:
  PluginConfig config_;
  std::vector<std::unique_ptr<IParam>> params_;
  std::vector<Preset> presets_;
};
