#pragma once

#include <string>

// Hands a web address to the shell, which shows it in the user's browser. Only addresses that
// page_input::IsOpenableLink accepts (http:// or https://, plain printable ASCII) are handed over.
// Returns whether the shell took it. [UI thread]
bool OpenInSystemBrowser(const std::string& url);
