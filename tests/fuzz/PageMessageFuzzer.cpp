// Page messages: any bytes must parse to nothing or to a message inside its documented ranges.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

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
  return 0;
}
