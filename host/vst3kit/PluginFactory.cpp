#include "host/vst3kit/PluginFactory.h"

#include <cstring>
#include <string_view>

#include "host/vst3kit/Strings.h"

namespace vst3kit {

using namespace Steinberg;

namespace {

std::string_view FieldText(const char* field, size_t size) {
  return std::string_view(field, strnlen(field, size));
}

PClassInfoW WideInfo(const PClassInfo2& info) {
  PClassInfoW wide{};
  std::memcpy(wide.cid, info.cid, sizeof(TUID));
  wide.cardinality = info.cardinality;
  CopyToField(wide.category, FieldText(info.category, sizeof(info.category)));
  CopyToField(wide.name, FieldText(info.name, sizeof(info.name)));
  wide.classFlags = info.classFlags;
  CopyToField(wide.subCategories, FieldText(info.subCategories, sizeof(info.subCategories)));
  CopyToField(wide.vendor, FieldText(info.vendor, sizeof(info.vendor)));
  CopyToField(wide.version, FieldText(info.version, sizeof(info.version)));
  CopyToField(wide.sdkVersion, FieldText(info.sdkVersion, sizeof(info.sdkVersion)));
  return wide;
}

}  // namespace

PluginFactory::PluginFactory(const PFactoryInfo& info, DestroyedCallback onDestroyed)
    : info_(info), onDestroyed_(onDestroyed) {}

PluginFactory::~PluginFactory() {
  if (onDestroyed_) onDestroyed_(this);
}

void PluginFactory::AddClass(const PClassInfo2& info, CreateFunction create) {
  classes_.push_back({info, WideInfo(info), create});
}

const PluginFactory::Entry* PluginFactory::At(int32 index) const {
  return index >= 0 && static_cast<size_t>(index) < classes_.size() ? &classes_[static_cast<size_t>(index)] : nullptr;
}

tresult PLUGIN_API PluginFactory::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (AnswerQuery<FUnknown>(this, iid, obj) || AnswerQuery<IPluginFactory>(this, iid, obj) ||
      AnswerQuery<IPluginFactory2>(this, iid, obj) || AnswerQuery<IPluginFactory3>(this, iid, obj))
    return kResultOk;
  return kNoInterface;
}

uint32 PLUGIN_API PluginFactory::addRef() { return refs_.Add(); }

uint32 PLUGIN_API PluginFactory::release() {
  const uint32 left = refs_.Remove();
  if (left == 0) delete this;
  return left;
}

tresult PLUGIN_API PluginFactory::getFactoryInfo(PFactoryInfo* info) {
  if (!info) return kInvalidArgument;
  *info = info_;
  return kResultOk;
}

int32 PLUGIN_API PluginFactory::countClasses() { return static_cast<int32>(classes_.size()); }

tresult PLUGIN_API PluginFactory::getClassInfo(int32 index, PClassInfo* info) {
  const Entry* entry = At(index);
  if (!info || !entry) return kInvalidArgument;
  std::memcpy(info->cid, entry->info.cid, sizeof(TUID));
  info->cardinality = entry->info.cardinality;
  std::memcpy(info->category, entry->info.category, sizeof(info->category));
  std::memcpy(info->name, entry->info.name, sizeof(info->name));
  return kResultOk;
}

tresult PLUGIN_API PluginFactory::getClassInfo2(int32 index, PClassInfo2* info) {
  const Entry* entry = At(index);
  if (!info || !entry) return kInvalidArgument;
  *info = entry->info;
  return kResultOk;
}

tresult PLUGIN_API PluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  const Entry* entry = At(index);
  if (!info || !entry) return kInvalidArgument;
  *info = entry->wide;
  return kResultOk;
}

tresult PLUGIN_API PluginFactory::createInstance(FIDString cid, FIDString iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !iid) return kInvalidArgument;
  for (const Entry& entry : classes_) {
    if (std::memcmp(entry.info.cid, cid, sizeof(TUID)) != 0) continue;
    FUnknown* instance = entry.create ? entry.create(hostContext_.get()) : nullptr;
    if (!instance) return kOutOfMemory;
    const tresult result = instance->queryInterface(iid, obj);
    instance->release();  // the query holds the host's reference, if it succeeded
    if (result != kResultOk) *obj = nullptr;
    return result == kResultOk ? kResultOk : kNoInterface;
  }
  return kNoInterface;
}

tresult PLUGIN_API PluginFactory::setHostContext(FUnknown* context) {
  hostContext_ = Ptr<FUnknown>(context);
  return kResultOk;
}

}  // namespace vst3kit
