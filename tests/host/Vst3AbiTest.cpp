// Our declarations of the VST3 binary interface against the published facts: interface IDs
// (the four words, laid out big-endian on Linux and as COM GUIDs on Windows), result codes and
// the class ID of the module.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "core/ZarnClass.h"
#include "host/vst3/Vst3.h"
#include "host/vst3kit/Fuid.h"

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

struct PublishedIid {
  const char* name;
  Iid declared;
  uint32_t words[4];
};

// The words as published; `declared` is what our headers give.
const PublishedIid kPublished[] = {
    {"FUnknown", FUnknown::iid, {0x00000000, 0x00000000, 0xC0000000, 0x00000046}},
    {"IPluginBase", IPluginBase::iid, {0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625}},
    {"IPluginFactory", IPluginFactory::iid, {0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F}},
    {"IPluginFactory2", IPluginFactory2::iid, {0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB}},
    {"IPluginFactory3", IPluginFactory3::iid, {0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931}},
    {"IBStream", IBStream::iid, {0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B}},
    {"IPlugView", IPlugView::iid, {0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29}},
    {"IPlugFrame", IPlugFrame::iid, {0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3}},
    {"IPlugViewContentScaleSupport", IPlugViewContentScaleSupport::iid,
     {0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F}},
    {"IComponent", IComponent::iid, {0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802}},
    {"IAudioProcessor", IAudioProcessor::iid, {0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D}},
    {"IProcessContextRequirements", IProcessContextRequirements::iid,
     {0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0}},
    {"IEditController", IEditController::iid, {0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E}},
    {"IEditController2", IEditController2::iid, {0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038}},
    {"IMidiMapping", IMidiMapping::iid, {0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5}},
    {"IComponentHandler", IComponentHandler::iid, {0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6}},
    {"IUnitInfo", IUnitInfo::iid, {0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1}},
    {"IInfoListener", ChannelContext::IInfoListener::iid,
     {0x0F194781, 0x8D984ADA, 0xBBA0C1EF, 0xC011D8D0}},
    {"IConnectionPoint", IConnectionPoint::iid, {0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1}},
    {"IMessage", IMessage::iid, {0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613}},
    {"IHostApplication", IHostApplication::iid, {0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5}},
    {"IParameterChanges", IParameterChanges::iid, {0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D}},
    {"IParamValueQueue", IParamValueQueue::iid, {0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA}},
    {"IAttributeList", IAttributeList::iid, {0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4}},
    {"IRunLoop", Linux::IRunLoop::iid, {0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389}},
    {"IEventHandler", Linux::IEventHandler::iid, {0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983}},
    {"ITimerHandler", Linux::ITimerHandler::iid, {0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9}},
    // Not among the published facts we were given; cross-checked with another declaration.
    {"IEventList", IEventList::iid, {0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44}},
    {"IComponentHandler2", IComponentHandler2::iid, {0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC}},
};

// Written out byte by byte, independently of the header's helper.
std::array<uint8_t, 16> BigEndianWords(const uint32_t (&w)[4]) {
  std::array<uint8_t, 16> bytes{};
  for (int word = 0; word < 4; ++word)
    for (int b = 0; b < 4; ++b) bytes[word * 4 + b] = static_cast<uint8_t>(w[word] >> (24 - 8 * b));
  return bytes;
}

std::array<uint8_t, 16> BytesOf(const Iid& iid) {
  std::array<uint8_t, 16> bytes{};
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(iid.bytes[i]);
  return bytes;
}

TEST(Vst3Abi, EveryInterfaceIdIsThePublishedWordsBigEndianOnLinux) {
  static_assert(!ZARN_VST3_COM_COMPATIBLE, "these bytes are the Linux layout");
  for (const PublishedIid& entry : kPublished)
    EXPECT_EQ(BytesOf(entry.declared), BigEndianWords(entry.words)) << entry.name;
}

TEST(Vst3Abi, InterfaceIdsAreDistinct) {
  for (size_t a = 0; a < std::size(kPublished); ++a)
    for (size_t b = a + 1; b < std::size(kPublished); ++b)
      EXPECT_NE(BytesOf(kPublished[a].declared), BytesOf(kPublished[b].declared))
          << kPublished[a].name << " and " << kPublished[b].name;
}

TEST(Vst3Abi, ComOrderSwapsTheFirstWordAndTheHalvesOfTheSecond) {
  const Iid windows =
      MakeIidInOrder(IidByteOrder::kCom, 0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
  const std::array<uint8_t, 16> expected = {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43,
                                            0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
  EXPECT_EQ(BytesOf(windows), expected);
  EXPECT_EQ(BytesOf(IComponent::iid)[0], 0xE8);  // this build: big-endian words
}

TEST(Vst3Abi, ResultCodesAreTheSmallIntegersOfNonComPlatforms) {
  EXPECT_EQ(kNoInterface, -1);
  EXPECT_EQ(kResultOk, 0);
  EXPECT_EQ(kResultTrue, 0);
  EXPECT_EQ(kResultFalse, 1);
  EXPECT_EQ(kInvalidArgument, 2);
  EXPECT_EQ(kNotImplemented, 3);
  EXPECT_EQ(kInternalError, 4);
  EXPECT_EQ(kNotInitialized, 5);
  EXPECT_EQ(kOutOfMemory, 6);
}

TEST(Vst3Abi, ClassIdIsBuiltFromFourWordsInEitherOrder) {
  const vst3kit::Fuid id = zarn_class::ClassId();
  EXPECT_EQ(id.ToString(), "F2AEE70D00DE4F4E4D4C45515A41524E");
  const std::array<uint8_t, 16> com = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                       0x4D, 0x4C, 0x45, 0x51, 0x5A, 0x41, 0x52, 0x4E};
  EXPECT_EQ(BytesOf(id.Bytes(IidByteOrder::kCom)), com);
  const uint32_t words[4] = {0xF2AEE70D, 0x00DE4F4E, 0x4D4C4551, 0x5A41524E};
  EXPECT_EQ(BytesOf(id.Bytes()), BigEndianWords(words));
  // Words 3 and 4 read "MLEQ" and "ZARN": the maker ID (QELM in memory) and the plug-in ID.
  EXPECT_TRUE(id.Matches(id.Bytes().data()));
  EXPECT_FALSE(id.Matches(id.Bytes(IidByteOrder::kCom).data()));
  EXPECT_FALSE(id.Matches(nullptr));
}

}  // namespace
