#include "app/delivery/MasterSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/audio/UserError.h"
#include "app/render/ByteStream.h"
#include "core/PageSlots.h"
#include "core/ZARN.h"
#include "core/ZarnClass.h"

namespace {

// The values and the bypass word: what every state the plug-in has written begins with.
constexpr size_t kStateBytes = 8 * kNumParams + IFxVST3::kBypassWordBytes;
constexpr char kPresetMagic[4] = {'V', 'S', 'T', '3'};
constexpr size_t kPresetClassIdAt = 8;      // after magic and version: 32 hex digits
constexpr size_t kClassIdChars = 32;
constexpr size_t kPresetListOffsetAt = kPresetClassIdAt + kClassIdChars;
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

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// A host loads a .vstpreset only into the plug-in whose class it names; another plug-in's
// state would pass for values here.
void RequireOurClass(const std::string& path, const std::vector<uint8_t>& file) {
  const std::string named(file.begin() + kPresetClassIdAt, file.begin() + kPresetClassIdAt + kClassIdChars);
  const std::string ours = zarn_class::ClassId().ToString();
  if (SameIgnoringCase(named, ours)) return;
  const bool readable = std::all_of(named.begin(), named.end(), [](char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
  });
  RefusePreset(path, "the .vstpreset is another plug-in's" + (readable ? " (class " + named + ")" : std::string()) +
                         ", not ZARN's (class " + ours + ")");
}

// A .vstpreset: header with the plug-in's class and the offset of a chunk list, whose "Comp"
// entry locates the component state.
std::vector<uint8_t> ComponentStateOf(const std::string& path, const std::vector<uint8_t>& file) {
  if (file.size() < kPresetListOffsetAt + 8) RefusePreset(path, "the .vstpreset header is cut short");
  RequireOurClass(path, file);
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
    if (offset < 0 || size < 0 || static_cast<uint64_t>(offset) > file.size() ||
        static_cast<uint64_t>(size) > file.size() - static_cast<uint64_t>(offset))
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

PresetSummary ApplyPresetFile(const std::string& path, PresetSlot slot, ParamValues& values) {
  const std::vector<uint8_t> file = ReadWholeFile(path);
  const std::vector<uint8_t> state = HasMagic(file, 0, kPresetMagic) ? ComponentStateOf(path, file) : file;
  ZARN restored;
  ByteStream stream(state);
  Steinberg::Vst::IComponent& component = restored;
  if (component.setState(&stream) != Steinberg::kResultOk)
    RefusePreset(path, state.size() < kStateBytes
                           ? "the state is cut short: " + std::to_string(state.size()) +
                                 " bytes, and the plug-in takes none under " + std::to_string(kStateBytes) +
                                 " (its values and bypass word)"
                           : std::string("the plug-in refuses its state"));
  ParamValues slotValues{};
  ReadValuesFrom(restored, slotValues);
  // The block the plug-in read, if it read one (it ignores a damaged one whole).
  const bool hasSlots = state.size() > kStateBytes &&
                        page_slots::ReadBlock(state.data() + kStateBytes, state.size() - kStateBytes, kNumParams);
  const int wanted = slot == PresetSlot::kB ? 1 : 0;
  if (!hasSlots && wanted == 1)
    RefusePreset(path, "--slot B: it holds slot A only (" +
                           (state.size() == kStateBytes
                                ? "a " + std::to_string(kStateBytes) + "-byte state, saved before the plug-in had slots)"
                                : "the plug-in ignores the A/B block after its first " + std::to_string(kStateBytes) +
                                      " bytes: cut short, damaged or of another version)"));
  // The parameters are the live slot; the block holds the other, clamped as the plug-in took it.
  if (hasSlots && restored.Slots().active != wanted)
    std::copy(restored.Slots().other.begin(), restored.Slots().other.end(), slotValues.begin());
  const auto plugin = PluginWith(slotValues);
  ReadValuesFrom(*plugin, values);
  return {path, slot, NonDefaultSettings(*plugin)};
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

const char* PresetSlotName(PresetSlot slot) { return slot == PresetSlot::kB ? "B" : "A"; }
