#pragma once

#include <functional>
#include <memory>

#include "host/vst3/FUnknown.h"

// The editor's 20 ms tick on the thread that created the plug-in (the host's UI thread). A Linux
// host lends its run loop through a context it offers; a Windows thread timer needs none. The
// module picks the kind once; each plug-in instance makes its own. [UI thread]
class EditorTimer {
 public:
  virtual ~EditorTimer() = default;

  // Starts ticking; `context` is what the host offered (factory context or plug frame), possibly
  // null. False when this kind of timer cannot run there.
  virtual bool Start(Steinberg::FUnknown* context, unsigned milliseconds,
                     std::function<void()> onTick) = 0;
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
};

using EditorTimerMaker = std::function<std::unique_ptr<EditorTimer>()>;

// Replaces the kind of timer later instances get; none (the default): the host's run loop.
void SetEditorTimerMaker(EditorTimerMaker maker);
std::unique_ptr<EditorTimer> MakeEditorTimer();
