#include "host/IFxAPIBase.h"

#include <strings.h>

#include <algorithm>
#include <cmath>

#include "host/ByteOrder.h"
#include "host/HostIdentity.h"

namespace {

IFxAPIBase::EditorSize EditorSizeOf(const PluginConfig& c) {
  IFxAPIBase::EditorSize e;
  e.hasEditor = c.hasEditor;
  e.hostResize = c.hostResize;
  e.width = c.editorWidth;
  e.height = c.editorHeight;
  e.minWidth = std::min(c.minWidth, c.maxWidth);
  e.maxWidth = std::max(c.minWidth, c.maxWidth);
  e.minHeight = std::min(c.minHeight, c.maxHeight);
  e.maxHeight = std::max(c.minHeight, c.maxHeight);
  return e;
}

}  // namespace

IFxAPIBase::IFxAPIBase(const PluginConfig& config)
    : config_(config), editor_(EditorSizeOf(config)) {
  params_.reserve(static_cast<size_t>(config.nParams));
  for (int i = 0; i < config.nParams; ++i) params_.push_back(std::make_unique<IParam>());
  presets_.resize(static_cast<size_t>(config.nPresets));
  markedValues_ = std::make_unique<std::atomic<uint8_t>[]>(static_cast<size_t>(config.nParams));
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

void IFxAPIBase::SetHost(const std::string& name, int32_t version) {
  host_.name = name;
  host_.id = IdentifyHost(name);
  host_.version = version;
  OnHostIdentified();
}

void IFxAPIBase::SetEditorSize(int width, int height) {
  editor_.width = width;
  editor_.height = height;
}

void IFxAPIBase::SerializeParams(std::vector<uint8_t>& chunk) const {
  for (const auto& param : params_) AppendDoubleLE(chunk, param->Value());
}

int64_t IFxAPIBase::UnserializeParams(const std::vector<uint8_t>& chunk, int64_t startPos) {
  int64_t pos = startPos < 0 ? -1 : startPos;
  for (auto& param : params_) {
    if (pos < 0) break;
    if (static_cast<size_t>(pos) + 8 > chunk.size()) {
      pos = -1;
      break;
    }
    const double stored = ReadDoubleLE(chunk.data() + pos);
    if (std::isnan(stored))
      param->SetToDefault();
    else
      param->Set(param->ClampValue(stored));  // infinities clamp to the ends of the range
    pos += 8;
  }
  OnAllParamsChanged();
  return pos;
}
