#include "host/EditorTimer.h"

#include "host/RunLoopTimer.h"

namespace {
EditorTimerMaker& Maker() {
  static EditorTimerMaker maker;
  return maker;
}
}  // namespace

void SetEditorTimerMaker(EditorTimerMaker maker) { Maker() = std::move(maker); }

std::unique_ptr<EditorTimer> MakeEditorTimer() {
  if (Maker())
    if (auto timer = Maker()()) return timer;
  return std::make_unique<RunLoopTimer>();
}
