#include "host/IFxVST3.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "host/HostIdentity.h"
#include "host/vst3/HostApplication.h"
#include "host/vst3kit/Strings.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

IFxVST3::IFxVST3(const PluginConfig& config)
    : IFxAPIBase(config), IFxVST3ProcessorBase(config) {}

IFxVST3::~IFxVST3() = default;

tresult PLUGIN_API IFxVST3::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!iid) return kInvalidArgument;
  if (vst3kit::AnswerQuery<IMidiMapping>(this, iid, obj) ||
      vst3kit::AnswerQuery<ChannelContext::IInfoListener>(this, iid, obj))
    return kResultOk;
  return SingleComponentEffect::queryInterface(iid, obj);
}

uint32 PLUGIN_API IFxVST3::addRef() { return SingleComponentEffect::addRef(); }
uint32 PLUGIN_API IFxVST3::release() { return SingleComponentEffect::release(); }

tresult PLUGIN_API IFxVST3::initialize(FUnknown* context) {
  if (SingleComponentEffect::initialize(context) != kResultOk) return kResultFalse;
  try {
    CreateBusesOfLargestConfigs();
    ExportParameters();
    IdentifyHost(context);
    OnAllParamsChanged();
    return kResultOk;
  } catch (...) {
    SingleComponentEffect::terminate();
    return kOutOfMemory;
  }
}

tresult PLUGIN_API IFxVST3::setActive(TBool state) {
  OnActivate(state != 0);
  return kResultOk;
}

void IFxVST3::CreateBuses(const ChannelIOConfig& inputSide, const ChannelIOConfig& outputSide) {
  AudioInputs().Clear();
  AudioOutputs().Clear();
  const int nIn = static_cast<int>(inputSide.inputs.size());
  for (int b = 0; b < nIn; ++b)
    AudioInputs().Add({InputBusName(b, nIn), b == 0 ? kMain : kAux,
                       b == 0 ? BusInfo::kDefaultActive : 0u,
                       ArrangementForChannels(inputSide.inputs[static_cast<size_t>(b)]), b == 0});
  const int nOut = static_cast<int>(outputSide.outputs.size());
  for (int b = 0; b < nOut; ++b)
    AudioOutputs().Add({OutputBusName(b, nOut), b == 0 ? kMain : kAux,
                        b == 0 ? BusInfo::kDefaultActive : 0u,
                        ArrangementForChannels(outputSide.outputs[static_cast<size_t>(b)]), b == 0});
}

void IFxVST3::CreateBusesOfLargestConfigs() {
  const auto& configs = ChannelIOConfigs();
  if (configs.empty()) return;
  const auto mostIn = std::max_element(configs.begin(), configs.end(), [](auto& a, auto& b) {
    return a.TotalInputs() < b.TotalInputs();
  });
  const auto mostOut = std::max_element(configs.begin(), configs.end(), [](auto& a, auto& b) {
    return a.TotalOutputs() < b.TotalOutputs();
  });
  CreateBuses(*mostIn, *mostOut);
}

void IFxVST3::IdentifyHost(FUnknown* context) {
  if (GetHostId() != kHostNotIdentified) return;
  const auto application = vst3kit::QueryInterface<IHostApplication>(context);
  if (!application) return;
  String128 name{};
  if (application->getName(name) != kResultOk) name[0] = 0;
  name[127] = 0;
  SetHost(vst3kit::Utf16ToUtf8(name, 128), 0);
}

tresult PLUGIN_API IFxVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                               SpeakerArrangement* outputs, int32 numOuts) {
  if (GetHostId() == kHostArdour || GetHostId() == kHostMixbus) return kResultOk;
  if (numIns < 0 || numOuts < 0 || (numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
    return kInvalidArgument;
  if (numIns > MaxInputBuses() || numOuts > MaxOutputBuses()) return kResultFalse;
  try {
    return AcceptArrangements(inputs, numIns, outputs, numOuts) ? kResultOk : kResultFalse;
  } catch (...) {
    return kOutOfMemory;
  }
}

// Takes the first configuration whose buses match the proposal channel for channel and builds
// the buses from it, keeping the host's arrangements.
bool IFxVST3::AcceptArrangements(const SpeakerArrangement* inputs, int32 numIns,
                                 const SpeakerArrangement* outputs, int32 numOuts) {
  const auto matches = [](const std::vector<int>& buses, const SpeakerArrangement* proposed,
                          int32 count) {
    if (static_cast<int32>(buses.size()) != count) return false;
    for (int32 b = 0; b < count; ++b)
      if (buses[static_cast<size_t>(b)] != vst3kit::ChannelCountOf(proposed[b])) return false;
    return true;
  };
  for (const ChannelIOConfig& config : ChannelIOConfigs()) {
    if (!matches(config.inputs, inputs, numIns) || !matches(config.outputs, outputs, numOuts))
      continue;
    CreateBuses(config, config);
    for (int32 b = 0; b < numIns; ++b) AudioInputs().At(b)->arrangement = inputs[b];
    for (int32 b = 0; b < numOuts; ++b) AudioOutputs().At(b)->arrangement = outputs[b];
    return true;
  }
  return false;
}

tresult PLUGIN_API IFxVST3::canProcessSampleSize(int32 size) {
  return size == kSample32 || size == kSample64 ? kResultOk : kResultFalse;
}

uint32 PLUGIN_API IFxVST3::getLatencySamples() {
  return static_cast<uint32>(std::max(GetLatency(), 0));
}

uint32 PLUGIN_API IFxVST3::getTailSamples() {
  return GetTailSize() == INT32_MAX ? kInfiniteTail : static_cast<uint32>(std::max(GetTailSize(), 0));
}

int IFxVST3::BusChannels(const vst3kit::BusList& buses) const {
  const vst3kit::Bus* bus = buses.At(0);
  return bus ? bus->ChannelCount() : 0;
}

tresult PLUGIN_API IFxVST3::setupProcessing(ProcessSetup& setup) {
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultOk) return kResultFalse;
  if (!IsValidSetup(setup.sampleRate, setup.maxSamplesPerBlock)) return kResultFalse;
  try {
    if (setup.maxSamplesPerBlock != ConversionCapacity())
      ResizeConversionBuffers(setup.maxSamplesPerBlock);
    StoreSetup(setup);
    const int nIn = std::clamp(BusChannels(AudioInputs()), 1, 2);
    const int nOut = std::clamp(BusChannels(AudioOutputs()), 1, 2);
    if (!SetupProcessing(setup.sampleRate, setup.maxSamplesPerBlock, nIn, nOut)) return kResultFalse;
    ResetBypassPath();
    processingSetUp_ = true;
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}

// Stopping resets the plug-in and the bypass delay with it, so neither path replays audio from
// before the stop; at unchanged sizes the reset allocates nothing, since some hosts stop on the
// audio thread.
tresult PLUGIN_API IFxVST3::setProcessing(TBool state) {
  if (!state && processingSetUp_) {
    OnProcessingReset();
    ResetBypassPath();
  }
  return kResultOk;
}

tresult PLUGIN_API IFxVST3::process(ProcessData& data) {
  if (data.processContext) UpdateTransport(*data.processContext, data.processMode);
  ApplyParameterChanges(data.inputParameterChanges);
  if (data.symbolicSampleSize != kSample32 && data.symbolicSampleSize != kSample64)
    return kResultOk;
  if (data.numSamples <= 0) return kResultOk;
  if (!processingSetUp_) {
    ZeroOutputs(data);
    return kResultOk;
  }
  const vst3kit::Bus* output = AudioOutputs().At(0);
  const int outputChannels = output && output->active ? output->ChannelCount() : 0;
  ProcessHostAudio(data, BusChannels(AudioInputs()), outputChannels);
  return kResultOk;
}

void IFxVST3::ApplyParameterChanges(IParameterChanges* changes) {
  if (!changes) return;
  const int32 count = changes->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    IParamValueQueue* queue = changes->getParameterData(i);
    if (!queue) continue;
    const int32 points = queue->getPointCount();
    int32 offset = 0;
    ParamValue value = 0.0;
    if (points <= 0 || queue->getPoint(points - 1, offset, value) != kResultOk) continue;
    if (!std::isfinite(value)) continue;
    const ParamID id = queue->getParameterId();
    if (id == kBypassParamId) {
      SetBypassed(value > 0.5);
    } else if (id < static_cast<ParamID>(NParams())) {
      GetParam(static_cast<int>(id))->SetNormalized(value);
      OnParamChange(static_cast<int>(id));
    } else if (id >= kMidiProxyFirstId) {
      MidiMessage message;
      if (MidiMessageFromProxy(id, value, offset, message)) ProcessMidiMsg(message);
    }
  }
}

void IFxVST3::SetLatency(int samples) {
  IFxVST3ProcessorBase::SetLatency(samples);
  RestartComponent(kLatencyChanged);
}
