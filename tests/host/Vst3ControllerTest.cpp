// The edit controller as a host sees it through the built module: exported parameters, value
// texts both ways, MIDI mapping, units, channel context and the editor view's sizes.
#ifdef ZARN_VST3_MODULE

#include <cmath>
#include <cstdlib>
#include <limits>

#include <gtest/gtest.h>

#include "support/Vst3TestModule.h"

namespace {

using namespace testhost;

constexpr ParamID kHostBypass = 65536;

struct Controller : Instance {
  Controller() { EXPECT_EQ(Initialize(), kResultOk); }
  ParameterInfo Info(int32 index) {
    ParameterInfo info{};
    EXPECT_EQ(controller->getParameterInfo(index, info), kResultOk) << index;
    return info;
  }
  std::string Text(ParamID id, double normalized) {
    String128 text{};
    EXPECT_EQ(controller->getParamStringByValue(id, normalized, text), kResultOk);
    return Narrow(text);
  }
  double Value(ParamID id, const std::string& text) {
    std::u16string wide = Widen(text);
    double normalized = -1.0;
    EXPECT_EQ(controller->getParamValueByString(id, wide.data(), normalized), kResultOk) << text;
    return normalized;
  }
};

TEST(Vst3Controller, ExportsTheHostBypassFirstThenEveryParameter) {
  Controller plugin;
  ASSERT_EQ(plugin.controller->getParameterCount(), 28);

  const ParameterInfo bypass = plugin.Info(0);
  EXPECT_EQ(bypass.id, kHostBypass);
  EXPECT_EQ(Narrow(bypass.title), "Bypass");
  EXPECT_EQ(Narrow(bypass.units), "");
  EXPECT_EQ(bypass.flags, 0x10009);  // automatable, list, bypass
  EXPECT_EQ(bypass.stepCount, 1);
  EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
  EXPECT_EQ(bypass.unitId, kRootUnitId);

  const ParameterInfo loudClip = plugin.Info(20);
  EXPECT_EQ(loudClip.id, 19u);
  EXPECT_EQ(Narrow(loudClip.title), "Loud Clip");
  EXPECT_EQ(loudClip.stepCount, 2);
  EXPECT_EQ(loudClip.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
  EXPECT_EQ(Narrow(loudClip.units), "");  // its value shows as a text
  EXPECT_EQ(Narrow(loudClip.shortTitle), "");

  const ParameterInfo release = plugin.Info(5);
  EXPECT_EQ(release.id, 4u);
  EXPECT_EQ(Narrow(release.units), "ms");
  EXPECT_EQ(release.stepCount, 0);
  EXPECT_DOUBLE_EQ(release.defaultNormalizedValue, 20.0 / 970.0);

  EXPECT_EQ(plugin.Info(1 + 9).stepCount, 3);    // Codec Mode
  EXPECT_EQ(plugin.Info(1 + 18).stepCount, 10);  // Character
  EXPECT_EQ(plugin.Info(1 + 22).stepCount, 5);   // Platform
  EXPECT_EQ(plugin.Info(1 + 5).flags, ParameterInfo::kCanAutomate);  // Bypass: a bool, no list
  EXPECT_EQ(plugin.Info(1 + 6).flags, 0);                            // Level Match: no automation
  EXPECT_EQ(plugin.Info(1 + 10).defaultNormalizedValue, 1.0);        // Linked starts on

  ParameterInfo none{};
  for (int32 index : {-1, 28, 1000})
    EXPECT_NE(plugin.controller->getParameterInfo(index, none), kResultOk) << index;
}

TEST(Vst3Controller, ValueTextsBothWays) {
  Controller plugin;
  EXPECT_EQ(plugin.Text(4, 20.0 / 970.0), "50");   // Release, whole milliseconds
  EXPECT_EQ(plugin.Text(0, 0.5), "3.0");           // Drive L, one decimal
  EXPECT_EQ(plugin.Text(16, 0.0), "0.00");         // Zoom, two decimals
  EXPECT_EQ(plugin.Text(19, 0.0), "Soft");
  EXPECT_EQ(plugin.Text(19, 0.5), "Cubic");
  EXPECT_EQ(plugin.Text(19, 1.0), "Hard");
  EXPECT_EQ(plugin.Text(15, 1.0), "Warm");
  EXPECT_EQ(plugin.Text(kHostBypass, 0.0), "off");
  EXPECT_EQ(plugin.Text(kHostBypass, 1.0), "on");
  EXPECT_EQ(plugin.Text(4, 7.0), "1000");           // beyond 1 is the end of the range

  EXPECT_DOUBLE_EQ(plugin.Value(4, "200"), 170.0 / 970.0);
  EXPECT_EQ(plugin.Value(4, "7.5"), 0.0);           // below the range: its minimum
  EXPECT_EQ(plugin.Value(19, "Hard"), 1.0);
  EXPECT_EQ(plugin.Value(19, "nonsense"), 0.0);
  EXPECT_EQ(plugin.Value(kHostBypass, "on"), 1.0);

  String128 text{};
  std::u16string typed = u"on";
  double normalized = 0.0;
  EXPECT_NE(plugin.controller->getParamStringByValue(12345, 0.5, text), kResultOk);
  EXPECT_NE(plugin.controller->getParamValueByString(12345, typed.data(), normalized), kResultOk);
  EXPECT_NE(plugin.controller->getParamValueByString(4, nullptr, normalized), kResultOk);
  typed = u"maybe";
  EXPECT_NE(plugin.controller->getParamValueByString(kHostBypass, typed.data(), normalized), kResultOk);
  EXPECT_NE(plugin.controller->getParamStringByValue(4, std::nan(""), text), kResultOk);
}

TEST(Vst3Controller, NormalisedValuesAndPlainValues) {
  Controller plugin;
  EXPECT_EQ(plugin.controller->normalizedParamToPlain(4, 1.0), 1000.0);
  EXPECT_EQ(plugin.controller->normalizedParamToPlain(9, 0.6), 2.0);  // Codec Mode: 1.8 rounds
  EXPECT_DOUBLE_EQ(plugin.controller->plainParamToNormalized(4, 515.0), 0.5);
  EXPECT_EQ(plugin.controller->plainParamToNormalized(4, 5000.0), 1.0);
  EXPECT_EQ(plugin.controller->normalizedParamToPlain(kHostBypass, 0.7), 1.0);

  EXPECT_EQ(plugin.controller->getParamNormalized(12345), 0.0);
  EXPECT_EQ(plugin.controller->setParamNormalized(12345, 0.5), kResultFalse);
  EXPECT_EQ(plugin.controller->setParamNormalized(4, 0.5), kResultOk);
  EXPECT_EQ(plugin.controller->getParamNormalized(4), 0.5);
  EXPECT_EQ(plugin.controller->setParamNormalized(4, 3.0), kResultOk);
  EXPECT_EQ(plugin.controller->getParamNormalized(4), 1.0);  // limited to 0..1
  EXPECT_EQ(StateValue(plugin.GetState(), 4), 1000.0);        // the parameter follows

  // The host bypass: only the controller's copy; the processor bypasses when process says so.
  EXPECT_EQ(plugin.controller->setParamNormalized(kHostBypass, 1.0), kResultOk);
  EXPECT_EQ(plugin.controller->getParamNormalized(kHostBypass), 1.0);
  const std::vector<uint8_t> state = plugin.GetState();
  EXPECT_EQ(state[216], 0);
}

TEST(Vst3Controller, MidiControllersMapToProxyIdsOnBusAndChannelZeroOnly) {
  Controller plugin;
  const auto mapping = Query<IMidiMapping>(plugin.controller);
  ASSERT_TRUE(mapping);
  ParamID id = 0;
  ASSERT_EQ(mapping->getMidiControllerAssignment(0, 0, 7, id), kResultOk);
  EXPECT_EQ(id, 65545u);
  ASSERT_EQ(mapping->getMidiControllerAssignment(0, 0, kPitchBend, id), kResultOk);
  EXPECT_EQ(id, 65538u + 129u);
  EXPECT_EQ(mapping->getMidiControllerAssignment(1, 0, 7, id), kResultFalse);
  EXPECT_EQ(mapping->getMidiControllerAssignment(0, 1, 7, id), kResultFalse);
  EXPECT_EQ(mapping->getMidiControllerAssignment(0, 0, 130, id), kResultFalse);
  EXPECT_EQ(mapping->getMidiControllerAssignment(0, 0, -1, id), kResultFalse);
}

TEST(Vst3Controller, OneRootUnitAndNoProgramLists) {
  Controller plugin;
  const auto units = Query<IUnitInfo>(plugin.controller);
  ASSERT_TRUE(units);
  ASSERT_EQ(units->getUnitCount(), 1);
  UnitInfo root{};
  ASSERT_EQ(units->getUnitInfo(0, root), kResultOk);
  EXPECT_EQ(root.id, 0);
  EXPECT_EQ(root.parentUnitId, -1);
  EXPECT_EQ(root.programListId, -1);
  EXPECT_EQ(Narrow(root.name), "Root");
  EXPECT_NE(units->getUnitInfo(1, root), kResultOk);
  EXPECT_NE(units->getUnitInfo(-1, root), kResultOk);
  EXPECT_EQ(units->getProgramListCount(), 0);
  ProgramListInfo list{};
  EXPECT_EQ(units->getProgramListInfo(0, list), kResultFalse);
  String128 name{};
  ASSERT_EQ(units->getProgramName(0x10001, 0, name), kResultOk);
  EXPECT_EQ(Narrow(name), "Default");
  EXPECT_EQ(units->getProgramName(0x10001, 1, name), kResultFalse);
  EXPECT_EQ(units->getProgramName(0, 0, name), kResultFalse);
  EXPECT_EQ(units->selectUnit(0), kResultOk);
  EXPECT_EQ(units->getSelectedUnit(), 0);
  UnitID unit = 0;
  EXPECT_EQ(units->getUnitByBus(kAudio, kInput, 0, 0, unit), kResultFalse);

  const auto controller2 = Query<IEditController2>(plugin.controller);
  ASSERT_TRUE(controller2);
  EXPECT_EQ(controller2->setKnobMode(kLinearMode), kResultOk);
  EXPECT_EQ(controller2->openHelp(true), kResultFalse);
  EXPECT_EQ(controller2->openAboutBox(false), kResultFalse);
}

TEST(Vst3Controller, ChannelContextAndConnectionPointTakeAndGiveBackReferences) {
  Controller plugin;
  const auto listener = Query<ChannelContext::IInfoListener>(plugin.controller);
  ASSERT_TRUE(listener);
  EXPECT_EQ(listener->setChannelContextInfos(nullptr), kResultFalse);
  AttributeList list;
  list.setInt(ChannelContext::kChannelNameLengthKey, 9);
  list.setString(ChannelContext::kChannelNameKey, u"Mastering");
  list.setInt(ChannelContext::kChannelIndexKey, 3);
  EXPECT_EQ(listener->setChannelContextInfos(&list), kResultOk);
  list.setInt(ChannelContext::kChannelNameLengthKey, 1 << 30);  // a lying length is cut
  EXPECT_EQ(listener->setChannelContextInfos(&list), kResultOk);
  EXPECT_EQ(list.RefCount(), 1u);

  const auto point = Query<IConnectionPoint>(plugin.controller);
  ASSERT_TRUE(point);
  struct Peer : HostObject<IConnectionPoint> {
    tresult PLUGIN_API connect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API disconnect(IConnectionPoint*) override { return kResultOk; }
    tresult PLUGIN_API notify(IMessage*) override { return kResultOk; }
  } other;
  EXPECT_EQ(point->connect(&other), kResultOk);
  EXPECT_EQ(other.RefCount(), 2u);
  EXPECT_EQ(point->connect(&other), kResultFalse);
  EXPECT_EQ(point->disconnect(&other), kResultOk);
  EXPECT_EQ(other.RefCount(), 1u);
  EXPECT_NE(point->disconnect(&other), kResultOk);
  EXPECT_NE(point->connect(nullptr), kResultOk);
  EXPECT_NE(point->notify(nullptr), kResultOk);
}

TEST(Vst3Controller, ViewNegotiatesSizeAndScaleWithTheFrame) {
  Controller plugin;
  EXPECT_EQ(plugin.controller->createView("other"), nullptr);
  EXPECT_EQ(plugin.controller->createView(nullptr), nullptr);
  IPlugView* view = plugin.controller->createView("editor");
  ASSERT_NE(view, nullptr);

  // The module offers X11 embedding only where an X server answers (none without DISPLAY);
  // attaching with no window opens nothing but succeeds.
  if (!std::getenv("DISPLAY")) {
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  }
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultOk);

  ViewRect size{};
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.right, 1440);
  EXPECT_EQ(size.bottom, 604);
  EXPECT_EQ(view->canResize(), kResultTrue);

  PlugFrame frame;
  ASSERT_EQ(view->setFrame(&frame), kResultOk);
  EXPECT_EQ(frame.RefCount(), 2u);
  auto scale = Query<IPlugViewContentScaleSupport>(view);
  ASSERT_TRUE(scale);
  ASSERT_EQ(scale->setContentScaleFactor(1.5f), kResultOk);
  ASSERT_EQ(frame.resizes.size(), 1u);
  EXPECT_EQ(frame.resizes[0].right, 2160);
  EXPECT_EQ(frame.resizes[0].bottom, 906);
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.right, 2160);
  EXPECT_EQ(size.bottom, 906);
  EXPECT_EQ(scale->setContentScaleFactor(0.0f), kResultFalse);
  EXPECT_EQ(scale->setContentScaleFactor(std::numeric_limits<float>::quiet_NaN()), kResultFalse);

  ViewRect small{10, 10, 310, 110};
  ASSERT_EQ(view->checkSizeConstraint(&small), kResultOk);
  EXPECT_EQ(small.left, 10);
  EXPECT_EQ(small.top, 10);
  EXPECT_EQ(small.right, 490);
  EXPECT_EQ(small.bottom, 211);
  ViewRect huge{0, 0, 9000, 9000};
  view->checkSizeConstraint(&huge);
  EXPECT_EQ(huge.right, 4320);
  EXPECT_EQ(huge.bottom, 1812);
  ViewRect fits{5, 5, 805, 405};
  view->checkSizeConstraint(&fits);
  EXPECT_EQ(fits.right, 805);
  EXPECT_NE(view->checkSizeConstraint(nullptr), kResultOk);

  // The host's resize does not change the size the editor asks for.
  ViewRect hostSize{0, 0, 1000, 500};
  EXPECT_EQ(view->onSize(&hostSize), kResultOk);
  EXPECT_EQ(view->onSize(nullptr), kResultFalse);
  view->getSize(&size);
  EXPECT_EQ(size.right, 2160);
  EXPECT_NE(view->getSize(nullptr), kResultOk);

  EXPECT_EQ(view->onWheel(1.0f), kResultFalse);
  EXPECT_EQ(view->onFocus(true), kResultFalse);
  EXPECT_EQ(view->onKeyDown(u'a', 0, 0), kResultFalse);  // the editor takes no keys yet
  EXPECT_EQ(view->removed(), kResultOk);

  scale.reset();
  ASSERT_EQ(view->setFrame(nullptr), kResultOk);
  EXPECT_EQ(frame.RefCount(), 1u);
  // The view holds the plug-in while it lives, and lets go when released.
  EXPECT_EQ(plugin.component->addRef(), 5u);
  plugin.component->release();
  EXPECT_EQ(view->release(), 0u);
  EXPECT_EQ(plugin.component->addRef(), 4u);
  plugin.component->release();
}

TEST(Vst3Controller, ControllerStateCallsAreHarmless) {
  Controller plugin;
  MemoryStream stream({1, 2, 3});
  EXPECT_EQ(plugin.controller->setComponentState(&stream), kResultOk);
  EXPECT_EQ(plugin.controller->setState(&stream), kResultOk);
  MemoryStream out;
  EXPECT_EQ(plugin.controller->getState(&out), kResultOk);
  EXPECT_TRUE(out.Bytes().empty());  // the component's state alone carries everything
  EXPECT_EQ(StateValue(plugin.GetState(), 4), 50.0);
}

}  // namespace

#endif  // ZARN_VST3_MODULE
