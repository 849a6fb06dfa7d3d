#include "host/IFxAPIBase.h"

#include <strings.h>

IFxAPIBase::IFxAPIBase(const PluginConfig& config) : config_(config) {
  params_.reserve(static_cast<size_t>(config.nParams));
  for (int i = 0; i < config.nParams; ++i) params_.push_back(std::make_unique<IParam>());
  presets_.resize(static_cast<size_t>(config.nPresets));
}

IFxAPIBase::~IFxAPIBase() = default;

IParam* IFxAPIBase::GetParam(int index) {
  return index >= 0 && index < NParams() ? params_[static_cast<size_t>(index)].get() : nullptr;
}

const IParam* IFxAPIBase::GetParam(int index) const {
  return index >= 0 && index < NParams() ? params_[static_cast<size_t>(index)].get() : nullptr;
}

int IFxAPIBase::FindParam(const std::string& name) const {
  for (int i = 0; i < NParams(); ++i)
    if (strcasecmp(params_[static_cast<size_t>(i)]->Name().c_str(), name.c_str()) == 0) return i;
  return -1;
}

void IFxAPIBase::SetPreset(int index, const char* name) {
  if (index < 0 || index >= NPresets()) return;
  Preset& preset = presets_[static_cast<size_t>(index)];
  preset.name = name;
  preset.values.clear();
  for (const auto& param : params_) preset.values.push_back(param->Value());
}

void IFxAPIBase::OnAllParamsChanged() {
  for (int i = 0; i < NParams(); ++i) OnParamChange(i);
}
