#pragma once

// The editor view the host asks the controller for: size negotiation, content scale, the host's
// frame and key events, all forwarded to the plug-in's editor delegate. The web view opens only
// in a window of the platform type it supports: "HWND" on Windows, "X11EmbedWindowID" on Linux
// while an X server answers. On Linux the web view's descriptors, and the editor timer when the
// host offered no run loop before, go on the run loop of the host's frame while the view is
// attached. Every method runs on the host's UI thread.

#include "host/RunLoopEvents.h"
#include "host/vst3/PlugView.h"
#include "host/vst3kit/Interfaces.h"

class IFxVST3;

class IFxVST3View final : public Steinberg::IPlugView, public Steinberg::IPlugViewContentScaleSupport {
 public:
  // Holds a reference on the owner for its whole life.
  explicit IFxVST3View(IFxVST3& owner);
  ~IFxVST3View();
  IFxVST3View(const IFxVST3View&) = delete;
  IFxVST3View& operator=(const IFxVST3View&) = delete;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API removed() override;
  Steinberg::tresult PLUGIN_API onWheel(float distance) override;
  Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override;
  Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                        Steinberg::int16 modifiers) override;
  Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override;
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
  Steinberg::tresult PLUGIN_API onFocus(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override;
  Steinberg::tresult PLUGIN_API canResize() override;
  Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;

  Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

  // Asks the host's frame to give the view width x height logical pixels at the current scale.
  void RequestHostResize(int width, int height);
  float ContentScale() const { return scale_; }
  const Steinberg::ViewRect& LastHostRect() const { return rect_; }

 private:
  Steinberg::ViewRect Scaled(int width, int height) const;
  void WatchHostRunLoop();
  void StopWatchingHostRunLoop();
  Steinberg::tresult OnKey(bool down, Steinberg::char16 key, Steinberg::int16 keyCode,
                           Steinberg::int16 modifiers);

  vst3kit::RefCount refs_;
  IFxVST3& owner_;
  Steinberg::ViewRect rect_{};
  float scale_ = 1.0f;
  vst3kit::Ptr<Steinberg::IPlugFrame> frame_;
  bool attached_ = false;
  RunLoopEvents webViewEvents_;
  bool timerFromFrame_ = false;  // the view started the editor timer and stops it again
};
