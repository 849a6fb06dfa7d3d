#include "app/delivery/MasterSettings.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/audio/UserError.h"
#include "app/render/ParamAssignment.h"
#include "core/ZARN.h"

namespace {

constexpr size_t kStateBytes = 220;
constexpr char kPresetMagic[4] = {'V', 'S', 'T', '3'};
constexpr size_t kPresetListOffsetAt = 40;  // after magic, version and the 32-byte class ID
constexpr char kListMagic[4] = {'L', 'i', 's', 't'};
constexpr char kComponentChunk[4] = {'C', 'o', 'm', 'p'};
constexpr size_t kListEntryBytes = 20;      // chunk ID, 64-bit offset, 64-bit size

[[noreturn]] void RefusePreset(const std::string& path, const std::string& reason) {
  throw UserError("cannot use preset " + path + ": " + reason);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) RefusePreset(path, "cannot open it");
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

template <typename T>
T ReadLittleEndian(const std::vector<uint8_t>& bytes, size_t at) {
  T value{};
  std::memcpy(&value, bytes.data() + at, sizeof(T));  // x86 and ARM hosts are little-endian
  return value;
}

bool HasMagic(const std::vector<uint8_t>& bytes, size_t at, const char (&magic)[4]) {
  return bytes.size() >= at + 4 && std::memcmp(bytes.data() + at, magic, 4) == 0;
}

// A .vstpreset: header with the offset of a chunk list, whose "Comp" entry locates the
// component state.
std::vector<uint8_t> ComponentStateOf(const std::string& path, const std::vector<uint8_t>& file) {
  if (file.size() < kPresetListOffsetAt + 8) RefusePreset(path, "the .vstpreset header is cut short");
  const auto list = ReadLittleEndian<int64_t>(file, kPresetListOffsetAt);
  if (list < 0 || !HasMagic(file, static_cast<size_t>(list), kListMagic))
    RefusePreset(path, "the .vstpreset has no chunk list");
  const size_t count = ReadLittleEndian<uint32_t>(file, static_cast<size_t>(list) + 4);
  size_t entry = static_cast<size_t>(list) + 8;
  for (size_t i = 0; i < count && entry + kListEntryBytes <= file.size();
       ++i, entry += kListEntryBytes) {
    if (!HasMagic(file, entry, kComponentChunk)) continue;
    const auto offset = ReadLittleEndian<int64_t>(file, entry + 4);
    const auto size = ReadLittleEndian<int64_t>(file, entry + 12);
    if (offset < 0 || size < 0 || static_cast<uint64_t>(offset + size) > file.size())
      RefusePreset(path, "the component state lies outside the file");
    return {file.begin() + offset, file.begin() + offset + size};
  }
  RefusePreset(path, "the .vstpreset holds no component state");
}

void ReadValuesFrom(ZARN& plugin, ParamValues& values) {
  for (int i = 0; i < kNumParams; ++i) values[static_cast<size_t>(i)] = plugin.GetParam(i)->Value();
}

std::unique_ptr<ZARN> PluginWith(const ParamValues& values) {
  auto plugin = std::make_unique<ZARN>();
  for (int i = 0; i < kNumParams; ++i) plugin->SetParamValue(i, values[static_cast<size_t>(i)]);
  return plugin;
}

}  // namespace

ParamValues DefaultParamValues() {
  ParamValues values{};
  ZARN plugin;
  ReadValuesFrom(plugin, values);
  return values;
}

void ApplyPresetFile(const std::string& path, ParamValues& values) {
  const std::vector<uint8_t> file = ReadWholeFile(path);
  const std::vector<uint8_t> state = HasMagic(file, 0, kPresetMagic) ? ComponentStateOf(path, file) : file;
  if (state.size() != kStateBytes)
    RefusePreset(path, "the plug-in's state is " + std::to_string(kStateBytes) + " bytes, this one " +
                           std::to_string(state.size()));
  const auto plugin = PluginWith(values);
  plugin->UnserializeParams(state, 0);
  ReadValuesFrom(*plugin, values);
}

void ApplySettings(const std::vector<std::string>& settings, ParamValues& values) {
  const auto plugin = PluginWith(values);
  ApplyParamAssignments(*plugin, ParseParamAssignments(settings, *plugin));
  ReadValuesFrom(*plugin, values);
}

void ApplyMasteringOverrides(double ceilingDbtp, int dither, ParamValues& values) {
  values[kDriveL] = values[kDriveR] = 0.0;
  values[kCeilingL] = values[kCeilingR] = ceilingDbtp;
  values[kBypass] = values[kLevelMatch] = values[kFullDelta] = values[kLoudDelta] = 0.0;
  values[kDither] = dither;
}
