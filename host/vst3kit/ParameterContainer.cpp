#include "host/vst3kit/ParameterContainer.h"

namespace vst3kit {

Parameter* ParameterContainer::Add(std::unique_ptr<Parameter> parameter) {
  parameters_.push_back(std::move(parameter));
  return parameters_.back().get();
}

Parameter* ParameterContainer::AtIndex(Steinberg::int32 index) const {
  return index >= 0 && index < Count() ? parameters_[static_cast<size_t>(index)].get() : nullptr;
}

Parameter* ParameterContainer::Find(Steinberg::Vst::ParamID id) const {
  for (const auto& parameter : parameters_)
    if (parameter->Id() == id) return parameter.get();
  return nullptr;
}

}  // namespace vst3kit
