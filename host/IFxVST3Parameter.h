#pragma once

// The controller's view of the parameters: each plug-in parameter exported under its index,
// and the host-bypass switch. [UI thread]

#include "host/IParam.h"
#include "host/vst3kit/Parameter.h"

// Wraps one IParam: texts, units, steps and conversions come from it.
class IFxVST3Parameter : public vst3kit::Parameter {
 public:
  IFxVST3Parameter(int index, const IParam& param, Steinberg::Vst::UnitID unit);

  bool ToString(double normalized, std::string& text) const override;
  bool FromString(const std::string& text, double& normalized) const override;
  double ToPlain(double normalized) const override;
  double ToNormalized(double plain) const override;

 private:
  const IParam& param_;
};

// "Bypass", ID 65536: the host's own bypass, passed around the plug-in in processing.
class IFxVST3BypassParameter : public vst3kit::StringListParameter {
 public:
  static constexpr Steinberg::Vst::ParamID kId = 0x10000;
  IFxVST3BypassParameter();
};
