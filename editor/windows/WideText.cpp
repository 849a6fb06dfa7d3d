#include "editor/windows/WideText.h"

#include <windows.h>

#include <objbase.h>

#include <cwchar>

#include "host/vst3kit/Strings.h"

// wchar_t is 16 bits on Windows; the copies keep the two character types apart.
std::wstring Wide(std::string_view utf8) {
  const std::u16string text = vst3kit::Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const wchar_t* utf16) {
  if (!utf16) return {};
  const std::u16string text(utf16, utf16 + std::wcslen(utf16));
  return vst3kit::Utf16ToUtf8(text.c_str(), text.size());
}

std::string TakeComText(wchar_t* utf16) {
  std::string text = Narrow(utf16);
  CoTaskMemFree(utf16);
  return text;
}
