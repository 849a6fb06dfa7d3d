#include "editor/windows/WebView2Loader.h"

#include <string>

#include "editor/windows/ModuleFile.h"
#include "editor/windows/WideText.h"
#include "host/ModuleGlobals.h"

namespace {

constexpr const wchar_t* kLoaderName = L"WebView2Loader.dll";

HMODULE LoadLoader() {
  const std::wstring besideModule =
      Wide(FolderOfPath(OwnModulePath(), '\\')) + kLoaderName;
  if (HMODULE module = LoadLibraryExW(besideModule.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
    return module;
  return LoadLibraryW(kLoaderName);
}

wv2::CreateEnvironmentWithOptionsFunction FindCreator() {
  HMODULE loader = LoadLoader();
  if (!loader) return nullptr;
  FARPROC function = GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions");
  return reinterpret_cast<wv2::CreateEnvironmentWithOptionsFunction>(
      reinterpret_cast<void*>(function));
}

}  // namespace

wv2::CreateEnvironmentWithOptionsFunction EnvironmentCreator() {
  static const wv2::CreateEnvironmentWithOptionsFunction creator = FindCreator();
  return creator;
}
