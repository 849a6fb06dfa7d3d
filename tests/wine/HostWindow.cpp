#include "HostWindow.h"

HostWindow::HostWindow(int width, int height)
    : window_(CreateWindowExW(0, L"STATIC", L"ZARN test host", WS_POPUP, 0, 0, width, height,
                              nullptr, nullptr, nullptr, nullptr)) {}

HostWindow::~HostWindow() {
  if (window_) DestroyWindow(window_);
}

RECT HostWindow::Client() const {
  RECT client{};
  GetClientRect(window_, &client);
  return client;
}

Pumped PumpMessages(int milliseconds, HWND watched) {
  Pumped pumped;
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_TIMER && !message.hwnd) ++pumped.threadTimerTicks;
      if (message.message == WM_KEYDOWN && watched && message.hwnd == watched)
        pumped.keysToWindow.push_back(message.wParam);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
  return pumped;
}
