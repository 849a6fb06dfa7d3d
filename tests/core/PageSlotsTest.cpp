// The A/B slots: their block after the 220 bytes of state, the page's slot and group-edit
// messages, and what reaches the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/PageSlots.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "host/ByteOrder.h"
#include "support/Vst3HostObjects.h"

namespace {

using namespace testhost;

std::vector<double> Values(double first) {
  std::vector<double> v;
  for (int i = 0; i < kNumParams; ++i) v.push_back(first + i);
  return v;
}

std::vector<uint8_t> Block(const PageSlots& slots) {
  std::vector<uint8_t> out;
  page_slots::AppendBlock(slots, Values(100.0), out);
  return out;
}

TEST(PageSlotsBlock, RoundTripsAndWritesTheLiveValuesForAnEmptyOtherSlot) {
  const std::vector<uint8_t> block = Block({1, Values(-5.0)});
  ASSERT_EQ(block.size(), 12u + 8u + 8u * kNumParams);
  EXPECT_EQ(std::memcmp(block.data(), "ZABS", 4), 0);
  const auto back = page_slots::ReadBlock(block.data(), block.size(), kNumParams);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->active, 1);
  EXPECT_EQ(back->other, Values(-5.0));

  const std::vector<uint8_t> same = Block({0, {}});
  const auto equal = page_slots::ReadBlock(same.data(), same.size(), kNumParams);
  ASSERT_TRUE(equal);
  EXPECT_EQ(equal->other, Values(100.0));
  // Bytes after the block (a later version's additions) do not matter.
  std::vector<uint8_t> longer = same;
  longer.resize(longer.size() + 50, 0xEE);
  EXPECT_TRUE(page_slots::ReadBlock(longer.data(), longer.size(), kNumParams));
}

TEST(PageSlotsBlock, AnythingShortOrOutOfPlaceIsIgnoredWhole) {
  const std::vector<uint8_t> good = Block({1, Values(0.0)});
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(page_slots::ReadBlock(good.data(), n, kNumParams)) << "cut at " << n;
  EXPECT_FALSE(page_slots::ReadBlock(nullptr, 0, kNumParams));
  EXPECT_FALSE(page_slots::ReadBlock(good.data(), good.size(), kNumParams + 1));

  auto spoiled = [&](size_t at, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> b = good;
    std::memcpy(b.data() + at, bytes.data(), bytes.size());
    return page_slots::ReadBlock(b.data(), b.size(), kNumParams).has_value();
  };
  EXPECT_FALSE(spoiled(0, {'Z', 'A', 'B', 'X'}));        // magic
  EXPECT_FALSE(spoiled(4, {2, 0, 0, 0}));                // a version this reader does not know
  EXPECT_FALSE(spoiled(8, {0xFF, 0xFF, 0xFF, 0x7F}));    // body size past the end
  EXPECT_FALSE(spoiled(8, {4, 0, 0, 0}));                // body size that disagrees with the count
  EXPECT_FALSE(spoiled(12, {2, 0, 0, 0}));               // a third slot
  EXPECT_FALSE(spoiled(16, {0xFF, 0xFF, 0xFF, 0xFF}));   // count
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    std::vector<uint8_t> v;
    AppendDoubleLE(v, bad);
    EXPECT_FALSE(spoiled(20 + 8 * 5, v)) << bad;
  }
}

TEST(PageSlotsMessages, PageMessageAndParserAgreeAndRefuseBadInput) {
  PageSlots slots{1, Values(-0.1)};
  const std::string text = page_slots::PageMessage(slots);
  EXPECT_EQ(text.rfind("{\"t\":\"slots\",\"active\":1,\"other\":[-0.1,0.9,", 0), 0u) << text;
  const auto back = page_slots::ParsePageMessage(text, kNumParams);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->other, slots.other);
  EXPECT_EQ(page_slots::PageMessage({0, {}}), "{\"t\":\"slots\",\"active\":0,\"other\":[]}");

  std::string values = "[";
  for (int i = 0; i < kNumParams; ++i) values += (i ? ",1" : "1");
  values += "]";
  EXPECT_TRUE(page_slots::ParsePageMessage("{\"active\":0,\"other\":" + values + "}", kNumParams));
  const std::string tail = values.substr(2);  // the values after the first, and the bracket
  const std::vector<std::string> bad = {
      "", "nonsense", "[]", "{\"active\":0}", "{\"active\":0,\"other\":[1,2]}", "{\"active\":0,\"other\":{}}",
      "{\"active\":2,\"other\":" + values + "}", "{\"active\":\"0\",\"other\":" + values + "}",
      "{\"active\":0.5,\"other\":" + values + "}", "{\"active\":0,\"other\":[\"1\"" + tail + "}",
      "{\"active\":0,\"other\":[1e999" + tail + "}", "{\"active\":0,\"other\":" + values};
  for (const std::string& text : bad) EXPECT_FALSE(page_slots::ParsePageMessage(text, kNumParams)) << text;

  EXPECT_EQ(page_slots::ParseGroupEdit("{\"group\":\"begin\"}"), std::optional<bool>(true));
  EXPECT_EQ(page_slots::ParseGroupEdit("{\"group\":\"end\"}"), std::optional<bool>(false));
  for (const char* bad : {"", "{", "{\"group\":1}", "{\"group\":\"BEGIN\"}", "{\"grp\":\"end\"}", "[\"begin\"]"})
    EXPECT_FALSE(page_slots::ParseGroupEdit(bad)) << bad;
}

class PageSlotsPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(plugin_.initialize(&application_), Steinberg::kResultOk);
    plugin_.setComponentHandler(&handler_);
  }
  void TearDown() override { plugin_.terminate(); }

  void Post(int tag, const std::string& json) { plugin_.OnArbitraryMessage(tag, -1, static_cast<int>(json.size()), json.data()); }
  std::vector<uint8_t> Save() {
    MemoryStream stream;
    Steinberg::Vst::IComponent& component = plugin_;
    EXPECT_EQ(component.getState(&stream), Steinberg::kResultOk);
    return stream.Bytes();
  }
  Steinberg::tresult Load(ZARN& into, std::vector<uint8_t> bytes) {
    MemoryStream stream(std::move(bytes));
    Steinberg::Vst::IComponent& component = into;
    return component.setState(&stream);
  }
  std::string Kinds() const {
    std::string k;
    for (const auto& e : handler_.edits) k += e.kind;
    return k;
  }

  ZARN plugin_;
  HostApplication application_{u"REAPER 7"};
  GroupingComponentHandler handler_;
};

TEST_F(PageSlotsPlugin, SlotsTravelWithTheStateAfterTheUnchangedTwoHundredTwentyBytes) {
  plugin_.SetParamValue(kLoud, 40.0);
  std::vector<double> other = Values(0.0);
  other[kLoud] = 5000.0;  // clamped to the range when taken
  std::string json = "{\"active\":1,\"other\":[";
  for (size_t i = 0; i < other.size(); ++i) {
    if (i > 0) json += ',';
    json += std::to_string(other[i]);
  }
  Post(ZARN::kPageStoreSlots, json + "]}");
  const std::vector<uint8_t> state = Save();
  ASSERT_EQ(state.size(), 220u + 236u);

  // The first 220 bytes are what a plug-in without slots writes: values, then the bypass word.
  ZARN plain;
  plain.SetParamValue(kLoud, 40.0);
  std::vector<uint8_t> expected;
  plain.SerializeParams(expected);
  AppendLE32(expected, 0);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), state.begin()));

  ZARN restored;
  ASSERT_EQ(restored.initialize(&application_), Steinberg::kResultOk);
  ASSERT_EQ(Load(restored, state), Steinberg::kResultOk);
  EXPECT_EQ(restored.Slots().active, 1);
  ASSERT_EQ(restored.Slots().other.size(), static_cast<size_t>(kNumParams));
  EXPECT_EQ(restored.Slots().other[kLoud], 100.0);
  EXPECT_EQ(restored.GetParam(kLoud)->Value(), 40.0);
  restored.terminate();
}

TEST_F(PageSlotsPlugin, AnOldOrDamagedTailLoadsWithBEqualToA) {
  plugin_.SetParamValue(kDriveL, 3.0);
  const std::vector<uint8_t> full = Save();
  for (size_t size : {size_t{220}, size_t{221}, size_t{240}, full.size() - 1}) {
    std::vector<uint8_t> bytes(full.begin(), full.begin() + static_cast<long>(size));
    ZARN restored;
    ASSERT_EQ(restored.initialize(&application_), Steinberg::kResultOk);
    ASSERT_EQ(Load(restored, bytes), Steinberg::kResultOk) << size;
    EXPECT_EQ(restored.Slots().active, 0) << size;
    ASSERT_EQ(restored.Slots().other.size(), static_cast<size_t>(kNumParams)) << size;
    EXPECT_EQ(restored.Slots().other[kDriveL], 3.0) << size;
    restored.terminate();
  }
  std::vector<uint8_t> garbled = full;
  for (size_t i = 220; i < garbled.size(); ++i) garbled[i] = static_cast<uint8_t>(i * 37);
  EXPECT_EQ(Load(plugin_, garbled), Steinberg::kResultOk);
  EXPECT_EQ(plugin_.Slots().active, 0);
}

TEST_F(PageSlotsPlugin, GroupEditsReachTheHostOnlyAsMatchedBrackets) {
  Post(ZARN::kPageGroupEdit, "{\"group\":\"begin\"}");
  Post(ZARN::kPageGroupEdit, "{\"group\":\"begin\"}");  // already open: nothing more
  Post(ZARN::kPageEditParam, "{\"paramIdx\":14,\"value\":30,\"gesture\":\"s\"}");
  Post(ZARN::kPageEditParam, "{\"paramIdx\":0,\"value\":2,\"gesture\":\"s\"}");
  Post(ZARN::kPageGroupEdit, "{\"group\":\"end\"}");
  Post(ZARN::kPageGroupEdit, "{\"group\":\"end\"}");
  Post(ZARN::kPageGroupEdit, "{\"group\":\"sideways\"}");
  EXPECT_EQ(Kinds(), "gbpebpef");
  // A page that goes away with a group open has it closed for the host.
  handler_.edits.clear();
  Post(ZARN::kPageGroupEdit, "{\"group\":\"begin\"}");
  plugin_.OnPageLoaded();
  EXPECT_EQ(Kinds(), "gf");
}

}  // namespace
