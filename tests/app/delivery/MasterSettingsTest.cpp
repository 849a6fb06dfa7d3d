// Settings for `zarn master`: a state the plug-in saved, raw or inside a .vstpreset, either of its
// slots, then "Name=value" settings, then what mastering decides itself.
#ifdef ZARN_HAVE_APP

#include <cstdint>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/audio/UserError.h"
#include "app/delivery/MasterSettings.h"
#include "app/render/ByteStream.h"
#include "core/ZARN.h"
#include "core/ZarnClass.h"
#include "support/ScratchDirectory.h"

namespace {

constexpr size_t kOldStateBytes = 220;  // before the A/B slots: values and bypass word

ParamValues SlotA() {
  ParamValues values = DefaultParamValues();
  values[kRelease] = 500.0;
  values[kLoud] = 40.0;
  values[kBypass] = 1.0;
  values[kDriveL] = 6.0;
  return values;
}

ParamValues SlotB() {
  ParamValues values = DefaultParamValues();
  values[kRelease] = 200.0;
  values[kCharacter] = 3.0;
  return values;
}

// What the plug-in saves with slot A and slot B as above, `live` the one in its parameters.
std::vector<uint8_t> SavedState(PresetSlot live) {
  ZARN plugin;
  const ParamValues& shown = live == PresetSlot::kA ? SlotA() : SlotB();
  for (int i = 0; i < kNumParams; ++i) plugin.SetParamValue(i, shown[static_cast<size_t>(i)]);
  const std::string slots =
      nlohmann::json{{"active", live == PresetSlot::kA ? 0 : 1}, {"other", live == PresetSlot::kA ? SlotB() : SlotA()}}
          .dump();
  plugin.OnArbitraryMessage(ZARN::kPageStoreSlots, 0, static_cast<int>(slots.size()), slots.data());
  ByteStream stream;
  Steinberg::Vst::IComponent& component = plugin;
  EXPECT_EQ(component.getState(&stream), Steinberg::kResultOk);
  return stream.bytes;
}

std::vector<uint8_t> FirstBytes(const std::vector<uint8_t>& state, size_t n) {
  return {state.begin(), state.begin() + static_cast<std::ptrdiff_t>(n)};
}

template <typename T>
void Append(std::vector<uint8_t>& bytes, T value) {
  const size_t at = bytes.size();
  bytes.resize(at + sizeof(T));
  std::memcpy(bytes.data() + at, &value, sizeof(T));
}

// A .vstpreset as hosts write it: header, an unrelated chunk, the component state, the chunk list.
std::vector<uint8_t> VstPreset(const std::vector<uint8_t>& state, const char* chunkId = "Comp",
                               const std::string& classId = zarn_class::ClassId().ToString()) {
  std::vector<uint8_t> file = {'V', 'S', 'T', '3'};
  Append<int32_t>(file, 1);
  file.insert(file.end(), classId.begin(), classId.end());
  const size_t listOffsetAt = file.size();
  Append<int64_t>(file, 0);
  const int64_t infoOffset = static_cast<int64_t>(file.size());
  const std::string info = "<MetaInfo/>";
  file.insert(file.end(), info.begin(), info.end());
  const int64_t stateOffset = static_cast<int64_t>(file.size());
  file.insert(file.end(), state.begin(), state.end());
  const int64_t listOffset = static_cast<int64_t>(file.size());
  std::memcpy(file.data() + listOffsetAt, &listOffset, 8);
  file.insert(file.end(), {'L', 'i', 's', 't'});
  Append<int32_t>(file, 2);
  file.insert(file.end(), {'I', 'n', 'f', 'o'});
  Append<int64_t>(file, infoOffset);
  Append<int64_t>(file, static_cast<int64_t>(info.size()));
  file.insert(file.end(), chunkId, chunkId + 4);
  Append<int64_t>(file, stateOffset);
  Append<int64_t>(file, static_cast<int64_t>(state.size()));
  return file;
}

std::string Write(const ScratchDirectory& dir, const std::string& name,
                  const std::vector<uint8_t>& bytes) {
  const std::string path = dir.File(name);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

// The message of the refusal, empty when the preset was taken; `values` must stay as they were.
std::string Refusal(const std::string& path, PresetSlot slot) {
  ParamValues values = DefaultParamValues();
  try {
    ApplyPresetFile(path, slot, values);
  } catch (const UserError& error) {
    EXPECT_EQ(values, DefaultParamValues());
    return error.what();
  }
  return {};
}

}  // namespace

// The parameters are the live slot and the block after the 220 bytes the other: slot A is A
// whichever of the two the editor showed when the host saved.
TEST(MasterSettings, EveryStateThePluginWritesGivesEitherSlot) {
  ScratchDirectory dir;
  for (const PresetSlot live : {PresetSlot::kA, PresetSlot::kB}) {
    const std::vector<uint8_t> state = SavedState(live);
    ASSERT_EQ(state.size(), 456u);
    const std::string name = live == PresetSlot::kA ? "a-live" : "b-live";
    for (const std::string& path : {Write(dir, name + ".bin", state), Write(dir, name + ".vstpreset", VstPreset(state))}) {
      ParamValues a = DefaultParamValues(), b = DefaultParamValues();
      EXPECT_EQ(ApplyPresetFile(path, PresetSlot::kA, a).slot, PresetSlot::kA);
      const PresetSummary summary = ApplyPresetFile(path, PresetSlot::kB, b);
      EXPECT_EQ(a, SlotA()) << path;
      EXPECT_EQ(b, SlotB()) << path;
      ASSERT_EQ(summary.settings.size(), 2u) << path;
      EXPECT_EQ(summary.settings[0].name, "Release");
      EXPECT_EQ(summary.settings[0].value, 200.0);
      EXPECT_EQ(summary.settings[1].name, "Character");
    }
  }
  // Before the slots the plug-in saved its parameters alone.
  const std::vector<uint8_t> old = FirstBytes(SavedState(PresetSlot::kA), kOldStateBytes);
  for (const std::string& path : {Write(dir, "old.bin", old), Write(dir, "old.vstpreset", VstPreset(old))}) {
    ParamValues values = DefaultParamValues();
    EXPECT_EQ(ApplyPresetFile(path, PresetSlot::kA, values).settings.size(), 4u);
    EXPECT_EQ(values, SlotA()) << path;
  }
}

// The plug-in ignores a slots block it cannot read and has slot A only; so does the tool.
TEST(MasterSettings, SlotBIsRefusedWhereTheStateHoldsOnlyA) {
  ScratchDirectory dir;
  const std::vector<uint8_t> state = SavedState(PresetSlot::kA);
  std::vector<uint8_t> otherVersion = state;
  otherVersion[kOldStateBytes + 4] = 2;  // the block's version
  const std::string old = Write(dir, "old.vstpreset", VstPreset(FirstBytes(state, kOldStateBytes)));
  const std::string damaged = Write(dir, "damaged.bin", otherVersion);
  const std::string cut = Write(dir, "cut.bin", FirstBytes(state, 300));
  for (const std::string& path : {old, damaged, cut}) {
    EXPECT_EQ(Refusal(path, PresetSlot::kA), "") << path;
    const std::string refusal = Refusal(path, PresetSlot::kB);
    EXPECT_NE(refusal.find(path), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("holds slot A only"), std::string::npos) << refusal;
  }
  EXPECT_NE(Refusal(old, PresetSlot::kB).find("220-byte state, saved before the plug-in had slots"), std::string::npos);
  EXPECT_NE(Refusal(damaged, PresetSlot::kB).find("damaged"), std::string::npos);
  ParamValues values = DefaultParamValues();
  ApplyPresetFile(damaged, PresetSlot::kA, values);
  EXPECT_EQ(values, SlotA());
}

TEST(MasterSettings, WhatThePluginRefusesIsRefusedWithTheReason) {
  ScratchDirectory dir;
  const std::vector<uint8_t> state = SavedState(PresetSlot::kA);
  const std::vector<uint8_t> shortState = FirstBytes(state, 216);  // values, no bypass word
  const struct {
    std::string path, reason;
  } cases[] = {
      {Write(dir, "short.bin", shortState), "cut short: 216 bytes"},
      {Write(dir, "short.vstpreset", VstPreset(shortState)), "cut short: 216 bytes"},
      {Write(dir, "empty.bin", {}), "cut short: 0 bytes"},
      {Write(dir, "nocomp.vstpreset", VstPreset(state, "Cont")), "no component state"},
      {Write(dir, "other.vstpreset", VstPreset(state, "Comp", std::string(32, 'A'))),
       "another plug-in's (class AAAA"},
      {Write(dir, "cut.vstpreset", {'V', 'S', 'T', '3', 1, 0}), "header is cut short"},
      {dir.File("missing.vstpreset"), "cannot open"},
  };
  for (const auto& c : cases) {
    for (const PresetSlot slot : {PresetSlot::kA, PresetSlot::kB}) {
      const std::string refusal = Refusal(c.path, slot);
      EXPECT_NE(refusal.find(c.path), std::string::npos) << refusal;
      EXPECT_NE(refusal.find(c.reason), std::string::npos) << refusal;
    }
  }
}

TEST(MasterSettings, SettingsThenMasteringOverridesComeLast) {
  ScratchDirectory dir;
  ParamValues values = DefaultParamValues();
  ApplyPresetFile(Write(dir, "raw.bin", SavedState(PresetSlot::kB)), PresetSlot::kA, values);
  ApplySettings({"release=200", "Ceiling L=-3", "Character=3.4"}, values);
  ApplyMasteringOverrides(-1.5, 1, values);
  EXPECT_EQ(values[kRelease], 200.0);
  EXPECT_EQ(values[kCharacter], 3.0);  // stepped, as the plug-in keeps it
  EXPECT_EQ(values[kDriveL], 0.0);     // the search sets the level in front instead
  EXPECT_EQ(values[kCeilingL], -1.5);
  EXPECT_EQ(values[kCeilingR], -1.5);
  EXPECT_EQ(values[kBypass], 0.0);
  EXPECT_EQ(values[kDither], 1.0);
  EXPECT_EQ(values[kLoud], 40.0);
}

#endif  // ZARN_HAVE_APP
