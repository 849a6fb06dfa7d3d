#pragma once

// The controller's parameters in export order (the index of getParameterInfo). Filled while
// the controller initialises [UI thread]; lookups never allocate.

#include <memory>
#include <vector>

#include "host/vst3kit/Parameter.h"

namespace vst3kit {

class ParameterContainer {
 public:
  Parameter* Add(std::unique_ptr<Parameter> parameter);
  void Clear() { parameters_.clear(); }
  Steinberg::int32 Count() const { return static_cast<Steinberg::int32>(parameters_.size()); }
  // Null for an index out of range or an unknown ID.
  Parameter* AtIndex(Steinberg::int32 index) const;
  Parameter* Find(Steinberg::Vst::ParamID id) const;

 private:
  std::vector<std::unique_ptr<Parameter>> parameters_;
};

}  // namespace vst3kit
