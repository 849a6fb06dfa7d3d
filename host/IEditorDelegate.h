#pragma once

// What the framework asks of the plug-in's editor: open and close it in the host's window,
// follow host resizes and scale changes, take keys and parameter values. The defaults do
// nothing (no editor yet). [UI thread]

#include <cstdint>

// A key event, translated to Windows virtual-key terms.
struct KeyPress {
  int32_t vk = 0;        // virtual-key code
  char utf8[5] = {};     // the key's text, up to 4 bytes of UTF-8
  bool shift = false;
  bool control = false;
  bool alt = false;
};

class IEditorDelegate {
 public:
  virtual ~IEditorDelegate() = default;

  virtual void OpenWebView(void* /*parent*/) {}
  virtual void CloseWebView() {}
  virtual void SetWebViewBounds(float /*x*/, float /*y*/, float /*w*/, float /*h*/) {}
  virtual void OnContentScaleChanged(float /*scale*/) {}
  // True when the key was handled.
  virtual bool OnEditorKeyDown(const KeyPress& /*key*/) { return false; }
  virtual bool OnEditorKeyUp(const KeyPress& /*key*/) { return false; }
  // A parameter's new normalised value for the page.
  virtual void SendParameterValueFromDelegate(int /*paramIdx*/, double /*normalized*/) {}
};
