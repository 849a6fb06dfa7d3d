#include "editor/linux/X11EditorFactory.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdint>
#include <filesystem>

#include "editor/linux/X11EmbeddedView.h"
#include "host/ModuleGlobals.h"

namespace {
constexpr int kSpaceKey = 32;

Window AsWindow(void* parent) { return static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent)); }

XKeyEvent KeyEventFor(Display* display, Window window, int type) {
  XKeyEvent key{};
  key.type = type;
  key.display = display;
  key.window = window;
  key.root = DefaultRootWindow(display);
  key.time = CurrentTime;
  key.same_screen = True;
  key.keycode = XKeysymToKeycode(display, XK_space);
  return key;
}
}  // namespace

std::unique_ptr<IWebView> MakeX11EmbeddedWebView(void* parent, WebViewEditorDelegate& delegate) {
  if (!parent) return nullptr;
  ChromiumWebView::Callbacks callbacks;
  callbacks.onPageMessage = [&delegate](const std::string& json) { delegate.OnPageMessage(json); };
  callbacks.onPageLoaded = [&delegate] { delegate.OnPageLoaded(); };
  X11EmbeddedView::Options options;
  options.contentScale = delegate.ContentScale();
  return X11EmbeddedView::Create(AsWindow(parent), std::move(callbacks), LocateLinuxPage(ModuleFolder()),
                                 options);
}

bool X11EditorAvailable() { return X11Display::Available(); }

std::string LocateLinuxPage(const std::string& moduleFolder) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(moduleFolder).parent_path();
  for (const fs::path& candidate : {folder.parent_path() / "Resources/web/index.html",
                                    folder / "Resources/web/index.html", folder / "web/index.html"}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return fs::weakly_canonical(candidate, error).string();
  }
  return {};
}

// Sent to the host's window and passed up to the first of its ancestors that takes keys, as a
// key the user typed there would be.
bool SendKeyToX11Window(void* window, int virtualKey) {
  if (virtualKey != kSpaceKey || !window) return false;
  X11Display display;
  if (!display) return false;
  X11ErrorTrap trap(display.Get());
  for (const auto& [type, mask] : {std::pair{KeyPress, KeyPressMask}, std::pair{KeyRelease, KeyReleaseMask}}) {
    XEvent event{};
    event.xkey = KeyEventFor(display.Get(), AsWindow(window), type);
    XSendEvent(display.Get(), AsWindow(window), True, mask, &event);
  }
  return !trap.Failed();
}
