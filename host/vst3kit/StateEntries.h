#pragma once

// IComponent and IEditController both declare getState and setState with the same signature, so
// one C++ override would answer both. These two adapters give each interface its own entry:
// the host's controller-state calls never reach the component's state.

#include "host/vst3/Component.h"
#include "host/vst3/EditController.h"

namespace vst3kit {

class ComponentStateEntry : public Steinberg::Vst::IComponent {
 public:
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) final {
    return ReadComponentState(state);
  }
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) final {
    return WriteComponentState(state);
  }

 protected:
  virtual Steinberg::tresult ReadComponentState(Steinberg::IBStream* state) = 0;
  virtual Steinberg::tresult WriteComponentState(Steinberg::IBStream* state) = 0;
};

class ControllerStateEntry : public Steinberg::Vst::IEditController {
 public:
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) final {
    return ReadControllerState(state);
  }
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) final {
    return WriteControllerState(state);
  }

 protected:
  virtual Steinberg::tresult ReadControllerState(Steinberg::IBStream* state) = 0;
  virtual Steinberg::tresult WriteControllerState(Steinberg::IBStream* state) = 0;
};

}  // namespace vst3kit
