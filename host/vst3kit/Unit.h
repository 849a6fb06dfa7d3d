#pragma once

// One unit (a named group of parameters) of the controller.

#include <string>

#include "host/vst3/UnitInfo.h"
#include "host/vst3kit/Strings.h"

namespace vst3kit {

class Unit {
 public:
  Unit(Steinberg::Vst::UnitID id, Steinberg::Vst::UnitID parent, std::string name,
       Steinberg::Vst::ProgramListID programList = Steinberg::Vst::kNoProgramListId)
      : id_(id), parent_(parent), name_(std::move(name)), programList_(programList) {}

  Steinberg::Vst::UnitID Id() const { return id_; }
  void GetInfo(Steinberg::Vst::UnitInfo& info) const {
    info.id = id_;
    info.parentUnitId = parent_;
    CopyToField(info.name, name_);
    info.programListId = programList_;
  }

 private:
  Steinberg::Vst::UnitID id_;
  Steinberg::Vst::UnitID parent_;
  std::string name_;
  Steinberg::Vst::ProgramListID programList_;
};

}  // namespace vst3kit
