#pragma once

#include <windows.h>

#include <functional>

#include "host/EditorTimer.h"

// A thread timer without a window (SetTimer with a timer procedure): it fires from the message
// loop of the thread that started it, the host's UI thread, and needs nothing from the host.
// Every live timer of the process is listed under one critical section; the timer procedure
// finds its timer there by id and runs the tick while holding it, so a timer that is stopped
// (on any thread) never ticks again, and a stray tick for it does nothing.
class Win32Timer final : public EditorTimer {
 public:
  ~Win32Timer() override;

  // `context` is not needed. A running timer is stopped first.
  bool Start(Steinberg::FUnknown* context, unsigned milliseconds, std::function<void()> onTick) override;
  void Stop() override;
  bool Running() const override { return id_ != 0; }

 private:
  static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

  UINT_PTR id_ = 0;
  std::function<void()> onTick_;
};
