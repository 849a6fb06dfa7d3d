#pragma once

#include <memory>
#include <string>

#include "editor/linux/X11Display.h"

// A top-level window of our own for the standalone editor, to embed the page in as a host's
// window would be. [UI thread]
class X11EditorWindow {
 public:
  // Null when no X server answers.
  static std::unique_ptr<X11EditorWindow> Open(const std::string& title, int width, int height);
  ~X11EditorWindow();
  X11EditorWindow(const X11EditorWindow&) = delete;
  X11EditorWindow& operator=(const X11EditorWindow&) = delete;

  X11Window Id() const { return window_; }
  int Fd() const { return display_.Fd(); }
  // Reads the window's events; true once the user asked to close it.
  bool PollClosed();

 private:
  X11EditorWindow() = default;

  X11Display display_;
  X11Window window_ = 0;
  unsigned long deleteAtom_ = 0;
  bool closed_ = false;
};
