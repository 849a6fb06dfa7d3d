#pragma once

#include <string>

// Hands a web address to the desktop's opener (xdg-open), which shows it in the user's own
// browser. Only addresses that page_input::IsOpenableLink accepts (http:// or https://, plain
// printable ASCII) are handed over, as a single argument and without any shell. Returns whether
// the opener was started; it runs detached, so nothing waits for it. [any thread]
bool OpenInSystemBrowser(const std::string& url);
