#include "support/Vst3TestModule.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "support/ModuleLibrary.h"

namespace testhost {

const char* ModulePath() {
  if (const char* chosen = std::getenv("ZARN_TEST_MODULE"); chosen && *chosen) return chosen;
#ifdef ZARN_VST3_MODULE
  return ZARN_VST3_MODULE;
#else
  return "";
#endif
}

const ModuleExports& Module() {
  static std::string error;
  static const ModuleExports exports = [] {
    ModuleExports e;
    e.handle = OpenLibrary(ModulePath());
    if (!e.handle) {
      error = LibraryError();
      return e;
    }
#if defined(_WIN32)
    e.initDll = reinterpret_cast<bool (*)()>(FindSymbol(e.handle, "InitDll"));
    e.exit = reinterpret_cast<bool (*)()>(FindSymbol(e.handle, "ExitDll"));
#else
    e.entry = reinterpret_cast<bool (*)(void*)>(FindSymbol(e.handle, "ModuleEntry"));
    e.exit = reinterpret_cast<bool (*)()>(FindSymbol(e.handle, "ModuleExit"));
#endif
    e.getFactory = reinterpret_cast<IPluginFactory*(PLUGIN_API*)()>(
        FindSymbol(e.handle, "GetPluginFactory"));
    e.Enter();
    return e;
  }();
  EXPECT_NE(exports.handle, nullptr) << "cannot load " << ModulePath() << ": " << error;
  return exports;
}

Ref<IPluginFactory> Factory() {
  const ModuleExports& module = Module();
  return Ref<IPluginFactory>(module.getFactory ? module.getFactory() : nullptr);
}

std::string ClassIdBytes() {
  PClassInfo info{};
  const Ref<IPluginFactory> factory = Factory();
  if (!factory || factory->getClassInfo(0, &info) != kResultOk) return std::string();
  return std::string(info.cid, sizeof(info.cid));
}

Instance::Instance() {
  const Ref<IPluginFactory> factory = Factory();
  const std::string cid = ClassIdBytes();
  void* obj = nullptr;
  if (!factory || cid.size() != 16 ||
      factory->createInstance(cid.data(), IComponent::iid.data(), &obj) != kResultOk) {
    ADD_FAILURE() << "cannot create the plug-in";
    std::abort();  // every later step would dereference null
  }
  component = static_cast<IComponent*>(obj);
  void* p = nullptr;
  component->queryInterface(IAudioProcessor::iid.data(), &p);
  processor = static_cast<IAudioProcessor*>(p);
  component->queryInterface(IEditController::iid.data(), &p);
  controller = static_cast<IEditController*>(p);
  if (!processor || !controller) std::abort();
}

Instance::~Instance() {
  if (initialized_) component->terminate();
  controller->release();
  processor->release();
  component->release();
  delete application;
}

tresult Instance::Initialize(const std::u16string& hostName) {
  delete application;
  application = new HostApplication(hostName);
  const tresult result = component->initialize(application);
  initialized_ = result == kResultOk;
  return result;
}

tresult Instance::Setup(double rate, int32 maxBlock, int32 sampleSize, int32 mode) {
  ProcessSetup setup{mode, sampleSize, maxBlock, rate};
  return processor->setupProcessing(setup);
}

tresult Instance::Arrange(int inputChannels, int outputChannels) {
  const auto arrangement = [](int n) {
    return n == 1 ? SpeakerArr::kMono : n == 2 ? SpeakerArr::kStereo : SpeakerArrangement(0);
  };
  SpeakerArrangement in = arrangement(inputChannels), out = arrangement(outputChannels);
  return processor->setBusArrangements(&in, 1, &out, 1);
}

template <typename Sample>
tresult Instance::Process(std::vector<Sample*> inputs, std::vector<Sample*> outputs,
                          int32 frames, IParameterChanges* changes) {
  AudioBusBuffers in{}, out{};
  in.numChannels = static_cast<int32>(inputs.size());
  out.numChannels = static_cast<int32>(outputs.size());
  if constexpr (std::is_same_v<Sample, float>) {
    in.channelBuffers32 = inputs.data();
    out.channelBuffers32 = outputs.data();
  } else {
    in.channelBuffers64 = inputs.data();
    out.channelBuffers64 = outputs.data();
  }
  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = std::is_same_v<Sample, float> ? kSample32 : kSample64;
  data.numSamples = frames;
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &in;
  data.outputs = &out;
  data.inputParameterChanges = changes;
  return processor->process(data);
}

template tresult Instance::Process<float>(std::vector<float*>, std::vector<float*>, int32,
                                          IParameterChanges*);
template tresult Instance::Process<double>(std::vector<double*>, std::vector<double*>, int32,
                                           IParameterChanges*);

tresult Instance::ProcessStereo(std::vector<double>& left, std::vector<double>& right,
                                std::vector<double>& outLeft, std::vector<double>& outRight,
                                IParameterChanges* changes) {
  return Process<double>({left.data(), right.data()}, {outLeft.data(), outRight.data()},
                         static_cast<int32>(left.size()), changes);
}

std::vector<uint8_t> Instance::GetState() {
  MemoryStream stream;
  EXPECT_EQ(component->getState(&stream), kResultOk);
  EXPECT_EQ(stream.RefCount(), 1u);
  return stream.Bytes();
}

tresult Instance::SetState(std::vector<uint8_t> bytes) {
  MemoryStream stream(std::move(bytes));
  const tresult result = component->setState(&stream);
  EXPECT_EQ(stream.RefCount(), 1u);
  return result;
}

double StateValue(const std::vector<uint8_t>& state, int index) {
  double value = 0.0;
  std::memcpy(&value, state.data() + index * 8, 8);  // the test machine is little-endian
  return value;
}

void SetStateValue(std::vector<uint8_t>& state, int index, double value) {
  std::memcpy(state.data() + index * 8, &value, 8);
}

}  // namespace testhost
