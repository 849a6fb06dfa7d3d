#include "support/Vst3HostObjects.h"

#include <algorithm>

namespace testhost {

tresult PLUGIN_API HostApplication::getName(String128 name) {
  const size_t n = std::min<size_t>(name_.size(), 127);
  std::copy(name_.begin(), name_.begin() + static_cast<std::ptrdiff_t>(n), name);
  name[n] = 0;
  return kResultOk;
}

tresult PLUGIN_API HostApplication::createInstance(TUID, TUID, void** obj) {
  if (obj) *obj = nullptr;
  return kResultFalse;
}

tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  ++reads;
  const int64 left = static_cast<int64>(bytes_.size()) - pos_;
  const int32 n = static_cast<int32>(std::max<int64>(0, std::min<int64>({left, numBytes, readPiece})));
  if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  if (numBytesRead) *numBytesRead = n;
  return readsReportError && n > 0 ? kResultFalse : kResultOk;
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytes < 0 || (!buffer && numBytes > 0)) return kInvalidArgument;
  if (static_cast<size_t>(pos_) + static_cast<size_t>(numBytes) > bytes_.size())
    bytes_.resize(static_cast<size_t>(pos_) + static_cast<size_t>(numBytes));
  std::memcpy(bytes_.data() + pos_, buffer, static_cast<size_t>(numBytes));
  pos_ += numBytes;
  if (numBytesWritten) *numBytesWritten = numBytes;
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result) {
  if (seekFails) return kResultFalse;
  const int64 base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? pos_ : static_cast<int64>(bytes_.size());
  if (base + pos < 0) return kInvalidArgument;
  pos_ = base + pos;
  if (result) *result = pos_;
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos) {
  if (!pos) return kInvalidArgument;
  *pos = pos_;
  return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= getPointCount()) return kResultFalse;
  sampleOffset = points_[static_cast<size_t>(index)].first;
  value = points_[static_cast<size_t>(index)].second;
  return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
  points_.emplace_back(sampleOffset, value);
  index = getPointCount() - 1;
  return kResultOk;
}

ParameterChanges::~ParameterChanges() {
  for (ParamValueQueue* queue : queues_) delete queue;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
  return index >= 0 && index < getParameterCount() ? queues_[static_cast<size_t>(index)] : nullptr;
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
  for (size_t i = 0; i < queues_.size(); ++i) {
    if (queues_[i]->getParameterId() == id) {
      index = static_cast<int32>(i);
      return queues_[i];
    }
  }
  queues_.push_back(new ParamValueQueue(id));
  index = getParameterCount() - 1;
  return queues_.back();
}

void ParameterChanges::Add(ParamID id, ParamValue value, int32 offset) {
  int32 index = 0, point = 0;
  addParameterData(id, index)->addPoint(offset, value, point);
}

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID id) {
  edits.push_back({'b', id, 0.0});
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized) {
  edits.push_back({'p', id, valueNormalized});
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID id) {
  edits.push_back({'e', id, 0.0});
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags) {
  restarts.push_back(flags);
  return kResultOk;
}

tresult PLUGIN_API PlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  if (!view || !newSize) return kInvalidArgument;
  resizes.push_back(*newSize);
  return kResultOk;
}

tresult PLUGIN_API AttributeList::setInt(AttrID id, int64 value) {
  ints_[id] = value;
  return kResultOk;
}

tresult PLUGIN_API AttributeList::getInt(AttrID id, int64& value) {
  const auto found = ints_.find(id);
  if (found == ints_.end()) return kResultFalse;
  value = found->second;
  return kResultOk;
}

tresult PLUGIN_API AttributeList::setFloat(AttrID id, double value) {
  floats_[id] = value;
  return kResultOk;
}

tresult PLUGIN_API AttributeList::getFloat(AttrID id, double& value) {
  const auto found = floats_.find(id);
  if (found == floats_.end()) return kResultFalse;
  value = found->second;
  return kResultOk;
}

tresult PLUGIN_API AttributeList::setString(AttrID id, const TChar* string) {
  strings_[id] = string;
  return kResultOk;
}

tresult PLUGIN_API AttributeList::getString(AttrID id, TChar* string, uint32 sizeInBytes) {
  const auto found = strings_.find(id);
  if (found == strings_.end() || !string || sizeInBytes < sizeof(TChar)) return kResultFalse;
  const size_t units = sizeInBytes / sizeof(TChar);
  const size_t n = std::min(found->second.size(), units - 1);
  std::copy(found->second.begin(), found->second.begin() + static_cast<std::ptrdiff_t>(n), string);
  string[n] = 0;
  return kResultOk;
}

tresult PLUGIN_API AttributeList::setBinary(AttrID, const void*, uint32) { return kResultFalse; }
tresult PLUGIN_API AttributeList::getBinary(AttrID, const void*&, uint32&) { return kResultFalse; }

std::string Narrow(const char16_t* text, size_t maxUnits) {
  std::string out;
  for (size_t i = 0; i < maxUnits && text[i]; ++i) out += static_cast<char>(text[i]);
  return out;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace testhost
