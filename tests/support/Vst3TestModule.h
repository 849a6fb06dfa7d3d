#pragma once

// The built module (ZARN.so, or the Windows DLL), loaded as a VST3 host loads it, and instances
// of its class created through the factory. Uses only our VST3 declarations.

#include <string>
#include <utility>
#include <vector>

#include "host/vst3/Vst3.h"
#include "support/Vst3HostObjects.h"

namespace testhost {

// Holds one reference to an interface of the plug-in.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }
  void reset() {
    if (p_) p_->release();
    p_ = nullptr;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

template <class T>
Ref<T> Query(FUnknown* unknown) {
  void* obj = nullptr;
  if (!unknown || unknown->queryInterface(T::iid.data(), &obj) != kResultOk) return Ref<T>();
  return Ref<T>(static_cast<T*>(obj));
}

// The entry is ModuleEntry on Linux and InitDll on Windows; the exit ModuleExit or ExitDll.
struct ModuleExports {
  void* handle = nullptr;
  bool (*entry)(void*) = nullptr;
  bool (*initDll)() = nullptr;
  bool (*exit)() = nullptr;
  IPluginFactory*(PLUGIN_API* getFactory)() = nullptr;

  bool Enter() const { return entry ? entry(handle) : initDll && initDll(); }
};

// Loaded and entered once for the whole test process; never unloaded (objects may outlive a
// test). Fails the calling test when the module cannot be loaded.
const ModuleExports& Module();
// The module the build made, or the copy the environment variable ZARN_TEST_MODULE names.
const char* ModulePath();
Ref<IPluginFactory> Factory();
std::string ClassIdBytes();  // the 16 bytes of the factory's only class

// One instance of the class, created through the factory as its IComponent.
class Instance {
 public:
  Instance();
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  tresult Initialize(const std::u16string& hostName = u"ZARN test host");
  tresult Setup(double rate, int32 maxBlock, int32 sampleSize = kSample64,
                int32 mode = kRealtime);
  tresult Arrange(int inputChannels, int outputChannels);

  // Processes one block of separate channels; null changes send none.
  template <typename Sample>
  tresult Process(std::vector<Sample*> inputs, std::vector<Sample*> outputs, int32 frames,
                  IParameterChanges* changes = nullptr);
  // One stereo block of 64-bit audio in place of the given buffers' contents.
  tresult ProcessStereo(std::vector<double>& left, std::vector<double>& right,
                        std::vector<double>& outLeft, std::vector<double>& outRight,
                        IParameterChanges* changes = nullptr);

  std::vector<uint8_t> GetState();
  tresult SetState(std::vector<uint8_t> bytes);

  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  IEditController* controller = nullptr;
  HostApplication* application = nullptr;

 private:
  bool initialized_ = false;
};

// A 64-bit stereo plain value of parameter `index` from a state.
double StateValue(const std::vector<uint8_t>& state, int index);
void SetStateValue(std::vector<uint8_t>& state, int index, double value);

}  // namespace testhost
