#pragma once

// What a Linux VST3 host does around a plug-in's editor, on an X server of the test's own (Xvfb):
// a top-level window to embed into, a run loop of poll() over registered descriptors and timers
// that is also the view's frame, and pictures of the window.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/vst3/Vst3.h"
#include "support/Vst3HostObjects.h"

struct _XDisplay;

namespace testhost {

// The host's window, on the host's own X connection.
class HostWindow {
 public:
  static constexpr uint32_t kBackground = 0xff00ff;  // no page draws this

  HostWindow(int width, int height, int x = 0, int y = 0);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  bool Ok() const { return display_ != nullptr && window_ != 0; }
  unsigned long Id() const { return window_; }
  _XDisplay* Connection() const { return display_; }
  void Resize(int width, int height);
  void Size(int& width, int& height) const;

  struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, row by row
    double Share(uint32_t colour) const;
    int DistinctColours() const;
    int DifferentPixels(const Image& other) const;
    bool WritePng(const std::string& path) const;
  };
  Image Grab() const;

  // The window's children: id, mapped, size.
  struct Child {
    unsigned long id;
    bool mapped;
    int width, height;
  };
  std::vector<Child> Children() const { return ChildrenOf(window_); }
  std::vector<Child> ChildrenOf(unsigned long window) const;
  // The editor's container fills the window and holds a mapped page window as large as itself.
  bool PageWindowFills() const;

  // Takes over what other clients do to the window's children, as an XEmbed socket (GTK's, in
  // Ardour) does: only the first child is mapped and sized, always to the window's size.
  void RedirectChildrenLikeASocket();

  // Reads what the host's connection received; keeps the key symbols of key presses that a
  // client sent to the window (as the plug-in forwards the space bar).
  void DrainEvents();
  std::vector<unsigned long> sentKeys;

 private:
  _XDisplay* display_ = nullptr;
  unsigned long window_ = 0;
  bool socket_ = false;
  unsigned long plug_ = 0;  // the child a socket manages
};

// A picture of any window; empty when it cannot be taken.
HostWindow::Image GrabWindow(_XDisplay* display, unsigned long window);
// A child of the root window of this window class (the second WM_CLASS string), else 0.
unsigned long FindTopLevelOfClass(_XDisplay* display, const std::string& windowClass);
unsigned ChildWindowCount(_XDisplay* display, unsigned long window);
unsigned long FirstChildWindow(_XDisplay* display, unsigned long window);

// Run loop and frame in one object, as some hosts offer them.
class PollRunLoop : public HostObject<Linux::IRunLoop, IPlugFrame> {
 public:
  PollRunLoop(HostWindow& window) : window_(window) {}

  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) override;
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override;
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override;
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override;
  // The host grants every size the view asks for: its window follows, then the view learns it.
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override;

  // Runs the loop until `done` or `limit`; `each` runs every 10 ms (audio). False on timeout.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                const std::function<void()>& each = {});
  void RunFor(std::chrono::milliseconds span, const std::function<void()>& each = {});

  size_t Handlers() const { return fds_.size(); }
  size_t Timers() const { return timers_.size(); }
  std::vector<ViewRect> resizes;

 private:
  struct Fd {
    Linux::IEventHandler* handler;
    int fd;
  };
  struct Timer {
    Linux::ITimerHandler* handler;
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point next;
  };
  void RunOnce(std::chrono::milliseconds wait);

  HostWindow& window_;
  std::vector<Fd> fds_;
  std::vector<Timer> timers_;
};

// Processes of ours: the direct children of this process, and every process in their groups.
std::vector<pid_t> ChildProcesses();
std::vector<pid_t> ScanChildrenOf(pid_t parent);
std::vector<pid_t> ProcessesInGroups(const std::vector<pid_t>& groups);
long ResidentKilobytes();

}  // namespace testhost
