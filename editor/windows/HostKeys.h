#pragma once

// Posts a key-down of `virtualKey` to the host's window (an HWND), so the host reacts to it (the
// space bar: its transport) while the editor page has the keyboard focus. [UI thread]
bool PostKeyToHostWindow(void* window, int virtualKey);
