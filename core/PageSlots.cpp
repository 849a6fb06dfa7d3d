#include "core/PageSlots.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "host/ByteOrder.h"

namespace page_slots {

namespace {
constexpr char kMagic[4] = {'Z', 'A', 'B', 'S'};
constexpr size_t kHeaderBytes = 12;  // magic, version, body size
constexpr size_t kBodyHeadBytes = 8;  // active, count

// The shortest text that reads back as the same double, whatever the process locale.
void AppendShortest(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}
}  // namespace

void AppendBlock(const PageSlots& slots, const std::vector<double>& live, std::vector<uint8_t>& out) {
  const std::vector<double>& other = slots.other.empty() ? live : slots.other;
  out.insert(out.end(), kMagic, kMagic + 4);
  AppendLE32(out, kVersion);
  AppendLE32(out, static_cast<uint32_t>(kBodyHeadBytes + 8 * other.size()));
  AppendLE32(out, slots.active == 1 ? 1u : 0u);
  AppendLE32(out, static_cast<uint32_t>(other.size()));
  for (double v : other) AppendDoubleLE(out, v);
}

std::optional<PageSlots> ReadBlock(const uint8_t* data, size_t size, int nParams) {
  if (!data || size < kHeaderBytes + kBodyHeadBytes || std::memcmp(data, kMagic, 4) != 0) return std::nullopt;
  if (ReadLE32(data + 4) != kVersion) return std::nullopt;
  const size_t body = ReadLE32(data + 8);
  const size_t count = ReadLE32(data + kHeaderBytes + 4);
  if (nParams <= 0 || count != static_cast<size_t>(nParams) || body != kBodyHeadBytes + 8 * count ||
      body > size - kHeaderBytes)
    return std::nullopt;
  PageSlots slots;
  const uint32_t active = ReadLE32(data + kHeaderBytes);
  if (active > 1) return std::nullopt;
  slots.active = static_cast<int>(active);
  const uint8_t* values = data + kHeaderBytes + kBodyHeadBytes;
  for (size_t i = 0; i < count; ++i) {
    const double v = ReadDoubleLE(values + 8 * i);
    if (!std::isfinite(v)) return std::nullopt;
    slots.other.push_back(v);
  }
  return slots;
}

std::string PageMessage(const PageSlots& slots) {
  std::string out = "{\"t\":\"slots\",\"active\":";
  out += slots.active == 1 ? '1' : '0';
  out += ",\"other\":[";
  for (size_t i = 0; i < slots.other.size(); ++i) {
    if (i > 0) out += ',';
    AppendShortest(out, slots.other[i]);
  }
  out += "]}";
  return out;
}

std::optional<PageSlots> ParsePageMessage(std::string_view payload, int nParams) {
  const auto json = nlohmann::json::parse(payload, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  const auto active = json.find("active");
  const auto other = json.find("other");
  if (active == json.end() || other == json.end() || !active->is_number_integer() || !other->is_array())
    return std::nullopt;
  const auto slot = active->get<int64_t>();
  if ((slot != 0 && slot != 1) || other->size() != static_cast<size_t>(nParams)) return std::nullopt;
  PageSlots slots;
  slots.active = static_cast<int>(slot);
  for (const auto& v : *other) {
    if (!v.is_number() || !std::isfinite(v.get<double>())) return std::nullopt;
    slots.other.push_back(v.get<double>());
  }
  return slots;
}

std::optional<bool> ParseGroupEdit(std::string_view payload) {
  const auto json = nlohmann::json::parse(payload, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  const auto group = json.find("group");
  if (group == json.end() || !group->is_string()) return std::nullopt;
  if (*group == "begin") return true;
  if (*group == "end") return false;
  return std::nullopt;
}

}  // namespace page_slots
