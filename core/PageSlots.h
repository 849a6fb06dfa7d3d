#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The page's two settings slots, A and B. The live slot is the parameters themselves; this holds
// which slot is live and the plain values of the other one (empty: the same as the live one).
//
// Saved after the 220-byte state as a block a reader of the 220 bytes never looks at:
//   "ZABS", version (uint32 LE, 1), body size (uint32 LE), then the body:
//   active slot (uint32 LE, 0 = A, 1 = B), value count N (uint32 LE), N float64 LE plain values.
// A block that is short, of another version, or holds anything out of place is ignored whole.
struct PageSlots {
  int active = 0;
  std::vector<double> other;
};

namespace page_slots {

constexpr uint32_t kVersion = 1;

// Appends the block; an empty `other` is written as `live` (B equal to A).
void AppendBlock(const PageSlots& slots, const std::vector<double>& live, std::vector<uint8_t>& out);

// The block at the start of `data`, or nothing. Values must be finite; `nParams` of them.
std::optional<PageSlots> ReadBlock(const uint8_t* data, size_t size, int nParams);

// To the page: {"t":"slots","active":0,"other":[...]} ("other" is [] when the same as live).
std::string PageMessage(const PageSlots& slots);

// From the page: {"active":0|1,"other":[nParams finite numbers]}; nothing when malformed.
std::optional<PageSlots> ParsePageMessage(std::string_view payload, int nParams);

// From the page: {"group":"begin"} is true, {"group":"end"} false, anything else nothing.
std::optional<bool> ParseGroupEdit(std::string_view payload);

}  // namespace page_slots
