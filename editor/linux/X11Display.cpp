#include "editor/linux/X11Display.h"

#include <X11/Xlib.h>

Display* X11Display::Open() { return XOpenDisplay(nullptr); }

bool X11Display::Available() {
  Display* display = Open();
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

int X11Display::Fd() const { return display_ ? ConnectionNumber(display_) : -1; }

X11Display::~X11Display() {
  if (display_) XCloseDisplay(display_);
}

using XErrorHandlerFunction = int (*)(Display*, XErrorEvent*);

namespace {
// The innermost trap; traps nest on the UI thread only.
X11ErrorTrap* gTrap = nullptr;
}  // namespace

struct X11ErrorTrapAccess {
  static int OnError(Display* display, XErrorEvent* error) {
    for (X11ErrorTrap* trap = gTrap; trap; trap = trap->outer_) {
      if (trap->display_ == display) {
        trap->failed_ = true;
        return 0;
      }
    }
    // Not ours: the handler before the outermost trap decides.
    X11ErrorTrap* outermost = gTrap;
    while (outermost && outermost->outer_) outermost = outermost->outer_;
    const auto previous = outermost ? reinterpret_cast<XErrorHandlerFunction>(outermost->previous_) : nullptr;
    return previous ? previous(display, error) : 0;
  }
};

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), outer_(gTrap) {
  XSync(display_, False);  // earlier requests' errors are not ours to catch
  previous_ = reinterpret_cast<void*>(XSetErrorHandler(&X11ErrorTrapAccess::OnError));
  gTrap = this;
}

X11ErrorTrap::~X11ErrorTrap() {
  XSync(display_, False);
  gTrap = outer_;
  XSetErrorHandler(reinterpret_cast<XErrorHandlerFunction>(previous_));
}

bool X11ErrorTrap::Failed() {
  XSync(display_, False);
  return failed_;
}
