#include "host/vst3kit/SingleComponentEffect.h"

#include <atomic>
#include <cmath>

#include "host/vst3kit/Strings.h"

namespace vst3kit {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
std::atomic<KnobMode> gKnobMode{kCircularMode};  // one setting for the whole process
}

SingleComponentEffect::SingleComponentEffect() = default;
SingleComponentEffect::~SingleComponentEffect() = default;

tresult PLUGIN_API SingleComponentEffect::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!iid) return kInvalidArgument;
  if (AnswerQuery<FUnknown, IComponent>(this, iid, obj) ||
      AnswerQuery<IPluginBase, IComponent>(this, iid, obj) ||
      AnswerQuery<IComponent>(this, iid, obj) || AnswerQuery<IAudioProcessor>(this, iid, obj) ||
      AnswerQuery<IProcessContextRequirements>(this, iid, obj) ||
      AnswerQuery<IEditController>(this, iid, obj) ||
      AnswerQuery<IEditController2>(this, iid, obj) || AnswerQuery<IUnitInfo>(this, iid, obj) ||
      AnswerQuery<IConnectionPoint>(this, iid, obj))
    return kResultOk;
  return kNoInterface;
}

uint32 PLUGIN_API SingleComponentEffect::addRef() { return refs_.Add(); }

uint32 PLUGIN_API SingleComponentEffect::release() {
  const uint32 left = refs_.Remove();
  if (left == 0) delete this;
  return left;
}

tresult PLUGIN_API SingleComponentEffect::initialize(FUnknown* context) {
  if (hostContext_) return kResultFalse;
  hostContext_ = Ptr<FUnknown>(context);
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::terminate() {
  parameters_.Clear();
  units_.clear();
  audioInputs_.Clear();
  audioOutputs_.Clear();
  eventInputs_.Clear();
  eventOutputs_.Clear();
  componentHandler_ = {};
  peer_ = {};
  hostContext_ = {};
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getControllerClassId(TUID) { return kNotImplemented; }
tresult PLUGIN_API SingleComponentEffect::setIoMode(IoMode) { return kNotImplemented; }

BusList* SingleComponentEffect::Buses(MediaType type, BusDirection dir) {
  if (type == kAudio) return dir == kInput ? &audioInputs_ : dir == kOutput ? &audioOutputs_ : nullptr;
  if (type == kEvent) return dir == kInput ? &eventInputs_ : dir == kOutput ? &eventOutputs_ : nullptr;
  return nullptr;
}

int32 PLUGIN_API SingleComponentEffect::getBusCount(MediaType type, BusDirection dir) {
  const BusList* buses = Buses(type, dir);
  return buses ? buses->Count() : 0;
}

tresult PLUGIN_API SingleComponentEffect::getBusInfo(MediaType type, BusDirection dir,
                                                     int32 index, BusInfo& bus) {
  const BusList* buses = Buses(type, dir);
  return buses && buses->GetInfo(index, bus) ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API SingleComponentEffect::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
  return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::activateBus(MediaType type, BusDirection dir,
                                                      int32 index, TBool state) {
  BusList* buses = Buses(type, dir);
  return buses && buses->SetActive(index, state != 0) ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API SingleComponentEffect::setActive(TBool) { return kResultOk; }

// Accepts only the arrangements the buses already have.
tresult PLUGIN_API SingleComponentEffect::setBusArrangements(SpeakerArrangement* inputs,
                                                             int32 numIns,
                                                             SpeakerArrangement* outputs,
                                                             int32 numOuts) {
  if (numIns != audioInputs_.Count() || numOuts != audioOutputs_.Count()) return kResultFalse;
  if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs)) return kInvalidArgument;
  for (int32 i = 0; i < numIns; ++i)
    if (audioInputs_.At(i)->arrangement != inputs[i]) return kResultFalse;
  for (int32 i = 0; i < numOuts; ++i)
    if (audioOutputs_.At(i)->arrangement != outputs[i]) return kResultFalse;
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getBusArrangement(BusDirection dir, int32 index,
                                                            SpeakerArrangement& arr) {
  const BusList* buses = Buses(kAudio, dir);
  const Bus* bus = buses ? buses->At(index) : nullptr;
  if (!bus) return kInvalidArgument;
  arr = bus->arrangement;
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultOk : kResultFalse;
}

uint32 PLUGIN_API SingleComponentEffect::getLatencySamples() { return 0; }

tresult PLUGIN_API SingleComponentEffect::setupProcessing(ProcessSetup& setup) {
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultOk) return kResultFalse;
  setup_ = setup;
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setProcessing(TBool) { return kResultOk; }
uint32 PLUGIN_API SingleComponentEffect::getTailSamples() { return kNoTail; }
uint32 PLUGIN_API SingleComponentEffect::getProcessContextRequirements() { return 0; }

tresult PLUGIN_API SingleComponentEffect::setComponentState(IBStream*) { return kResultOk; }
tresult SingleComponentEffect::ReadControllerState(IBStream*) { return kResultOk; }
tresult SingleComponentEffect::WriteControllerState(IBStream*) { return kResultOk; }

int32 PLUGIN_API SingleComponentEffect::getParameterCount() { return parameters_.Count(); }

tresult PLUGIN_API SingleComponentEffect::getParameterInfo(int32 paramIndex,
                                                           ParameterInfo& info) {
  const Parameter* parameter = parameters_.AtIndex(paramIndex);
  if (!parameter) return kInvalidArgument;
  info = parameter->Info();
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getParamStringByValue(ParamID id,
                                                                ParamValue valueNormalized,
                                                                String128 string) {
  const Parameter* parameter = parameters_.Find(id);
  if (!parameter || !string || std::isnan(valueNormalized)) return kInvalidArgument;
  try {
    std::string text;
    if (!parameter->ToString(valueNormalized, text)) return kResultFalse;
    CopyToField(string, 128, text);
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

tresult PLUGIN_API SingleComponentEffect::getParamValueByString(ParamID id, TChar* string,
                                                                ParamValue& valueNormalized) {
  const Parameter* parameter = parameters_.Find(id);
  if (!parameter || !string) return kInvalidArgument;
  try {
    return parameter->FromString(Utf16ToUtf8(string, 128), valueNormalized) ? kResultOk
                                                                             : kResultFalse;
  } catch (...) {
    return kOutOfMemory;
  }
}

ParamValue PLUGIN_API SingleComponentEffect::normalizedParamToPlain(ParamID id,
                                                                   ParamValue valueNormalized) {
  const Parameter* parameter = parameters_.Find(id);
  return parameter ? parameter->ToPlain(valueNormalized) : valueNormalized;
}

ParamValue PLUGIN_API SingleComponentEffect::plainParamToNormalized(ParamID id,
                                                                   ParamValue plainValue) {
  const Parameter* parameter = parameters_.Find(id);
  return parameter ? parameter->ToNormalized(plainValue) : plainValue;
}

ParamValue PLUGIN_API SingleComponentEffect::getParamNormalized(ParamID id) {
  const Parameter* parameter = parameters_.Find(id);
  return parameter ? parameter->GetNormalized() : 0.0;
}

tresult PLUGIN_API SingleComponentEffect::setParamNormalized(ParamID id, ParamValue value) {
  Parameter* parameter = parameters_.Find(id);
  if (!parameter) return kResultFalse;
  return parameter->SetNormalized(value) ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API SingleComponentEffect::setComponentHandler(IComponentHandler* handler) {
  if (handler != componentHandler_.get()) componentHandler_ = Ptr<IComponentHandler>(handler);
  return kResultOk;
}

IPlugView* PLUGIN_API SingleComponentEffect::createView(FIDString) { return nullptr; }

tresult PLUGIN_API SingleComponentEffect::setKnobMode(KnobMode mode) {
  gKnobMode.store(mode, std::memory_order_relaxed);
  return kResultOk;
}

KnobMode SingleComponentEffect::GetKnobMode() { return gKnobMode.load(std::memory_order_relaxed); }
tresult PLUGIN_API SingleComponentEffect::openHelp(TBool) { return kResultFalse; }
tresult PLUGIN_API SingleComponentEffect::openAboutBox(TBool) { return kResultFalse; }

int32 PLUGIN_API SingleComponentEffect::getUnitCount() { return static_cast<int32>(units_.size()); }

tresult PLUGIN_API SingleComponentEffect::getUnitInfo(int32 unitIndex, UnitInfo& info) {
  if (unitIndex < 0 || unitIndex >= getUnitCount()) return kResultFalse;
  units_[static_cast<size_t>(unitIndex)].GetInfo(info);
  return kResultOk;
}

int32 PLUGIN_API SingleComponentEffect::getProgramListCount() { return 0; }
tresult PLUGIN_API SingleComponentEffect::getProgramListInfo(int32, ProgramListInfo&) {
  return kResultFalse;
}
tresult PLUGIN_API SingleComponentEffect::getProgramName(ProgramListID, int32, String128) {
  return kResultFalse;
}
tresult PLUGIN_API SingleComponentEffect::getProgramInfo(ProgramListID, int32, const char*,
                                                         String128) {
  return kResultFalse;
}
tresult PLUGIN_API SingleComponentEffect::hasProgramPitchNames(ProgramListID, int32) {
  return kResultFalse;
}
tresult PLUGIN_API SingleComponentEffect::getProgramPitchName(ProgramListID, int32, int16,
                                                              String128) {
  return kResultFalse;
}
UnitID PLUGIN_API SingleComponentEffect::getSelectedUnit() { return selectedUnit_; }

tresult PLUGIN_API SingleComponentEffect::selectUnit(UnitID unitId) {
  selectedUnit_ = unitId;
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getUnitByBus(MediaType, BusDirection, int32, int32,
                                                       UnitID&) {
  return kResultFalse;
}
tresult PLUGIN_API SingleComponentEffect::setUnitProgramData(int32, int32, IBStream*) {
  return kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::connect(IConnectionPoint* other) {
  if (!other) return kInvalidArgument;
  if (peer_) return kResultFalse;
  peer_ = Ptr<IConnectionPoint>(other);
  return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::disconnect(IConnectionPoint* other) {
  if (!other || other != peer_.get()) return kResultFalse;
  peer_ = {};
  return kResultOk;
}

// The component and the controller are one object: there is nothing to tell each other.
tresult PLUGIN_API SingleComponentEffect::notify(IMessage* message) {
  return message ? kResultFalse : kInvalidArgument;
}

tresult SingleComponentEffect::BeginEdit(ParamID id) {
  return componentHandler_ ? componentHandler_->beginEdit(id) : kResultFalse;
}

tresult SingleComponentEffect::PerformEdit(ParamID id, ParamValue valueNormalized) {
  return componentHandler_ ? componentHandler_->performEdit(id, valueNormalized) : kResultFalse;
}

tresult SingleComponentEffect::EndEdit(ParamID id) {
  return componentHandler_ ? componentHandler_->endEdit(id) : kResultFalse;
}

tresult SingleComponentEffect::RestartComponent(int32 flags) {
  return componentHandler_ ? componentHandler_->restartComponent(flags) : kResultFalse;
}

}  // namespace vst3kit
