#include "app/render/PluginHost.h"

#include <dlfcn.h>
#include <sys/utsname.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>

#include "app/audio/AudioFile.h"
#include "app/audio/UserError.h"
#include "app/render/ByteStream.h"
#include "host/vst3/Vst3.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The host-side objects live as long as the PluginHost and are never deleted through release.
template <class Interface>
class HostSide : public Interface {
 public:
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = IidEqual(iid, FUnknown::iid) || IidEqual(iid, Interface::iid) ? this : nullptr;
    if (!*obj) return kNoInterface;
    addRef();
    return kResultOk;
  }
  uint32 PLUGIN_API addRef() override { return ++refs_; }
  uint32 PLUGIN_API release() override { return --refs_; }

 private:
  std::atomic<uint32> refs_{1};
};

class Application : public HostSide<IHostApplication> {
 public:
  tresult PLUGIN_API getName(String128 name) override {
    const char16_t text[] = u"zarn render";
    std::copy(std::begin(text), std::end(text), name);
    return kResultOk;
  }
  tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override {
    if (obj) *obj = nullptr;
    return kResultFalse;
  }
};

// One point per parameter, at the start of the block.
class Changes : public HostSide<IParameterChanges> {
 public:
  class Point : public HostSide<IParamValueQueue> {
   public:
    Point(ParamID id, ParamValue value) : id_(id), value_(value) {}
    ParamID PLUGIN_API getParameterId() override { return id_; }
    int32 PLUGIN_API getPointCount() override { return 1; }
    tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) override {
      if (index != 0) return kResultFalse;
      offset = 0;
      value = value_;
      return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32, ParamValue, int32&) override { return kResultFalse; }

   private:
    ParamID id_;
    ParamValue value_;
  };

  std::vector<std::unique_ptr<Point>> points;
  // One point per parameter: a later value replaces an earlier one.
  void Set(ParamID id, ParamValue value) {
    for (auto& point : points)
      if (point->getParameterId() == id) {
        point = std::make_unique<Point>(id, value);
        return;
      }
    points.push_back(std::make_unique<Point>(id, value));
  }
  int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(points.size()); }
  IParamValueQueue* PLUGIN_API getParameterData(int32 index) override {
    return index >= 0 && index < getParameterCount() ? points[static_cast<size_t>(index)].get()
                                                     : nullptr;
  }
  IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) override { return nullptr; }
};

template <class T>
T* QueryOrThrow(FUnknown* object, const char* what) {
  void* obj = nullptr;
  if (object->queryInterface(T::iid.data(), &obj) != kResultOk || !obj)
    throw UserError(std::string("the plug-in offers no ") + what);
  return static_cast<T*>(obj);
}

void Require(tresult result, const std::string& step) {
  if (result != kResultOk) throw UserError("the plug-in refused " + step);
}

std::string Architecture() {
  utsname name{};
  return uname(&name) == 0 ? name.machine : "x86_64";
}

}  // namespace

struct PluginHost::Loaded {
  void* library = nullptr;
  bool (*moduleExit)() = nullptr;
  IPluginFactory* factory = nullptr;
  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  IEditController* controller = nullptr;
  Application application;
  Changes changes;  // for the next block
  bool processing = false;
  int nChannels = 0;
  std::vector<std::vector<double>> inputs, outputs;
  std::vector<double*> inputPointers, outputPointers;
  std::vector<double> interleaved;

  ~Loaded() {
    if (processor && processing) processor->setProcessing(false);
    if (component && processing) component->setActive(false);
    if (component) component->terminate();
    if (controller) controller->release();
    if (processor) processor->release();
    if (component) component->release();
    if (factory) factory->release();
    if (moduleExit) moduleExit();
    if (library) dlclose(library);
  }
};

std::string PluginHost::ModuleFileOf(const std::string& bundlePath) {
  const std::filesystem::path bundle(bundlePath);
  if (!std::filesystem::is_directory(bundle)) return bundlePath;
  const std::string stem = bundle.filename().empty() ? bundle.parent_path().stem().string()
                                                     : bundle.stem().string();
  const std::filesystem::path root = bundle.filename().empty() ? bundle.parent_path() : bundle;
  return (root / "Contents" / (Architecture() + "-linux") / (stem + ".so")).string();
}

PluginHost::PluginHost(const std::string& bundlePath, double sampleRate, int nChannels,
                       int blockSize, const std::vector<ParamAssignment>& settings)
    : loaded_(std::make_unique<Loaded>()) {
  Loaded& m = *loaded_;
  const std::string file = ModuleFileOf(bundlePath);
  m.library = dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!m.library) throw UserError("cannot load plug-in " + bundlePath + ": " + dlerror());
  const auto entry = reinterpret_cast<bool (*)(void*)>(dlsym(m.library, "ModuleEntry"));
  m.moduleExit = reinterpret_cast<bool (*)()>(dlsym(m.library, "ModuleExit"));
  const auto getFactory = reinterpret_cast<GetFactoryProc>(dlsym(m.library, "GetPluginFactory"));
  if (!entry || !m.moduleExit || !getFactory)
    throw UserError(file + " is not a VST3 module");
  if (!entry(m.library)) {
    m.moduleExit = nullptr;
    throw UserError("the module " + file + " did not start");
  }

  m.factory = getFactory();
  if (!m.factory) throw UserError("the module " + file + " has no factory");
  PClassInfo info{};
  int32 index = 0;
  for (; index < m.factory->countClasses(); ++index)
    if (m.factory->getClassInfo(index, &info) == kResultOk &&
        std::strncmp(info.category, kVstAudioEffectClass, sizeof(info.category)) == 0)
      break;
  if (index == m.factory->countClasses()) throw UserError(file + " holds no audio effect");
  void* obj = nullptr;
  Require(m.factory->createInstance(info.cid, IComponent::iid.data(), &obj), "to create it");
  m.component = static_cast<IComponent*>(obj);
  m.processor = QueryOrThrow<IAudioProcessor>(m.component, "audio processor");
  m.controller = QueryOrThrow<IEditController>(m.component, "edit controller");
  Require(m.component->initialize(&m.application), "to initialise");

  if (nChannels < 1 || nChannels > 2)
    throw UserError("the plug-in takes mono or stereo, not " + std::to_string(nChannels) +
                       " channels");
  SpeakerArrangement arrangement = nChannels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
  Require(m.processor->setBusArrangements(&arrangement, 1, &arrangement, 1),
          std::to_string(nChannels) + "-channel buses");

  // The settings as the state of a project: plain 64-bit values by parameter index.
  ByteStream state;
  Require(m.component->getState(&state), "to give its state");
  for (const ParamAssignment& s : settings) {
    const size_t at = static_cast<size_t>(s.paramIdx) * 8;
    if (at + 8 <= state.bytes.size()) std::memcpy(state.bytes.data() + at, &s.plainValue, 8);
  }
  state.pos = 0;
  Require(m.component->setState(&state), "the settings");
  state.pos = 0;
  Require(m.controller->setComponentState(&state), "the settings");

  // What the restore did not keep goes in as changes with the first block.
  ByteStream restored;
  m.component->getState(&restored);
  for (const ParamAssignment& s : settings) {
    const auto id = static_cast<ParamID>(s.paramIdx);
    const ParamValue wanted = m.controller->plainParamToNormalized(id, s.plainValue);
    double kept = 0.0;
    std::memcpy(&kept, restored.bytes.data() + static_cast<size_t>(s.paramIdx) * 8, 8);
    if (m.controller->plainParamToNormalized(id, kept) != wanted) {
      m.changes.Set(id, wanted);
      m.controller->setParamNormalized(id, wanted);
    }
  }

  ProcessSetup setup{kOffline, kSample64, blockSize, sampleRate};
  Require(m.processor->setupProcessing(setup),
          "a sample rate of " + std::to_string(static_cast<int>(sampleRate)) + " Hz");
  Require(m.component->setActive(true), "to start");
  m.processor->setProcessing(true);
  m.processing = true;

  m.nChannels = nChannels;
  m.inputs.assign(static_cast<size_t>(nChannels), std::vector<double>(static_cast<size_t>(blockSize)));
  m.outputs = m.inputs;
  for (int c = 0; c < nChannels; ++c) {
    m.inputPointers.push_back(m.inputs[static_cast<size_t>(c)].data());
    m.outputPointers.push_back(m.outputs[static_cast<size_t>(c)].data());
  }
  m.interleaved.resize(static_cast<size_t>(nChannels) * static_cast<size_t>(blockSize));
}

PluginHost::~PluginHost() = default;

int PluginHost::Latency() const {
  return static_cast<int>(loaded_->processor->getLatencySamples());
}

const double* PluginHost::Process(const double* interleaved, int frames) {
  Loaded& m = *loaded_;
  Deinterleave(interleaved, m.nChannels, frames, m.inputPointers.data());
  Process(m.inputPointers.data(), m.outputPointers.data(), frames);
  Interleave(m.outputPointers.data(), m.nChannels, frames, m.interleaved.data());
  return m.interleaved.data();
}

void PluginHost::Process(const double* const* inputs, double* const* outputs, int frames) {
  Loaded& m = *loaded_;
  AudioBusBuffers in{}, out{};
  in.numChannels = out.numChannels = m.nChannels;
  // The structure has no const; a processor is not to write into its inputs.
  in.channelBuffers64 = const_cast<double**>(inputs);
  out.channelBuffers64 = const_cast<double**>(outputs);
  ProcessData data{};
  data.processMode = kOffline;
  data.symbolicSampleSize = kSample64;
  data.numSamples = frames;
  data.numInputs = data.numOutputs = 1;
  data.inputs = &in;
  data.outputs = &out;
  data.inputParameterChanges = m.changes.points.empty() ? nullptr : &m.changes;
  m.processor->process(data);
  m.changes.points.clear();
}

void PluginHost::ChangeParam(int paramIdx, double plainValue) {
  Loaded& m = *loaded_;
  const auto id = static_cast<ParamID>(paramIdx);
  m.changes.Set(id, m.controller->plainParamToNormalized(id, plainValue));
}
