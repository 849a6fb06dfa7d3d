#include "editor/linux/X11EmbeddedView.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

constexpr const char* kStartingText = "Starting the editor page...";
constexpr const char* kStoppedText =
    "The editor page has stopped. ZARN keeps processing; close and open the editor to restart it.";
constexpr unsigned long kNoticeBackground = 0x1b1d22;
constexpr unsigned long kNoticeText = 0xc8ccd4;
// Without an event that tells of a new window, look again every this many polls.
constexpr int kSearchEveryPolls = 10;
constexpr int kSearchDepth = 3;  // root, a window manager's frame, its inner frame

// A window class no other window on the display carries: this process and a counter.
std::string UniqueWindowClass() {
  static std::atomic<unsigned> counter{0};
  return "ZarnEditor-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

bool HasClass(Display* display, Window window, const std::string& windowClass) {
  XClassHint hint{};
  if (!XGetClassHint(display, window, &hint)) return false;
  const bool match = hint.res_class && windowClass == hint.res_class;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return match;
}

// The browser's page window: of our class, drawable (its group leader is input-only) and on
// the screen.
Window FindViewableWindowOfClass(Display* display, Window under, const std::string& windowClass,
                                 int depth) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, under, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = count; i-- > 0 && !found;) {  // topmost first
    const Window window = children[i];
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) continue;
    if (attributes.c_class == InputOutput && attributes.map_state == IsViewable &&
        HasClass(display, window, windowClass))
      found = window;
    else if (depth > 1)
      found = FindViewableWindowOfClass(display, window, windowClass, depth - 1);
  }
  if (children) XFree(children);
  return found;
}

}  // namespace

std::unique_ptr<X11EmbeddedView> X11EmbeddedView::Create(Window parent,
                                                         ChromiumWebView::Callbacks callbacks,
                                                         const std::string& pageFile,
                                                         const Options& options) {
  std::unique_ptr<X11EmbeddedView> view(new X11EmbeddedView(parent, UniqueWindowClass(), options.ownsParent));
  if (!view->display_ || !view->CreateContainer()) return nullptr;
  ChromiumWebView::Options browserOptions;
  browserOptions.browserPath = options.browserPath;
  browserOptions.headless = false;
  browserOptions.width = view->width_;
  browserOptions.height = view->height_;
  browserOptions.showBrowserErrors = options.showBrowserErrors;
  browserOptions.x11WindowClass = view->windowClass_;
  browserOptions.deviceScale = options.contentScale;
  view->browser_ = std::make_unique<ChromiumWebView>(std::move(callbacks), pageFile, browserOptions);
  return view;
}

X11EmbeddedView::X11EmbeddedView(Window parent, const std::string& windowClass, bool ownsParent)
    : parent_(parent), windowClass_(windowClass), noticeText_(kStartingText), ownsParent_(ownsParent) {}

X11EmbeddedView::~X11EmbeddedView() {
  if (display_) {
    X11ErrorTrap trap(display_.Get());
    // Gone from the host's window at once, however long the browser takes to end.
    if (browserWindow_) {
      XUnmapWindow(display_.Get(), browserWindow_);
      XReparentWindow(display_.Get(), browserWindow_, root_, 0, 0);  // it ends with its browser
    }
    if (container_) XDestroyWindow(display_.Get(), container_);
    XSelectInput(display_.Get(), root_, NoEventMask);
    XSelectInput(display_.Get(), parent_, NoEventMask);
  }
  browser_.reset();
}

bool X11EmbeddedView::CreateContainer() {
  Display* display = display_.Get();
  X11ErrorTrap trap(display);
  XWindowAttributes parent{};
  if (!XGetWindowAttributes(display, parent_, &parent)) return false;
  root_ = parent.root;
  width_ = parent.width > 1 ? parent.width : 1440;
  height_ = parent.height > 1 ? parent.height : 604;
  container_ = XCreateSimpleWindow(display, parent_, 0, 0, static_cast<unsigned>(width_),
                                   static_cast<unsigned>(height_), 0, 0, kNoticeBackground);
  XSelectInput(display, container_, ExposureMask | StructureNotifyMask);
  XMapWindow(display, container_);
  // The host's resizes of its window, and new windows on the screen (the browser's).
  XSelectInput(display, parent_, StructureNotifyMask);
  XSelectInput(display, root_, SubstructureNotifyMask);
  return !trap.Failed();
}

void X11EmbeddedView::EvaluateScript(const std::string& utf8Script) {
  if (browser_) browser_->EvaluateScript(utf8Script);
}

void X11EmbeddedView::Reload() {
  if (browser_) browser_->Reload();
}

void X11EmbeddedView::SetContentScale(float scale) {
  if (browser_) browser_->SetDeviceScale(scale);
}

std::vector<int> X11EmbeddedView::EventFds() const {
  std::vector<int> fds{display_.Fd()};
  if (browser_ && browser_->EventFd() >= 0) fds.push_back(browser_->EventFd());
  return fds;
}

// The parent's own size wins over the one asked for: the page always fills the host's window.
// A parent of ours takes the size asked for, and the page follows it.
void X11EmbeddedView::SetBounds(int, int, int width, int height) {
  X11ErrorTrap trap(display_.Get());
  if (ownsParent_ && width > 0 && height > 0) {
    XResizeWindow(display_.Get(), parent_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    return ResizeChildren(width, height);
  }
  XWindowAttributes parent{};
  if (XGetWindowAttributes(display_.Get(), parent_, &parent) && parent.width > 1 && parent.height > 1)
    ResizeChildren(parent.width, parent.height);
  else if (width > 0 && height > 0)
    ResizeChildren(width, height);
}

void X11EmbeddedView::ResizeChildren(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  const auto w = static_cast<unsigned>(width), h = static_cast<unsigned>(height);
  XResizeWindow(display_.Get(), container_, w, h);
  if (browserWindow_) XMoveResizeWindow(display_.Get(), browserWindow_, 0, 0, w, h);
}

void X11EmbeddedView::Poll() {
  {
    X11ErrorTrap trap(display_.Get());
    Display* display = display_.Get();
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      HandleEvent(event);
    }
    if (!browserGone_ && !BrowserAlive()) {
      browserGone_ = true;
      noticeText_ = kStoppedText;
      DrawNotice();
    }
    if (!browserWindow_ && !browserGone_ && (searchWanted_ || ++pollsSinceSearch_ >= kSearchEveryPolls))
      FindAndEmbed();
  }
  if (browser_) browser_->Poll();  // last: one of its callbacks may end this view
}

void X11EmbeddedView::HandleEvent(const _XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.window == container_ && event.xexpose.count == 0) DrawNotice();
      break;
    case ConfigureNotify:
      // The host's window, or our container as a host's embedding socket sizes it.
      if (event.xconfigure.window == parent_ || event.xconfigure.window == container_)
        ResizeChildren(event.xconfigure.width, event.xconfigure.height);
      // The browser may size its window by itself (its start-up size, a restored one): the
      // parent's size stands.
      if (event.xconfigure.window == browserWindow_ && browserWindow_ &&
          (event.xconfigure.width != width_ || event.xconfigure.height != height_))
        XMoveResizeWindow(display_.Get(), browserWindow_, 0, 0, static_cast<unsigned>(width_),
                          static_cast<unsigned>(height_));
      break;
    case UnmapNotify:
      // A browser that hides its window once it is ours (as while it starts) shows it again: the
      // page belongs in the host's window as long as the browser runs.
      if (event.xunmap.window == browserWindow_ && browserWindow_ && BrowserAlive())
        XMapRaised(display_.Get(), browserWindow_);
      break;
    case MapNotify:
    case CreateNotify:
    case ReparentNotify:
      searchWanted_ = true;  // perhaps the browser's window
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == browserWindow_) {
        browserWindow_ = 0;
        browserGone_ = true;
        noticeText_ = kStoppedText;
        DrawNotice();
      }
      break;
    default:
      break;
  }
}

void X11EmbeddedView::FindAndEmbed() {
  searchWanted_ = false;
  pollsSinceSearch_ = 0;
  if (const Window window = FindViewableWindowOfClass(display_.Get(), root_, windowClass_, kSearchDepth))
    Embed(window);
}

void X11EmbeddedView::Embed(Window window) {
  Display* display = display_.Get();
  // Its end and its size as the server sees them; the browser keeps selecting what it needs.
  XSelectInput(display, window, StructureNotifyMask);
  // Into our container, not the host's window itself: a host may redirect what happens to its
  // window's children (an XEmbed socket maps and sizes only the first one, ours).
  XReparentWindow(display, window, container_, 0, 0);
  XMoveResizeWindow(display, window, 0, 0, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
  XMapRaised(display, window);
  browserWindow_ = window;
  XSelectInput(display, root_, NoEventMask);  // no more windows to look out for
}

void X11EmbeddedView::DrawNotice() {
  Display* display = display_.Get();
  if (!container_) return;
  XClearWindow(display, container_);
  GC gc = XCreateGC(display, container_, 0, nullptr);
  XSetForeground(display, gc, kNoticeText);
  XDrawString(display, container_, gc, 24, 36, noticeText_.c_str(), static_cast<int>(noticeText_.size()));
  XFreeGC(display, gc);
}
