#pragma once

// One object that is both the component (audio processor) and the edit controller, with the
// default answers of each interface: buses, parameters, units, host context, component handler
// and edit notifications. A plug-in framework derives from it and overrides what it needs.
//
// Threads: process runs on the audio thread; everything else on the host's UI thread, except
// that setParamNormalized may overlap process (parameter values are atomic).

#include <vector>

#include "host/vst3/AudioProcessor.h"
#include "host/vst3/Component.h"
#include "host/vst3/EditController.h"
#include "host/vst3/Messages.h"
#include "host/vst3/UnitInfo.h"
#include "host/vst3kit/BusList.h"
#include "host/vst3kit/Interfaces.h"
#include "host/vst3kit/ParameterContainer.h"
#include "host/vst3kit/StateEntries.h"
#include "host/vst3kit/Unit.h"

namespace vst3kit {

namespace sb = Steinberg;
namespace vst = Steinberg::Vst;

class SingleComponentEffect : public ComponentStateEntry,
                              public vst::IAudioProcessor,
                              public vst::IProcessContextRequirements,
                              public ControllerStateEntry,
                              public vst::IEditController2,
                              public vst::IUnitInfo,
                              public vst::IConnectionPoint {
 public:
  SingleComponentEffect();
  virtual ~SingleComponentEffect();
  SingleComponentEffect(const SingleComponentEffect&) = delete;
  SingleComponentEffect& operator=(const SingleComponentEffect&) = delete;

  // FUnknown [any thread]
  sb::tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  sb::uint32 PLUGIN_API addRef() override;
  sb::uint32 PLUGIN_API release() override;

  // IPluginBase [UI thread]: a second initialize without terminate is refused.
  sb::tresult PLUGIN_API initialize(FUnknown* context) override;
  sb::tresult PLUGIN_API terminate() override;

  // IComponent [UI thread]
  sb::tresult PLUGIN_API getControllerClassId(TUID classId) override;
  sb::tresult PLUGIN_API setIoMode(vst::IoMode mode) override;
  sb::int32 PLUGIN_API getBusCount(vst::MediaType type, vst::BusDirection dir) override;
  sb::tresult PLUGIN_API getBusInfo(vst::MediaType type, vst::BusDirection dir, sb::int32 index,
                                    vst::BusInfo& bus) override;
  sb::tresult PLUGIN_API getRoutingInfo(vst::RoutingInfo& inInfo,
                                        vst::RoutingInfo& outInfo) override;
  sb::tresult PLUGIN_API activateBus(vst::MediaType type, vst::BusDirection dir, sb::int32 index,
                                     sb::TBool state) override;
  sb::tresult PLUGIN_API setActive(sb::TBool state) override;

  // IAudioProcessor [UI thread, process on the audio thread]
  sb::tresult PLUGIN_API setBusArrangements(vst::SpeakerArrangement* inputs, sb::int32 numIns,
                                            vst::SpeakerArrangement* outputs,
                                            sb::int32 numOuts) override;
  sb::tresult PLUGIN_API getBusArrangement(vst::BusDirection dir, sb::int32 index,
                                           vst::SpeakerArrangement& arr) override;
  sb::tresult PLUGIN_API canProcessSampleSize(sb::int32 symbolicSampleSize) override;
  sb::uint32 PLUGIN_API getLatencySamples() override;
  sb::tresult PLUGIN_API setupProcessing(vst::ProcessSetup& setup) override;
  sb::tresult PLUGIN_API setProcessing(sb::TBool state) override;
  sb::uint32 PLUGIN_API getTailSamples() override;

  // IProcessContextRequirements
  sb::uint32 PLUGIN_API getProcessContextRequirements() override;

  // IEditController [UI thread]
  sb::tresult PLUGIN_API setComponentState(sb::IBStream* state) override;
  sb::int32 PLUGIN_API getParameterCount() override;
  sb::tresult PLUGIN_API getParameterInfo(sb::int32 paramIndex, vst::ParameterInfo& info) override;
  sb::tresult PLUGIN_API getParamStringByValue(vst::ParamID id, vst::ParamValue valueNormalized,
                                               vst::String128 string) override;
  sb::tresult PLUGIN_API getParamValueByString(vst::ParamID id, sb::TChar* string,
                                               vst::ParamValue& valueNormalized) override;
  vst::ParamValue PLUGIN_API normalizedParamToPlain(vst::ParamID id,
                                                    vst::ParamValue valueNormalized) override;
  vst::ParamValue PLUGIN_API plainParamToNormalized(vst::ParamID id,
                                                    vst::ParamValue plainValue) override;
  vst::ParamValue PLUGIN_API getParamNormalized(vst::ParamID id) override;
  sb::tresult PLUGIN_API setParamNormalized(vst::ParamID id, vst::ParamValue value) override;
  sb::tresult PLUGIN_API setComponentHandler(vst::IComponentHandler* handler) override;
  sb::IPlugView* PLUGIN_API createView(sb::FIDString name) override;

  // IEditController2 [UI thread]
  sb::tresult PLUGIN_API setKnobMode(vst::KnobMode mode) override;
  sb::tresult PLUGIN_API openHelp(sb::TBool onlyCheck) override;
  sb::tresult PLUGIN_API openAboutBox(sb::TBool onlyCheck) override;
  static vst::KnobMode GetKnobMode();

  // IUnitInfo [UI thread]
  sb::int32 PLUGIN_API getUnitCount() override;
  sb::tresult PLUGIN_API getUnitInfo(sb::int32 unitIndex, vst::UnitInfo& info) override;
  sb::int32 PLUGIN_API getProgramListCount() override;
  sb::tresult PLUGIN_API getProgramListInfo(sb::int32 listIndex,
                                            vst::ProgramListInfo& info) override;
  sb::tresult PLUGIN_API getProgramName(vst::ProgramListID listId, sb::int32 programIndex,
                                        vst::String128 name) override;
  sb::tresult PLUGIN_API getProgramInfo(vst::ProgramListID listId, sb::int32 programIndex,
                                        const char* attributeId,
                                        vst::String128 attributeValue) override;
  sb::tresult PLUGIN_API hasProgramPitchNames(vst::ProgramListID listId,
                                              sb::int32 programIndex) override;
  sb::tresult PLUGIN_API getProgramPitchName(vst::ProgramListID listId, sb::int32 programIndex,
                                             sb::int16 midiPitch, vst::String128 name) override;
  vst::UnitID PLUGIN_API getSelectedUnit() override;
  sb::tresult PLUGIN_API selectUnit(vst::UnitID unitId) override;
  sb::tresult PLUGIN_API getUnitByBus(vst::MediaType type, vst::BusDirection dir,
                                      sb::int32 busIndex, sb::int32 channel,
                                      vst::UnitID& unitId) override;
  sb::tresult PLUGIN_API setUnitProgramData(sb::int32 listOrUnitId, sb::int32 programIndex,
                                            sb::IBStream* data) override;

  // IConnectionPoint [UI thread]
  sb::tresult PLUGIN_API connect(vst::IConnectionPoint* other) override;
  sb::tresult PLUGIN_API disconnect(vst::IConnectionPoint* other) override;
  sb::tresult PLUGIN_API notify(vst::IMessage* message) override;

  // Edit notifications to the host's component handler; kResultFalse without one. [UI thread]
  sb::tresult BeginEdit(vst::ParamID id);
  sb::tresult PerformEdit(vst::ParamID id, vst::ParamValue valueNormalized);
  sb::tresult EndEdit(vst::ParamID id);
  sb::tresult RestartComponent(sb::int32 flags);

  FUnknown* HostContext() const { return hostContext_.get(); }
  vst::IComponentHandler* ComponentHandler() const { return componentHandler_.get(); }

 protected:
  // The controller keeps no state of its own: every state call succeeds without effect.
  sb::tresult ReadControllerState(sb::IBStream* state) override;
  sb::tresult WriteControllerState(sb::IBStream* state) override;

  BusList& AudioInputs() { return audioInputs_; }
  BusList& AudioOutputs() { return audioOutputs_; }
  BusList& EventInputs() { return eventInputs_; }
  BusList& EventOutputs() { return eventOutputs_; }
  const BusList& AudioInputs() const { return audioInputs_; }
  const BusList& AudioOutputs() const { return audioOutputs_; }
  BusList* Buses(vst::MediaType type, vst::BusDirection dir);
  ParameterContainer& Parameters() { return parameters_; }
  const ParameterContainer& Parameters() const { return parameters_; }
  std::vector<Unit>& Units() { return units_; }
  const vst::ProcessSetup& Setup() const { return setup_; }
  void StoreSetup(const vst::ProcessSetup& setup) { setup_ = setup; }

 private:
  RefCount refs_;
  Ptr<FUnknown> hostContext_;
  Ptr<vst::IComponentHandler> componentHandler_;
  Ptr<vst::IConnectionPoint> peer_;
  BusList audioInputs_{vst::kAudio, vst::kInput};
  BusList audioOutputs_{vst::kAudio, vst::kOutput};
  BusList eventInputs_{vst::kEvent, vst::kInput};
  BusList eventOutputs_{vst::kEvent, vst::kOutput};
  ParameterContainer parameters_;
  std::vector<Unit> units_;
  vst::UnitID selectedUnit_ = vst::kRootUnitId;
  vst::ProcessSetup setup_{};
};

}  // namespace vst3kit
