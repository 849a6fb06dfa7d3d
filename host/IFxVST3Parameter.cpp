#include "host/IFxVST3Parameter.h"

#include <algorithm>
#include <cmath>

#include "host/vst3kit/Strings.h"

using Steinberg::Vst::ParameterInfo;

namespace {

ParameterInfo InfoOf(int index, const IParam& param, Steinberg::Vst::UnitID unit) {
  ParameterInfo info{};
  info.id = static_cast<Steinberg::Vst::ParamID>(index);
  vst3kit::CopyToField(info.title, param.Name());
  vst3kit::CopyToField(info.units, param.UnitText());
  info.stepCount = param.GetKind() == IParam::Kind::Float
                       ? 0
                       : static_cast<Steinberg::int32>(std::lround(param.Max() - param.Min()));
  info.defaultNormalizedValue = param.PlainToNormalized(param.Default());
  info.unitId = unit;
  info.flags = param.CanAutomate() ? ParameterInfo::kCanAutomate : 0;
  if (param.GetKind() == IParam::Kind::Enum) info.flags |= ParameterInfo::kIsList;
  return info;
}

ParameterInfo BypassInfo() {
  ParameterInfo info{};
  info.id = IFxVST3BypassParameter::kId;
  vst3kit::CopyToField(info.title, "Bypass");
  info.defaultNormalizedValue = 0.0;
  info.unitId = Steinberg::Vst::kRootUnitId;
  info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
  return info;
}

}  // namespace

IFxVST3Parameter::IFxVST3Parameter(int index, const IParam& param, Steinberg::Vst::UnitID unit)
    : Parameter(InfoOf(index, param, unit)), param_(param) {}

bool IFxVST3Parameter::ToString(double normalized, std::string& text) const {
  text = param_.FormatDisplay(normalized, true, true);
  return true;
}

bool IFxVST3Parameter::FromString(const std::string& text, double& normalized) const {
  normalized = param_.PlainToNormalized(param_.ParseDisplay(text.c_str()));
  return true;
}

double IFxVST3Parameter::ToPlain(double normalized) const {
  const double n = std::isnan(normalized) ? 0.0 : std::clamp(normalized, 0.0, 1.0);
  return param_.ClampValue(param_.NormalizedToPlain(n));
}

double IFxVST3Parameter::ToNormalized(double plain) const {
  return param_.PlainToNormalized(plain);
}

IFxVST3BypassParameter::IFxVST3BypassParameter()
    : StringListParameter(BypassInfo(), {"off", "on"}) {}
