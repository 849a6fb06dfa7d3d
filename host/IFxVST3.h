#pragma once

#include <memory>

#include "host/EditorTimer.h"
#include "host/IFxAPIBase.h"
#include "host/IFxVST3ControllerBase.h"
#include "host/IFxVST3ProcessorBase.h"
#include "host/vst3/ChannelContext.h"
#include "host/vst3/EditController.h"
#include "host/vst3kit/SingleComponentEffect.h"

// The framework's VST3 plug-in: one object that is the component, the audio processor and the
// edit controller. A plug-in derives from it, hands its configuration to the constructor and
// overrides the hooks of IFxAPIBase and IFxProcessor.
//
// Host calls and their threads:
//   initialize, terminate, setBusArrangements, setupProcessing, setActive, get/setState and
//   every controller call                                      [UI thread, processing stopped]
//   process, and setProcessing (some hosts)                    [audio thread]
//   setParamNormalized may overlap process: the two share only atomic parameter values.
// No exception leaves a host call.
class IFxVST3 : public IFxAPIBase,
                public IFxVST3ProcessorBase,
                public IFxVST3ControllerBase,
                public vst3kit::SingleComponentEffect,
                public Steinberg::Vst::IMidiMapping,
                public Steinberg::Vst::ChannelContext::IInfoListener {
 public:
  static constexpr Steinberg::Vst::ParamID kBypassParamId = 0x10000;
  static constexpr Steinberg::Vst::ProgramListID kPresetListId = 0x10001;
  static constexpr Steinberg::int32 kBypassWordBytes = 4;

  explicit IFxVST3(const PluginConfig& config);
  ~IFxVST3() override;

  // FUnknown [any thread]
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  // IPluginBase [UI thread]: buses, exported parameters, host identification, all parameters
  // applied once.
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;

  // IComponent [UI thread]
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;

  // IAudioProcessor
  Steinberg::tresult PLUGIN_API setBusArrangements(
      Steinberg::Vst::SpeakerArrangement* inputs, Steinberg::int32 numIns,
      Steinberg::Vst::SpeakerArrangement* outputs, Steinberg::int32 numOuts) override;  // [UI]
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 size) override;   // [any]
  Steinberg::uint32 PLUGIN_API getLatencySamples() override;                            // [any]
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
  Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;  // [UI or audio]
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;  // [audio]
  Steinberg::uint32 PLUGIN_API getTailSamples() override;

  // IEditController [UI thread]
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                   Steinberg::Vst::ParamValue value) override;
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

  // IUnitInfo [UI thread]: the preset names under kPresetListId.
  Steinberg::tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId,
                                               Steinberg::int32 programIndex,
                                               Steinberg::Vst::String128 name) override;

  // IMidiMapping [UI thread]: bus 0, channel 0 maps controller c to a proxy parameter ID.
  Steinberg::tresult PLUGIN_API getMidiControllerAssignment(
      Steinberg::int32 busIndex, Steinberg::int16 channel,
      Steinberg::Vst::CtrlNumber midiControllerNumber, Steinberg::Vst::ParamID& id) override;

  // ChannelContext::IInfoListener [UI thread]
  Steinberg::tresult PLUGIN_API setChannelContextInfos(
      Steinberg::Vst::IAttributeList* list) override;

  // Framework operations for the plug-in and its editor.
  // Stores the latency, resets the bypass delay and asks the host to restart. [UI thread]
  void SetLatency(int samples) override;
  // A value from the editor page: controller copy, parameter, host, engine. [UI thread]
  void SetParamValueFromEditor(int paramIdx, double normalized) override;
  // Edit gestures from the editor page, as beginEdit/endEdit to the host. [UI thread]
  void BeginInformHostOfParamChange(int paramIdx) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  // Edits from the page that belong together, as the host's group edit where it offers one.
  void BeginHostGroupEdit() override;
  void EndHostGroupEdit() override;
  // A resize the page asks for: the host frame is asked to follow. [UI thread]
  bool ResizeEditorFromPage(int width, int height) override;
  // The editor's 20 ms timer: on Windows a thread timer, on Linux the run loop a host offers
  // (through the factory's host context or the view's frame); without one nothing ticks and the
  // meter snapshot waits.
  void StartEditorTimer(Steinberg::FUnknown* context);
  void StopEditorTimer() { editorTimer_->Stop(); }

 protected:
  Steinberg::tresult ReadComponentState(Steinberg::IBStream* state) override;
  Steinberg::tresult WriteComponentState(Steinberg::IBStream* state) override;

 private:
  void CreateBuses(const ChannelIOConfig& inputSide, const ChannelIOConfig& outputSide);
  void CreateBusesOfLargestConfigs();
  bool AcceptArrangements(const Steinberg::Vst::SpeakerArrangement* inputs, Steinberg::int32 numIns,
                          const Steinberg::Vst::SpeakerArrangement* outputs, Steinberg::int32 numOuts);
  void ExportParameters();
  void IdentifyHost(Steinberg::FUnknown* context);
  void ApplyParameterChanges(Steinberg::Vst::IParameterChanges* changes);  // [audio thread]
  int BusChannels(const vst3kit::BusList& buses) const;
  void SyncControllerValues(Steinberg::uint32 bypassWord);
  void SyncControllerParams();
  void ShowPartlyRestoredValues();

  bool processingSetUp_ = false;
  std::unique_ptr<EditorTimer> editorTimer_ = MakeEditorTimer();
};
