#include "x11/X11TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace testhost {

using Clock = std::chrono::steady_clock;

namespace {
// A child window of another client may vanish between two requests; a host lives with that.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }
}  // namespace

HostWindow::HostWindow(int width, int height, int x, int y) {
  XSetErrorHandler(IgnoreXError);
  display_ = XOpenDisplay(nullptr);
  if (!display_) return;
  const int screen = DefaultScreen(display_);
  window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), x, y, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, 0, kBackground);
  XStoreName(display_, window_, "ZARN test host");
  XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask);
  XMapWindow(display_, window_);
  XSync(display_, False);
}

HostWindow::~HostWindow() {
  if (!display_) return;
  if (window_) XDestroyWindow(display_, window_);
  XCloseDisplay(display_);
}

void HostWindow::Resize(int width, int height) {
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (plug_) XResizeWindow(display_, plug_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XSync(display_, False);
}

void HostWindow::Size(int& width, int& height) const {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window_, &attributes);
  width = attributes.width;
  height = attributes.height;
}

HostWindow::Image HostWindow::Grab() const { return GrabWindow(display_, window_); }

HostWindow::Image GrabWindow(_XDisplay* display, unsigned long window) {
  HostWindow::Image image;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return image;
  XImage* shot = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                           static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!shot) return image;
  image.width = attributes.width;
  image.height = attributes.height;
  image.pixels.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) image.pixels.push_back(static_cast<uint32_t>(XGetPixel(shot, x, y) & 0xffffff));
  XDestroyImage(shot);
  return image;
}

unsigned long FindTopLevelOfClass(_XDisplay* display, const std::string& windowClass) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  unsigned long found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    XClassHint hint{};
    if (!XGetClassHint(display, children[i], &hint)) continue;
    if (hint.res_class && windowClass == hint.res_class) found = children[i];
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  if (children) XFree(children);
  return found;
}

unsigned long FirstChildWindow(_XDisplay* display, unsigned long window) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  const unsigned long first = count > 0 ? children[0] : 0;
  if (children) XFree(children);
  return first;
}

unsigned ChildWindowCount(_XDisplay* display, unsigned long window) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  if (children) XFree(children);
  return count;
}

double HostWindow::Image::Share(uint32_t colour) const {
  if (pixels.empty()) return 1.0;
  return static_cast<double>(std::count(pixels.begin(), pixels.end(), colour)) / static_cast<double>(pixels.size());
}

int HostWindow::Image::DistinctColours() const {
  return static_cast<int>(std::set<uint32_t>(pixels.begin(), pixels.end()).size());
}

int HostWindow::Image::DifferentPixels(const Image& other) const {
  if (other.pixels.size() != pixels.size()) return static_cast<int>(pixels.size());
  int n = 0;
  for (size_t i = 0; i < pixels.size(); ++i) n += pixels[i] != other.pixels[i];
  return n;
}

namespace {
void PutChunk(std::ofstream& out, const char* type, const std::string& data) {
  const auto be32 = [&out](uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    out.write(b, 4);
  };
  be32(static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out.write(body.data(), static_cast<std::streamsize>(body.size()));
  be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}
}  // namespace

bool HostWindow::Image::WritePng(const std::string& path) const {
  if (pixels.empty()) return false;
  std::string raw;
  raw.reserve(pixels.size() * 3 + static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
      raw.push_back(static_cast<char>(p >> 16));
      raw.push_back(static_cast<char>(p >> 8));
      raw.push_back(static_cast<char>(p));
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK)
    return false;
  packed.resize(size);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write("\x89PNG\r\n\x1a\n", 8);
  std::string header(13, '\0');
  const auto put32 = [&header](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
  };
  put32(0, static_cast<uint32_t>(width));
  put32(4, static_cast<uint32_t>(height));
  header[8] = 8;  // bits per channel
  header[9] = 2;  // RGB
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", "");
  return static_cast<bool>(out);
}

bool HostWindow::PageWindowFills() const {
  int width = 0, height = 0;
  Size(width, height);
  const std::vector<Child> ours = Children();
  if (ours.size() != 1 || ours[0].width != width || ours[0].height != height) return false;
  for (const Child& page : ChildrenOf(ours[0].id))
    if (page.mapped && page.width == width && page.height == height) return true;
  return false;
}

std::vector<HostWindow::Child> HostWindow::ChildrenOf(unsigned long window) const {
  std::vector<Child> result;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return result;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, children[i], &attributes)) continue;
    result.push_back({children[i], attributes.map_state == IsViewable, attributes.width, attributes.height});
  }
  if (children) XFree(children);
  return result;
}

void HostWindow::RedirectChildrenLikeASocket() {
  socket_ = true;
  XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | SubstructureRedirectMask);
  XSync(display_, False);
}

void HostWindow::DrainEvents() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == KeyPress && event.xkey.send_event) sentKeys.push_back(XLookupKeysym(&event.xkey, 0));
    if (!socket_) continue;
    if (event.type == MapRequest) {
      if (!plug_) plug_ = event.xmaprequest.window;
      if (event.xmaprequest.window == plug_) XMapWindow(display_, plug_);
    } else if (event.type == ConfigureRequest && event.xconfigurerequest.window == plug_) {
      int width = 0, height = 0;
      Size(width, height);
      XMoveResizeWindow(display_, plug_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    }
  }
}

tresult PLUGIN_API PollRunLoop::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  fds_.push_back({handler, fd});
  return kResultOk;
}

tresult PLUGIN_API PollRunLoop::unregisterEventHandler(Linux::IEventHandler* handler) {
  const auto before = fds_.size();
  fds_.erase(std::remove_if(fds_.begin(), fds_.end(), [handler](const Fd& f) { return f.handler == handler; }),
             fds_.end());
  return fds_.size() < before ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API PollRunLoop::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) {
  if (!handler || ms == 0) return kInvalidArgument;
  const std::chrono::milliseconds interval(ms);
  timers_.push_back({handler, interval, Clock::now() + interval});
  return kResultOk;
}

tresult PLUGIN_API PollRunLoop::unregisterTimer(Linux::ITimerHandler* handler) {
  const auto before = timers_.size();
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [handler](const Timer& t) { return t.handler == handler; }),
                timers_.end());
  return timers_.size() < before ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API PollRunLoop::resizeView(IPlugView* view, ViewRect* newSize) {
  if (!view || !newSize) return kInvalidArgument;
  resizes.push_back(*newSize);
  window_.Resize(newSize->getWidth(), newSize->getHeight());
  return view->onSize(newSize);
}

// One round: wait for a descriptor or the next timer, then call what is due. A handler may
// unregister itself or others, so each is looked up again before it is called.
void PollRunLoop::RunOnce(std::chrono::milliseconds wait) {
  auto now = Clock::now();
  for (const Timer& t : timers_)
    wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(std::max(t.next - now, Clock::duration(0))));
  std::vector<pollfd> polled;
  for (const Fd& f : fds_) polled.push_back({f.fd, POLLIN, 0});
  ::poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
  const std::vector<Fd> registered = fds_;
  for (size_t i = 0; i < polled.size(); ++i) {
    if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const bool still = std::any_of(fds_.begin(), fds_.end(), [&](const Fd& f) {
      return f.handler == registered[i].handler && f.fd == registered[i].fd;
    });
    if (still) registered[i].handler->onFDIsSet(registered[i].fd);
  }
  now = Clock::now();
  const std::vector<Timer> timers = timers_;
  for (const Timer& due : timers) {
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.handler == due.handler; });
    if (it == timers_.end() || it->next > now) continue;
    it->next = now + it->interval;
    due.handler->onTimer();
  }
  window_.DrainEvents();
}

bool PollRunLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                           const std::function<void()>& each) {
  const auto deadline = Clock::now() + limit;
  auto nextEach = Clock::now();
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    RunOnce(std::chrono::milliseconds(10));
    if (each && Clock::now() >= nextEach) {
      each();
      nextEach += std::chrono::milliseconds(10);
    }
  }
  return true;
}

void PollRunLoop::RunFor(std::chrono::milliseconds span, const std::function<void()>& each) {
  RunUntil([] { return false; }, span, each);
}

namespace {
// Fields of /proc/PID/stat after the command name: state, ppid, pgrp.
bool ReadStat(pid_t pid, pid_t& parent, pid_t& group) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(text.substr(close + 1));
  char state = 0;
  rest >> state >> parent >> group;
  return static_cast<bool>(rest);
}

template <class Keep>
std::vector<pid_t> ScanProcesses(Keep keep) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    pid_t parent = 0, group = 0;
    if (pid > 0 && ReadStat(pid, parent, group) && keep(pid, parent, group)) found.push_back(pid);
  }
  closedir(proc);
  return found;
}
}  // namespace

std::vector<pid_t> ChildProcesses() { return ScanChildrenOf(::getpid()); }

std::vector<pid_t> ScanChildrenOf(pid_t parent) {
  return ScanProcesses([parent](pid_t, pid_t ppid, pid_t) { return ppid == parent; });
}

std::vector<pid_t> ProcessesInGroups(const std::vector<pid_t>& groups) {
  return ScanProcesses([&groups](pid_t, pid_t, pid_t group) {
    return std::find(groups.begin(), groups.end(), group) != groups.end();
  });
}

long ResidentKilobytes() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace testhost
