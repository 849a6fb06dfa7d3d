#pragma once

// The run loop a Linux host offers its plug-ins (through the factory's host context and the
// plug frame): file-descriptor and timer callbacks on the host's UI thread.

#include "host/vst3/FUnknown.h"

namespace Steinberg::Linux {

using FileDescriptor = int;
using TimerInterval = uint64;

class IEventHandler : public FUnknown {
 public:
  virtual void PLUGIN_API onFDIsSet(FileDescriptor fd) = 0;
  static constexpr Iid iid = MakeIid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
};

class ITimerHandler : public FUnknown {
 public:
  virtual void PLUGIN_API onTimer() = 0;
  static constexpr Iid iid = MakeIid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
};

class IRunLoop : public FUnknown {
 public:
  virtual tresult PLUGIN_API registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
  virtual tresult PLUGIN_API unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult PLUGIN_API registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
  virtual tresult PLUGIN_API unregisterTimer(ITimerHandler* handler) = 0;
  static constexpr Iid iid = MakeIid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
};

}  // namespace Steinberg::Linux
