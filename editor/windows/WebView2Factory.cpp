#include "editor/windows/WebView2Factory.h"

#include <windows.h>

#include <objbase.h>

#include "editor/WebViewPaths.h"
#include "editor/windows/ModuleFile.h"
#include "editor/windows/WebView2Loader.h"
#include "editor/windows/WebView2WebView.h"
#include "editor/windows/WideText.h"

namespace {

// Any entry counts, as a file system would report it.
bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::unique_ptr<IWebView> MakeWebView2WebView(void* parent, WebViewEditorDelegate& delegate) {
  // WebView2 needs a single-threaded apartment; a host that set one up already answers so.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (!EnvironmentCreator()) return nullptr;
  return std::make_unique<WebView2WebView>(static_cast<HWND>(parent), delegate,
                                           web_view_paths::LocatePage(OwnModulePath(), Exists));
}
