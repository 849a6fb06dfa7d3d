#include "host/vst3kit/Parameter.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vst3kit {

Parameter::Parameter(const Steinberg::Vst::ParameterInfo& info)
    : info_(info), value_(std::clamp(info.defaultNormalizedValue, 0.0, 1.0)) {}

bool Parameter::SetNormalized(double normalized) {
  if (std::isnan(normalized)) return false;
  value_.store(std::clamp(normalized, 0.0, 1.0), std::memory_order_relaxed);
  return true;
}

bool Parameter::ToString(double normalized, std::string& text) const {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), ToPlain(normalized),
                                    std::chars_format::fixed, 4);
  text.assign(buffer, result.ptr);
  return true;
}

bool Parameter::FromString(const std::string& text, double& normalized) const {
  double plain = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), plain);
  if (result.ec != std::errc() || !std::isfinite(plain)) return false;
  normalized = std::clamp(ToNormalized(plain), 0.0, 1.0);
  return true;
}

StringListParameter::StringListParameter(const Steinberg::Vst::ParameterInfo& info,
                                         std::vector<std::string> texts)
    : Parameter(info), texts_(std::move(texts)) {
  info_.stepCount = std::max(0, static_cast<Steinberg::int32>(texts_.size()) - 1);
  info_.flags |= Steinberg::Vst::ParameterInfo::kIsList;
}

double StringListParameter::ToPlain(double normalized) const {
  if (!(normalized > 0.0)) return 0.0;
  const double steps = info_.stepCount;
  return std::min(steps, std::floor(std::min(normalized, 1.0) * (steps + 1.0)));
}

double StringListParameter::ToNormalized(double plain) const {
  if (info_.stepCount <= 0 || !(plain > 0.0)) return 0.0;
  return std::min(1.0, std::round(plain) / info_.stepCount);
}

bool StringListParameter::ToString(double normalized, std::string& text) const {
  const auto index = static_cast<size_t>(ToPlain(normalized));
  if (index >= texts_.size()) return false;
  text = texts_[index];
  return true;
}

bool StringListParameter::FromString(const std::string& text, double& normalized) const {
  const auto found = std::find(texts_.begin(), texts_.end(), text);
  if (found == texts_.end()) return false;
  normalized = ToNormalized(static_cast<double>(found - texts_.begin()));
  return true;
}

}  // namespace vst3kit
