#pragma once

// Host-side objects a VST3 host hands to a plug-in, written against our interface declarations
// only: application, streams, parameter changes, component handler, plug frame, attribute list
// and run loop. Each counts its references, so a test can check that the plug-in gave back every
// reference it took (a stack object starts and must end at 1).

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/vst3/Vst3.h"

namespace testhost {

using namespace Steinberg;
using namespace Steinberg::Vst;

// FUnknown for an object offering the listed interfaces.
template <class... Interfaces>
class HostObject : public Interfaces... {
 public:
  virtual ~HostObject() = default;
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (IidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<FUnknown*>(static_cast<First*>(this));
    } else {
      ((IidEqual(iid, Interfaces::iid) && !*obj ? (*obj = static_cast<Interfaces*>(this), 0) : 0),
       ...);
    }
    if (!*obj) return kNoInterface;
    addRef();
    return kResultOk;
  }
  uint32 PLUGIN_API addRef() override { return ++refs_; }
  uint32 PLUGIN_API release() override { return --refs_; }  // stack or test-owned: never deletes
  uint32 RefCount() const { return refs_.load(); }

 private:
  template <class T, class...>
  struct FirstOf {
    using Type = T;
  };
  using First = typename FirstOf<Interfaces...>::Type;
  std::atomic<uint32> refs_{1};
};

class HostApplication : public HostObject<IHostApplication> {
 public:
  explicit HostApplication(std::u16string name) : name_(std::move(name)) {}
  tresult PLUGIN_API getName(String128 name) override;
  tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override;

 private:
  std::u16string name_;
};

// A byte stream in memory. Options imitate awkward hosts.
class MemoryStream : public HostObject<IBStream> {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override;
  tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override;
  tresult PLUGIN_API seek(int64 pos, int32 mode, int64* result) override;
  tresult PLUGIN_API tell(int64* pos) override;

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  void Rewind() { pos_ = 0; }

  int32 readPiece = 1 << 30;      // largest number of bytes one read delivers
  bool readsReportError = false;  // every read that delivers bytes still answers kResultFalse
  bool seekFails = false;
  int reads = 0;

 private:
  std::vector<uint8_t> bytes_;
  int64 pos_ = 0;
};

class ParamValueQueue : public HostObject<IParamValueQueue> {
 public:
  explicit ParamValueQueue(ParamID id) : id_(id) {}
  ParamID PLUGIN_API getParameterId() override { return id_; }
  int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points_.size()); }
  tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset, ParamValue& value) override;
  tresult PLUGIN_API addPoint(int32 sampleOffset, ParamValue value, int32& index) override;

 private:
  ParamID id_;
  std::vector<std::pair<int32, ParamValue>> points_;
};

class ParameterChanges : public HostObject<IParameterChanges> {
 public:
  ~ParameterChanges() override;
  int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(queues_.size()); }
  IParamValueQueue* PLUGIN_API getParameterData(int32 index) override;
  IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override;
  // Appends a point to the queue of this ID (made on first use).
  void Add(ParamID id, ParamValue value, int32 offset = 0);

 private:
  std::vector<ParamValueQueue*> queues_;
};

class ComponentHandler : public HostObject<IComponentHandler> {
 public:
  struct Edit {
    char kind;  // 'b'egin, 'p'erform, 'e'nd
    ParamID id;
    ParamValue value;
  };
  tresult PLUGIN_API beginEdit(ParamID id) override;
  tresult PLUGIN_API performEdit(ParamID id, ParamValue valueNormalized) override;
  tresult PLUGIN_API endEdit(ParamID id) override;
  tresult PLUGIN_API restartComponent(int32 flags) override;

  std::vector<Edit> edits;
  std::vector<int32> restarts;
};

// A host that also offers group edits; each bracket is recorded among the edits as 'g' / 'f'.
class GroupingComponentHandler : public HostObject<IComponentHandler, IComponentHandler2> {
 public:
  tresult PLUGIN_API beginEdit(ParamID id) override { return Record('b', id, 0.0); }
  tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override { return Record('p', id, value); }
  tresult PLUGIN_API endEdit(ParamID id) override { return Record('e', id, 0.0); }
  tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
  tresult PLUGIN_API setDirty(TBool) override { return kResultOk; }
  tresult PLUGIN_API requestOpenEditor(FIDString) override { return kResultOk; }
  tresult PLUGIN_API startGroupEdit() override { return Record('g', 0, 0.0); }
  tresult PLUGIN_API finishGroupEdit() override { return Record('f', 0, 0.0); }

  std::vector<ComponentHandler::Edit> edits;

 private:
  tresult Record(char kind, ParamID id, ParamValue value) {
    edits.push_back({kind, id, value});
    return kResultOk;
  }
};

class PlugFrame : public HostObject<IPlugFrame> {
 public:
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override;
  std::vector<ViewRect> resizes;
};

class AttributeList : public HostObject<IAttributeList> {
 public:
  tresult PLUGIN_API setInt(AttrID id, int64 value) override;
  tresult PLUGIN_API getInt(AttrID id, int64& value) override;
  tresult PLUGIN_API setFloat(AttrID id, double value) override;
  tresult PLUGIN_API getFloat(AttrID id, double& value) override;
  tresult PLUGIN_API setString(AttrID id, const TChar* string) override;
  tresult PLUGIN_API getString(AttrID id, TChar* string, uint32 sizeInBytes) override;
  tresult PLUGIN_API setBinary(AttrID id, const void* data, uint32 sizeInBytes) override;
  tresult PLUGIN_API getBinary(AttrID id, const void*& data, uint32& sizeInBytes) override;

 private:
  std::map<std::string, int64> ints_;
  std::map<std::string, double> floats_;
  std::map<std::string, std::u16string> strings_;
};

class RunLoop : public HostObject<Linux::IRunLoop> {
 public:
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
    return kResultOk;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kResultOk; }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler*, Linux::TimerInterval) override {
    return kResultOk;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler*) override { return kResultOk; }
};

// UTF-16 field contents as UTF-8 (ASCII texts only).
std::string Narrow(const char16_t* text, size_t maxUnits = 128);
std::u16string Widen(const std::string& text);

}  // namespace testhost
