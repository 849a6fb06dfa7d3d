#pragma once

#include <windows.h>

#include <vector>

// The window a host gives the editor: hidden and borderless, so that its client area is exactly
// the size asked for.
class HostWindow {
 public:
  HostWindow(int width, int height);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Handle() const { return window_; }
  RECT Client() const;

 private:
  HWND window_;
};

// What passed through the thread's message queue while it was pumped.
struct Pumped {
  int threadTimerTicks = 0;          // WM_TIMER without a window: thread timers
  std::vector<WPARAM> keysToWindow;  // WM_KEYDOWN posted to the watched window
};

// Runs the thread's message loop for `milliseconds`, as a host's UI thread would: the browser's
// answers and the timers run from here.
Pumped PumpMessages(int milliseconds, HWND watched = nullptr);
