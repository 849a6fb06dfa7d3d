#include "host/VstKeyTranslation.h"

#include <cstring>

#include "host/vst3/PlugView.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int16_t kVstSpace = 7;
constexpr int16_t kVstEquals = 57;
constexpr int16_t kVstFirstAscii = 128;

// The virtual-key code of a character on the current keyboard layout.
int32_t KeyCodeOfCharacter(char c) {
#if defined(_WIN32)
  return VkKeyScanExA(c, GetKeyboardLayout(0));
#else
  // Windows' codes for letters and digits are their upper-case ASCII values.
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') return c;
  return 0;
#endif
}

// Up to 4 bytes of UTF-8 for one UTF-16 unit (a lone surrogate gives nothing).
void EncodeUtf8(char32_t c, char (&out)[5]) {
  std::memset(out, 0, sizeof(out));
  if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) return;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
  } else if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
  }
}

void SetModifiers(int16_t modifiers, KeyPress& out) {
  out.shift = (modifiers & Steinberg::kShiftKey) != 0;
  out.alt = (modifiers & Steinberg::kAlternateKey) != 0;
  out.control = (modifiers & Steinberg::kCommandKey) != 0;
}

}  // namespace

int32_t WindowsKeyCode(int16_t vstKeyCode, const char* keyText) {
  if (vstKeyCode >= kVstFirstAscii) return vstKeyCode - 80;
  switch (vstKeyCode) {
    case 0:
    case kVstEquals: return keyText && keyText[0] ? KeyCodeOfCharacter(keyText[0]) : 0;
    case 1: return 8;
    case 2: return 9;
    case 3: return 12;
    case 4:
    case 19: return 13;
    case 5: return 19;
    case 6: return 27;
    case kVstSpace: return 32;
    case 8:
    case 16: return 34;
    case 9: return 35;
    case 10: return 36;
    case 15: return 33;
    case 17: return 41;
    case 18: return 42;
    case 20: return 44;
    case 21: return 45;
    case 22: return 46;
    case 23: return 47;
    case 52: return 144;
    case 53: return 145;
    case 54: return 16;
    case 55: return 17;
    case 56: return 18;
    default: break;
  }
  if (vstKeyCode >= 11 && vstKeyCode <= 14) return 37 + (vstKeyCode - 11);   // arrows
  if (vstKeyCode >= 24 && vstKeyCode <= 39) return 96 + (vstKeyCode - 24);   // keypad
  if (vstKeyCode >= 40 && vstKeyCode <= 51) return 112 + (vstKeyCode - 40);  // F1..F12
  return 0;
}

bool TranslateVstKey(char16_t key, int16_t keyCode, int16_t modifiers, bool reaper,
                     KeyPress& out) {
  out = KeyPress();
  SetModifiers(modifiers, out);
  if (reaper) {
    if (keyCode != kVstSpace) return false;
    out.vk = 32;
    out.utf8[0] = ' ';
    return true;
  }
  char32_t c = key;
  if (c == 0 && keyCode >= kVstFirstAscii) c = static_cast<char32_t>((keyCode % 256) - 80);
  if (c == 0 && keyCode == kVstSpace) c = U' ';
  EncodeUtf8(c, out.utf8);
  out.vk = WindowsKeyCode(keyCode, out.utf8);
  return true;
}
