#pragma once

// Plug-in base and plug-in factory: what a module exports and how a host reads its classes.

#include <cstddef>

#include "host/vst3/FUnknown.h"

namespace Steinberg {

class IPluginBase : public FUnknown {
 public:
  virtual tresult PLUGIN_API initialize(FUnknown* context) = 0;
  virtual tresult PLUGIN_API terminate() = 0;
  static constexpr Iid iid = MakeIid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
};

#include "host/vst3/AlignPush.h"

struct PFactoryInfo {
  enum FactoryFlags : int32 {
    kNoFlags = 0,
    kClassesDiscardable = 1 << 0,
    kLicenseCheck = 1 << 1,
    kComponentNonDiscardable = 1 << 3,
    kUnicode = 1 << 4,
  };
  static constexpr int32 kNameSize = 64;
  static constexpr int32 kURLSize = 256;
  static constexpr int32 kEmailSize = 128;

  char8 vendor[kNameSize];
  char8 url[kURLSize];
  char8 email[kEmailSize];
  int32 flags;
};
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(offsetof(PFactoryInfo, flags) == 448);

struct PClassInfo {
  static constexpr int32 kManyInstances = 0x7FFFFFFF;
  static constexpr int32 kCategorySize = 32;
  static constexpr int32 kNameSize = 64;

  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char8 name[kNameSize];
};
static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52);

struct PClassInfo2 {
  static constexpr int32 kCategorySize = 32;
  static constexpr int32 kNameSize = 64;
  static constexpr int32 kSubCategoriesSize = 128;
  static constexpr int32 kVendorSize = 64;
  static constexpr int32 kVersionSize = 64;

  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char8 name[kNameSize];
  uint32 classFlags;
  char8 subCategories[kSubCategoriesSize];
  char8 vendor[kVendorSize];
  char8 version[kVersionSize];
  char8 sdkVersion[kVersionSize];
};
static_assert(sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfo2, classFlags) == 116 &&
              offsetof(PClassInfo2, subCategories) == 120 && offsetof(PClassInfo2, vendor) == 248 &&
              offsetof(PClassInfo2, version) == 312 && offsetof(PClassInfo2, sdkVersion) == 376);

struct PClassInfoW {
  static constexpr int32 kCategorySize = 32;
  static constexpr int32 kNameSize = 64;
  static constexpr int32 kSubCategoriesSize = 128;
  static constexpr int32 kVendorSize = 64;
  static constexpr int32 kVersionSize = 64;

  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char16 name[kNameSize];
  uint32 classFlags;
  char8 subCategories[kSubCategoriesSize];
  char16 vendor[kVendorSize];
  char16 version[kVersionSize];
  char16 sdkVersion[kVersionSize];
};
static_assert(sizeof(PClassInfoW) == 696);
static_assert(offsetof(PClassInfoW, name) == 52 && offsetof(PClassInfoW, classFlags) == 180 &&
              offsetof(PClassInfoW, subCategories) == 184 &&
              offsetof(PClassInfoW, vendor) == 312 && offsetof(PClassInfoW, version) == 440 &&
              offsetof(PClassInfoW, sdkVersion) == 568);

#include "host/vst3/AlignPop.h"

class IPluginFactory : public FUnknown {
 public:
  virtual tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 PLUGIN_API countClasses() = 0;
  virtual tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) = 0;
  virtual tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) = 0;
  static constexpr Iid iid = MakeIid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
};

class IPluginFactory2 : public IPluginFactory {
 public:
  virtual tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) = 0;
  static constexpr Iid iid = MakeIid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
};

class IPluginFactory3 : public IPluginFactory2 {
 public:
  virtual tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
  virtual tresult PLUGIN_API setHostContext(FUnknown* context) = 0;
  static constexpr Iid iid = MakeIid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
};

// Exported by every module: `IPluginFactory* PLUGIN_API GetPluginFactory()`.
using GetFactoryProc = IPluginFactory*(PLUGIN_API*)();

}  // namespace Steinberg
