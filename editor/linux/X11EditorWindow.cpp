#include "editor/linux/X11EditorWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {
constexpr unsigned long kBackground = 0x1b1d22;
}  // namespace

std::unique_ptr<X11EditorWindow> X11EditorWindow::Open(const std::string& title, int width, int height) {
  std::unique_ptr<X11EditorWindow> window(new X11EditorWindow());
  Display* display = window->display_.Get();
  if (!display) return nullptr;
  X11ErrorTrap trap(display);
  window->window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, 0, kBackground);
  XStoreName(display, window->window_, title.c_str());
  XClassHint hint{const_cast<char*>("zarn"), const_cast<char*>("ZARN")};
  XSetClassHint(display, window->window_, &hint);
  // The window manager asks before it closes the window, so the editor can end in order.
  Atom deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window->window_, &deleteAtom, 1);
  window->deleteAtom_ = deleteAtom;
  XMapWindow(display, window->window_);
  if (trap.Failed()) return nullptr;
  return window;
}

X11EditorWindow::~X11EditorWindow() {
  if (display_ && window_) {
    X11ErrorTrap trap(display_.Get());
    XDestroyWindow(display_.Get(), window_);
  }
}

bool X11EditorWindow::PollClosed() {
  Display* display = display_.Get();
  X11ErrorTrap trap(display);
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ClientMessage && static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom_)
      closed_ = true;
    if (event.type == DestroyNotify && event.xdestroywindow.window == window_) closed_ = true;
  }
  return closed_;
}
