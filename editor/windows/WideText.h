#pragma once

#include <string>
#include <string_view>

// UTF-8 (inside the plug-in) to and from the UTF-16 the Windows and WebView2 calls take.
std::wstring Wide(std::string_view utf8);
std::string Narrow(const wchar_t* utf16);  // null: empty
// Narrow, then frees the text with CoTaskMemFree, as WebView2 asks of the strings it hands out.
std::string TakeComText(wchar_t* utf16);
