// Page messages (and the A/B block of the state): any bytes must parse to nothing or to a message
// inside its documented ranges.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/PageSlots.h"
#include "editor/PageInput.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr int kParams = 27;
  if (const auto message = page_input::Parse(text, kParams)) {
    if (const auto* set = std::get_if<page_input::SetParam>(&*message))
      Check(set->paramIdx >= 0 && set->paramIdx < kParams && std::isfinite(set->value));
    if (const auto* key = std::get_if<page_input::Key>(&*message)) Check(key->text[4] == '\0');
  }
  if (const auto edit = page_input::ParseParamEdit(text, kParams))
    Check(edit->paramIdx >= 0 && edit->paramIdx < kParams && std::isfinite(edit->value));
  if (const auto size = page_input::ParseResize(text))
    Check(size->width >= 320 && size->width <= 4096 && size->height >= 200 && size->height <= 2160);
  if (const auto link = page_input::ParseLink(text)) Check(page_input::IsOpenableLink(*link));
  // The A/B slots, as the page posts them and as the state's trailing block holds them.
  for (const auto& slots : {page_slots::ParsePageMessage(text, kParams), page_slots::ReadBlock(data, size, kParams)})
    if (slots) {
      Check((slots->active == 0 || slots->active == 1) && slots->other.size() == static_cast<size_t>(kParams));
      for (double v : slots->other) Check(std::isfinite(v));
    }
  page_slots::ParseGroupEdit(text);
  return 0;
}
