// Settings for `zarn master`: a state the plug-in saved, raw or inside a .vstpreset, then
// "Name=value" settings, then what mastering decides itself.
#ifdef ZARN_HAVE_APP

#include <cstdint>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "app/audio/UserError.h"
#include "app/delivery/MasterSettings.h"
#include "core/ZARN.h"
#include "support/ScratchDirectory.h"

namespace {

// What a host saves for a plug-in with Release 500 ms, Loud 40 %, Bypass on and Drive L +6 dB.
std::vector<uint8_t> SavedState() {
  ZARN plugin;
  plugin.SetParamValue(kRelease, 500.0);
  plugin.SetParamValue(kLoud, 40.0);
  plugin.SetParamValue(kBypass, 1.0);
  plugin.SetParamValue(kDriveL, 6.0);
  std::vector<uint8_t> state;
  plugin.SerializeParams(state);
  state.insert(state.end(), 4, 0);  // the host-bypass word
  return state;
}

template <typename T>
void Append(std::vector<uint8_t>& bytes, T value) {
  const size_t at = bytes.size();
  bytes.resize(at + sizeof(T));
  std::memcpy(bytes.data() + at, &value, sizeof(T));
}

// A .vstpreset: header, an unrelated chunk, the component state, and the chunk list.
std::vector<uint8_t> VstPreset(const std::vector<uint8_t>& state, const char* chunkId = "Comp") {
  std::vector<uint8_t> file = {'V', 'S', 'T', '3'};
  Append<int32_t>(file, 1);
  const std::string classId(32, 'A');
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

}  // namespace

TEST(MasterSettings, RawStateAndVstPresetGiveTheSavedValues) {
  ScratchDirectory dir;
  for (const std::string& path : {Write(dir, "raw.bin", SavedState()),
                                  Write(dir, "session.vstpreset", VstPreset(SavedState()))}) {
    ParamValues values = DefaultParamValues();
    ApplyPresetFile(path, values);
    EXPECT_EQ(values[kRelease], 500.0) << path;
    EXPECT_EQ(values[kLoud], 40.0) << path;
    EXPECT_EQ(values[kBypass], 1.0) << path;
  }
}

TEST(MasterSettings, SettingsThenMasteringOverridesComeLast) {
  ScratchDirectory dir;
  ParamValues values = DefaultParamValues();
  ApplyPresetFile(Write(dir, "raw.bin", SavedState()), values);
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

TEST(MasterSettings, WrongSizesAndMissingStatesAreRefusedByName) {
  ScratchDirectory dir;
  std::vector<uint8_t> shortState = SavedState();
  shortState.resize(216);
  const struct {
    std::string path, reason;
  } cases[] = {
      {Write(dir, "short.bin", shortState), "216"},
      {Write(dir, "short.vstpreset", VstPreset(shortState)), "216"},
      {Write(dir, "nocomp.vstpreset", VstPreset(SavedState(), "Cont")), "no component state"},
      {Write(dir, "cut.vstpreset", {'V', 'S', 'T', '3', 1, 0}), "cut short"},
      {dir.File("missing.vstpreset"), "cannot open"},
  };
  for (const auto& c : cases) {
    ParamValues values = DefaultParamValues();
    try {
      ApplyPresetFile(c.path, values);
      ADD_FAILURE() << c.path << " was accepted";
    } catch (const UserError& error) {
      EXPECT_NE(std::string(error.what()).find(c.path), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
    EXPECT_EQ(values, DefaultParamValues());
  }
}

#endif  // ZARN_HAVE_APP
