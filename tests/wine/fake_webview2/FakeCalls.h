#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The fake browser's memory of what it was asked, and the answers it still owes. Like WebView2,
// it answers asynchronously: a task runs from the message loop of the thread that first asked
// (the editor's UI thread), once the host pumps its messages.
namespace fake_webview2 {

void Record(std::string line);
int RecordCount();
const char* RecordAt(int index);  // null past the end

void Later(std::function<void()> task);

// UTF-16 from the editor as UTF-8; "(null)" for a null text.
std::string Utf8(const wchar_t* text);
std::string Text(const RECT& rect);  // "left top right bottom"

}  // namespace fake_webview2
