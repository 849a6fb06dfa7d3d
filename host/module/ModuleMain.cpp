// The module's exported functions: the factory, and the entry and exit a host calls around its
// use of the module (ModuleEntry/ModuleExit on Linux, InitDll/ExitDll on Windows).
// Built only into the plug-in module.
#include <memory>
#include <mutex>

#include "core/ZarnClass.h"
#include "host/ModuleGlobals.h"
#include "host/module/ModuleCount.h"
#include "host/vst3kit/PluginFactory.h"

#if defined(_WIN32)
#include <windows.h>

#include "editor/windows/HostKeys.h"
#include "editor/windows/SystemOpener.h"
#include "editor/windows/WebView2Factory.h"
#include "host/EditorTimer.h"
#include "host/IFxAPIBase.h"
#include "host/vst3kit/Strings.h"
#include "host/windows/Win32Timer.h"
#define ZARN_EXPORT extern "C" __declspec(dllexport)
#else
#include <dlfcn.h>

#include "editor/linux/SystemOpener.h"
#include "editor/linux/X11EditorFactory.h"
#include "host/IFxAPIBase.h"
#define ZARN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Recursive: a factory that fails while being made is destroyed with the lock held.
std::recursive_mutex gFactoryLock;
vst3kit::PluginFactory* gFactory = nullptr;
ModuleCount gModuleCount;

// Runs inside the factory's last release, which GetPluginFactory never makes while it holds the
// lock.
void ForgetFactory(vst3kit::PluginFactory* factory) {
  std::lock_guard<std::recursive_mutex> lock(gFactoryLock);
  if (gFactory == factory) gFactory = nullptr;
}

bool InitModule() { return true; }
bool DeinitModule() { return true; }

}  // namespace

// [any thread] The factory with one more reference; the first call creates it.
ZARN_EXPORT Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
  std::lock_guard<std::recursive_mutex> lock(gFactoryLock);
  if (gFactory) {
    gFactory->addRef();
    return gFactory;
  }
  try {
    auto factory = std::make_unique<vst3kit::PluginFactory>(zarn_class::FactoryInfo(), ForgetFactory);
    factory->AddClass(zarn_class::ClassInfo(), zarn_class::CreateInstance);
    gFactory = factory.release();
    return gFactory;
  } catch (...) {
    return nullptr;
  }
}

#if defined(_WIN32)

ZARN_EXPORT bool InitDll() {
  return gModuleCount.Enter([] {
    // The editor: its page in WebView2, its tick on a thread timer, the space bar back to the
    // host's window, links in the user's browser.
    WebViewEditorDelegate::SetWebViewFactory(MakeWebView2WebView);
    SetEditorTimerMaker([] { return std::make_unique<Win32Timer>(); });
    WebViewEditorDelegate::SetKeyForwarder(PostKeyToHostWindow);
    IFxAPIBase::SetLinkOpener(OpenInSystemBrowser);
    return InitModule();
  });
}
ZARN_EXPORT bool ExitDll() { return gModuleCount.Exit(DeinitModule); }

// The wide file name, so that a folder outside the system's code page survives.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetModuleHandle(instance);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    SetModulePath(vst3kit::Utf16ToUtf8(reinterpret_cast<const char16_t*>(path), MAX_PATH));
  }
  return TRUE;
}

#else

// [UI thread] handle: what dlopen returned for this module.
ZARN_EXPORT bool ModuleEntry(void* sharedLibraryHandle) {
  return gModuleCount.Enter([sharedLibraryHandle] {
    SetModuleHandle(sharedLibraryHandle);
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetPluginFactory), &info) && info.dli_fname)
      SetModulePath(info.dli_fname);
    IFxAPIBase::SetLinkOpener(OpenInSystemBrowser);  // the page's links open in the user's browser
    // The editor: its page in Chromium embedded in the host's X11 window, wherever an X server
    // answers; the space bar back to the host's window.
    WebViewEditorDelegate::SetWebViewFactory(MakeX11EmbeddedWebView);
    WebViewEditorDelegate::SetWebViewAvailability(X11EditorAvailable);
    WebViewEditorDelegate::SetKeyForwarder(SendKeyToX11Window);
    return InitModule();
  });
}

ZARN_EXPORT bool ModuleExit() { return gModuleCount.Exit(DeinitModule); }

#endif
