#include "editor/windows/SystemOpener.h"

#include <windows.h>

#include <shellapi.h>

#include "editor/PageInput.h"

bool OpenInSystemBrowser(const std::string& url) {
  if (!page_input::IsOpenableLink(url)) return false;
  // The address is plain ASCII, so the 8-bit call loses nothing.
  const HINSTANCE result = ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}
