// The edit-controller side of IFxVST3: exported parameters, units, presets, MIDI mapping,
// channel context, the editor view and edits reported to the host. [UI thread]
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "host/IFxVST3.h"
#include "host/IFxVST3Parameter.h"
#include "host/IFxVST3View.h"
#include "host/MidiProxy.h"
#include "host/vst3kit/Interfaces.h"
#include "host/vst3kit/Strings.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
constexpr int kInstrumentType = 1;
}

// The host bypass first (effects only), then every plug-in parameter under its index, each in
// the unit of its group (the root unit for none).
void IFxVST3::ExportParameters() {
  Parameters().Clear();
  Units().clear();
  Units().emplace_back(kRootUnitId, kNoParentUnitId, "Root");
  if (Config().pluginType != kInstrumentType)
    Parameters().Add(std::make_unique<IFxVST3BypassParameter>());

  std::vector<std::string> groups;
  for (int i = 0; i < NParams(); ++i) {
    const IParam& param = *GetParam(i);
    UnitID unit = kRootUnitId;
    if (!param.Group().empty()) {
      auto found = std::find(groups.begin(), groups.end(), param.Group());
      if (found == groups.end()) {
        groups.push_back(param.Group());
        Units().emplace_back(static_cast<UnitID>(groups.size()), kRootUnitId, param.Group());
        found = groups.end() - 1;
      }
      unit = static_cast<UnitID>(found - groups.begin() + 1);
    }
    Parameters().Add(std::make_unique<IFxVST3Parameter>(i, param, unit));
  }
}

tresult PLUGIN_API IFxVST3::setParamNormalized(ParamID id, ParamValue value) {
  vst3kit::Parameter* parameter = Parameters().Find(id);
  if (!parameter) return kResultFalse;
  if (std::isnan(value)) return kInvalidArgument;
  parameter->SetNormalized(value);
  if (IParam* param = id < kBypassParamId ? GetParam(static_cast<int>(id)) : nullptr) {
    param->SetNormalized(value);
    // The value the state will save is the one the sound follows, as with an edit on the page.
    OnParamChange(static_cast<int>(id));
    SendParameterValueFromDelegate(static_cast<int>(id), parameter->GetNormalized());
  }
  return kResultOk;
}

IPlugView* PLUGIN_API IFxVST3::createView(FIDString name) {
  if (!GetEditorSize().hasEditor || !name || std::strcmp(name, kEditorViewType) != 0)
    return nullptr;
  auto* view = new (std::nothrow) IFxVST3View(*this);
  if (!view) return nullptr;
  SetCurrentView(view);
  return view;
}

tresult PLUGIN_API IFxVST3::getProgramName(ProgramListID listId, int32 programIndex,
                                           String128 name) {
  if (listId != kPresetListId || programIndex < 0 || programIndex >= NPresets() || !name)
    return kResultFalse;
  vst3kit::CopyToField(name, 128, GetPreset(programIndex).name);
  return kResultOk;
}

tresult PLUGIN_API IFxVST3::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                        CtrlNumber midiControllerNumber,
                                                        ParamID& id) {
  if (busIndex != 0 || channel != 0 || midiControllerNumber < 0 ||
      midiControllerNumber >= kCountCtrlNumber)
    return kResultFalse;
  id = MidiProxyId(channel, midiControllerNumber);
  return kResultOk;
}

tresult PLUGIN_API IFxVST3::setChannelContextInfos(IAttributeList* list) {
  if (!list) return kResultFalse;
  try {
    ReadChannelContext(*list);
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

void IFxVST3::SetParamValueFromEditor(int paramIdx, double normalized) {
  IParam* param = GetParam(paramIdx);
  if (!param || !std::isfinite(normalized)) return;
  normalized = std::clamp(normalized, 0.0, 1.0);  // the host never sees a value out of range
  const auto id = static_cast<ParamID>(paramIdx);
  if (vst3kit::Parameter* parameter = Parameters().Find(id)) parameter->SetNormalized(normalized);
  param->SetNormalized(normalized);
  PerformEdit(id, normalized);
  OnParamChange(paramIdx);
}

void IFxVST3::BeginInformHostOfParamChange(int paramIdx) {
  if (GetParam(paramIdx)) BeginEdit(static_cast<ParamID>(paramIdx));
}

void IFxVST3::EndInformHostOfParamChange(int paramIdx) {
  if (GetParam(paramIdx)) EndEdit(static_cast<ParamID>(paramIdx));
}

void IFxVST3::BeginHostGroupEdit() {
  if (auto handler = vst3kit::QueryInterface<IComponentHandler2>(ComponentHandler())) handler->startGroupEdit();
}

void IFxVST3::EndHostGroupEdit() {
  if (auto handler = vst3kit::QueryInterface<IComponentHandler2>(ComponentHandler())) handler->finishGroupEdit();
}

bool IFxVST3::ResizeEditorFromPage(int width, int height) {
  const EditorSize& size = GetEditorSize();
  if (!size.hasEditor) return true;
  if (CurrentView() && (width != size.width || height != size.height))
    CurrentView()->RequestHostResize(width, height);
  SetEditorSize(width, height);
  return true;
}

void IFxVST3::StartEditorTimer(FUnknown* context) {
  if (!editorTimer_->Running()) editorTimer_->Start(context, 20, [this] { OnFrameworkTimer(); });
}
