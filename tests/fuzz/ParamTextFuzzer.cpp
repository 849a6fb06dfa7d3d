// Typed-in parameter text and command-line numbers: any bytes must give a value inside the
// parameter's range (or a clean refusal), never a crash or a non-finite number.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/render/NumberParsing.h"
#include "core/ZARN.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ZARN plugin;
  const std::string text(reinterpret_cast<const char*>(data), size);

  for (int i = 0; i < plugin.NParams(); ++i) {
    IParam& param = *plugin.GetParam(i);
    const double plain = param.ParseDisplay(text.c_str());
    Check(std::isfinite(plain) && plain >= param.Min() && plain <= param.Max());
    const std::string shown = param.FormatDisplay(plain, false, true);
    Check(shown.size() <= IParam::kMaxTextLength);
    const double again = param.ParseDisplay(shown.c_str());
    Check(std::isfinite(again) && again >= param.Min() && again <= param.Max());
    Check(param.Set(plain));
    plugin.OnParamChange(i);
  }

  if (const auto number = ParseFiniteNumber(text)) Check(std::isfinite(*number));
  ParseWholeNumber(text);
  return 0;
}
