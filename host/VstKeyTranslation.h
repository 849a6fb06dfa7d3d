#pragma once

// VST3 key events in the editor's terms (Windows virtual-key codes and UTF-8 text).

#include <cstdint>

#include "host/IEditorDelegate.h"

// The Windows virtual-key code of a VST3 virtual key code; keyText is the key's text (used for
// keys the VST3 code does not name).
int32_t WindowsKeyCode(int16_t vstKeyCode, const char* keyText);

// Builds the key press of a VST3 key event. In REAPER only the space key is passed on (REAPER
// sends its other keys to the page itself): false means the key goes nowhere.
bool TranslateVstKey(char16_t key, int16_t keyCode, int16_t modifiers, bool reaper, KeyPress& out);
