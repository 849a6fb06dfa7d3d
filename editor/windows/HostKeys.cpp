#include "editor/windows/HostKeys.h"

#include <windows.h>

bool PostKeyToHostWindow(void* window, int virtualKey) {
  return PostMessageA(static_cast<HWND>(window), WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 0) != FALSE;
}
