// The built bundle as a host finds it: layout, exports, module entry counting, the factory and
// its class, and instance creation through every interface. Loaded with dlopen.
#ifdef ZARN_VST3_MODULE

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/Vst3TestModule.h"

namespace {

using namespace testhost;
namespace fs = std::filesystem;

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

TEST(Vst3Module, BundleHasTheLayoutHostsExpect) {
  const fs::path bundle = ZARN_VST3_BUNDLE;
  EXPECT_EQ(bundle.filename(), "ZARN.vst3");
  EXPECT_EQ(fs::path(ModulePath()), bundle / "Contents" / "x86_64-linux" / "ZARN.so");
  EXPECT_TRUE(fs::is_regular_file(bundle / "Contents" / "Resources" / "web" / "index.html"));

  std::ifstream file(bundle / "Contents" / "Resources" / "moduleinfo.json");
  std::stringstream json;
  json << file.rdbuf();
  EXPECT_NE(json.str().find("\"CID\": \"F2AEE70D00DE4F4E4D4C45515A41524E\""), std::string::npos);
  EXPECT_NE(json.str().find("\"Category\": \"Audio Module Class\""), std::string::npos);
  EXPECT_NE(json.str().find("\"Sub Categories\": [\"Fx\", \"Dynamics\", \"Limiter\"]"),
            std::string::npos);
}

TEST(Vst3Module, ExportsOnlyTheEntryPoints) {
  const ModuleExports& module = Module();
  ASSERT_NE(module.handle, nullptr);
  EXPECT_NE(module.entry, nullptr);
  EXPECT_NE(module.exit, nullptr);
  EXPECT_NE(module.getFactory, nullptr);
  EXPECT_EQ(dlsym(module.handle, "InitDll"), nullptr);
  EXPECT_EQ(dlsym(module.handle, "_ZN4ZARNC1Ev"), nullptr);  // ZARN::ZARN() stays inside
}

// The newest glibc symbol version the module asks for decides which systems' hosts can load it at
// all: building here already asks for 2.34 (RHEL 9 and its kin have that), and nothing may ask for
// more (the vector maths functions glibc added in 2.35, for one).
TEST(Vst3Module, AsksForNoGlibcNewerThanTwoPointThirtyFour) {
  std::ifstream file(ModulePath(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 0u);
  const std::string prefix = "GLIBC_2.";
  int newest = 0;
  for (size_t at = bytes.find(prefix); at != std::string::npos; at = bytes.find(prefix, at + 1)) {
    size_t end = at + prefix.size();
    int minor = 0;
    while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end])))
      minor = 10 * minor + (bytes[end++] - '0');
    if (end < bytes.size() && bytes[end] == '\0') newest = std::max(newest, minor);
  }
  EXPECT_GE(newest, 2);  // the versions were found at all
  EXPECT_LE(newest, 34) << "the module asks for GLIBC_2." << newest;
}

TEST(Vst3Module, EntryAndExitCountAndAnUnmatchedExitIsRefused) {
  const ModuleExports& module = Module();  // entered once already
  ASSERT_NE(module.entry, nullptr);
  EXPECT_TRUE(module.entry(module.handle));
  EXPECT_TRUE(module.exit());
  EXPECT_TRUE(module.exit());    // back to 0
  EXPECT_FALSE(module.exit());   // unmatched: refused, the count stays at 0
  EXPECT_FALSE(module.exit());
  EXPECT_TRUE(module.entry(module.handle));  // initialises again and restores the test's entry
  const Ref<IPluginFactory> factory = Factory();
  EXPECT_TRUE(factory);
}

TEST(Vst3Module, FactoryIsSharedAndCounted) {
  IPluginFactory* first = Module().getFactory();
  IPluginFactory* second = Module().getFactory();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->addRef(), 3u);
  EXPECT_EQ(first->release(), 2u);
  second->release();
  EXPECT_EQ(first->release(), 0u);  // gone: the next call makes a new one
  const Ref<IPluginFactory> again = Factory();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->addRef(), 2u);
  again->release();
}

TEST(Vst3Module, FactoryAnswersItsInterfacesAndTakesTheHostContext) {
  const Ref<IPluginFactory> factory = Factory();
  ASSERT_TRUE(factory);
  const auto f2 = Query<IPluginFactory2>(factory.get());
  const auto f3 = Query<IPluginFactory3>(factory.get());
  const auto unknown = Query<FUnknown>(factory.get());
  ASSERT_TRUE(f2 && f3 && unknown);
  EXPECT_EQ(static_cast<FUnknown*>(f3.get()), unknown.get());
  EXPECT_FALSE(Query<IComponent>(factory.get()));

  RunLoop runLoop;
  EXPECT_EQ(f3->setHostContext(&runLoop), kResultOk);
  EXPECT_EQ(runLoop.RefCount(), 2u);  // kept
  EXPECT_EQ(f3->setHostContext(nullptr), kResultOk);
  EXPECT_EQ(runLoop.RefCount(), 1u);  // and given back
}

TEST(Vst3Module, FactoryAndClassInformationIn8BitAndUtf16) {
  const Ref<IPluginFactory> factory = Factory();
  ASSERT_TRUE(factory);
  PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_EQ(FieldText(info.vendor, sizeof(info.vendor)), "Tessary");
  EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
  EXPECT_NE(FieldText(info.url, sizeof(info.url)), "");
  EXPECT_NE(FieldText(info.email, sizeof(info.email)), "");
  EXPECT_EQ(factory->countClasses(), 1);

  PClassInfo c1{};
  ASSERT_EQ(factory->getClassInfo(0, &c1), kResultOk);
  const unsigned char expectedId[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                                        0x4D, 0x4C, 0x45, 0x51, 0x5A, 0x41, 0x52, 0x4E};
  EXPECT_EQ(std::memcmp(c1.cid, expectedId, 16), 0);
  EXPECT_EQ(c1.cardinality, PClassInfo::kManyInstances);
  EXPECT_EQ(FieldText(c1.category, sizeof(c1.category)), "Audio Module Class");
  EXPECT_EQ(FieldText(c1.name, sizeof(c1.name)), "ZARN");

  PClassInfo2 c2{};
  ASSERT_EQ(Query<IPluginFactory2>(factory.get())->getClassInfo2(0, &c2), kResultOk);
  PClassInfoW cw{};
  ASSERT_EQ(Query<IPluginFactory3>(factory.get())->getClassInfoUnicode(0, &cw), kResultOk);
  EXPECT_EQ(std::memcmp(c2.cid, expectedId, 16), 0);
  EXPECT_EQ(std::memcmp(cw.cid, expectedId, 16), 0);
  EXPECT_EQ(c2.classFlags, 2u);
  EXPECT_EQ(cw.classFlags, 2u);
  EXPECT_EQ(FieldText(c2.subCategories, sizeof(c2.subCategories)), "Fx|Dynamics|Limiter");
  EXPECT_EQ(FieldText(cw.subCategories, sizeof(cw.subCategories)), "Fx|Dynamics|Limiter");
  EXPECT_EQ(FieldText(c2.name, sizeof(c2.name)), Narrow(cw.name, 64));
  EXPECT_EQ(FieldText(c2.vendor, sizeof(c2.vendor)), "");
  EXPECT_EQ(Narrow(cw.vendor, 64), "");
  EXPECT_EQ(FieldText(c2.version, sizeof(c2.version)), "3.0.0");
  EXPECT_EQ(Narrow(cw.version, 64), "3.0.0");
  EXPECT_EQ(FieldText(c2.sdkVersion, sizeof(c2.sdkVersion)), "VST 3.8.0");
  EXPECT_EQ(Narrow(cw.sdkVersion, 64), "VST 3.8.0");
  // Every byte after a text's terminator is zero.
  for (size_t i = 4; i < sizeof(c2.name); ++i) EXPECT_EQ(c2.name[i], 0) << i;
  for (size_t i = 4; i < 64; ++i) EXPECT_EQ(cw.name[i], 0) << i;
}

TEST(Vst3Module, OutOfRangeClassIndicesAndNullArgumentsAreRefused) {
  const Ref<IPluginFactory> factory = Factory();
  ASSERT_TRUE(factory);
  PClassInfo c1{};
  PClassInfo2 c2{};
  PClassInfoW cw{};
  for (int32 index : {-1, 1, 1000}) {
    EXPECT_NE(factory->getClassInfo(index, &c1), kResultOk) << index;
    EXPECT_NE(Query<IPluginFactory2>(factory.get())->getClassInfo2(index, &c2), kResultOk);
    EXPECT_NE(Query<IPluginFactory3>(factory.get())->getClassInfoUnicode(index, &cw), kResultOk);
  }
  EXPECT_NE(factory->getFactoryInfo(nullptr), kResultOk);
  EXPECT_NE(factory->getClassInfo(0, nullptr), kResultOk);
}

TEST(Vst3Module, InstancesComeThroughEveryInterfaceTheClassHas) {
  const Ref<IPluginFactory> factory = Factory();
  const std::string cid = ClassIdBytes();
  ASSERT_EQ(cid.size(), 16u);
  const Iid* offered[] = {&FUnknown::iid,         &IPluginBase::iid,     &IComponent::iid,
                          &IAudioProcessor::iid,  &IEditController::iid, &IEditController2::iid,
                          &IUnitInfo::iid,        &IMidiMapping::iid,    &IConnectionPoint::iid,
                          &IProcessContextRequirements::iid, &ChannelContext::IInfoListener::iid};
  for (const Iid* iid : offered) {
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(cid.data(), iid->data(), &obj), kResultOk);
    ASSERT_NE(obj, nullptr);
    auto* unknown = static_cast<FUnknown*>(obj);
    EXPECT_EQ(unknown->addRef(), 2u);  // the host's is the only other reference
    EXPECT_EQ(unknown->release(), 1u);
    EXPECT_EQ(unknown->release(), 0u);
  }

  void* obj = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->createInstance(cid.data(), IPlugView::iid.data(), &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  std::string otherClass = cid;
  otherClass[15] ^= 1;
  EXPECT_NE(factory->createInstance(otherClass.data(), IComponent::iid.data(), &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  EXPECT_NE(factory->createInstance(cid.data(), IComponent::iid.data(), nullptr), kResultOk);
}

// The identity rules a validator checks: every interface leads to every other, FUnknown is the
// same pointer from all of them, an unknown ID gives kNoInterface and a null result, and each
// answer holds exactly one reference.
TEST(Vst3Module, InterfaceQueriesAnswerConsistently) {
  Instance plugin;
  const Iid* all[] = {&IComponent::iid,       &IAudioProcessor::iid, &IEditController::iid,
                      &IEditController2::iid, &IUnitInfo::iid,       &IMidiMapping::iid,
                      &IConnectionPoint::iid, &IProcessContextRequirements::iid,
                      &ChannelContext::IInfoListener::iid, &IPluginBase::iid};
  const auto identity = Query<FUnknown>(plugin.component);
  ASSERT_TRUE(identity);
  for (const Iid* from : all) {
    void* obj = nullptr;
    ASSERT_EQ(plugin.component->queryInterface(from->data(), &obj), kResultOk);
    auto* start = static_cast<FUnknown*>(obj);
    EXPECT_EQ(Query<FUnknown>(start).get(), identity.get());
    for (const Iid* to : all) {
      void* other = nullptr;
      EXPECT_EQ(start->queryInterface(to->data(), &other), kResultOk);
      static_cast<FUnknown*>(other)->release();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(start->queryInterface(IPlugView::iid.data(), &none), kNoInterface);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(start->queryInterface(nullptr, &none), kInvalidArgument);
    EXPECT_NE(start->queryInterface(IComponent::iid.data(), nullptr), kResultOk);
    start->release();
  }
  // The instance holds three references (component, processor, controller), the Ref one more.
  EXPECT_EQ(plugin.component->addRef(), 5u);
  EXPECT_EQ(plugin.component->release(), 4u);
}

}  // namespace

#endif  // ZARN_VST3_MODULE
