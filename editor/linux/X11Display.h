#pragma once

// Xlib's macros (None, Bool, KeyPress...) would collide with our names: only the cpp files that
// need them include Xlib.
struct _XDisplay;
using X11Window = unsigned long;  // an X window id (Xlib's Window)

// A connection of our own to the X server named by DISPLAY, never the host's: the host's
// toolkit owns its connection and its threads. [UI thread]
class X11Display {
 public:
  // Null when no X server can be reached (no DISPLAY, a Wayland session without XWayland).
  static _XDisplay* Open();
  static bool Available();

  X11Display() : display_(Open()) {}
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  _XDisplay* Get() const { return display_; }
  explicit operator bool() const { return display_ != nullptr; }
  int Fd() const;

 private:
  _XDisplay* display_;
};

// Collects the X errors our connection causes between construction and Failed() or the end of
// the scope, instead of the process-wide handler (Xlib's default one ends the process, and a
// window of another process may vanish at any moment). Errors of other connections still go to
// the handler that was installed before. [UI thread]
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(_XDisplay* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

  // Waits for the server to answer everything sent so far; true if any of it failed.
  bool Failed();

 private:
  friend struct X11ErrorTrapAccess;
  _XDisplay* display_;
  X11ErrorTrap* outer_;
  void* previous_;  // the handler installed before, as Xlib's handler type
  bool failed_ = false;
};
