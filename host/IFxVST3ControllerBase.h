#pragma once

#include <cstdint>
#include <string>

#include "host/vst3/Messages.h"

class IFxVST3View;

// The controller side's own state: what the host told about the mixer channel, and the editor
// view created last. [UI thread]
class IFxVST3ControllerBase {
 public:
  struct ChannelContextInfo {
    std::string name;
    std::string uid;
    int64_t index = 0;
    int64_t color = 0;
    int64_t indexNamespaceOrder = 0;
    std::string indexNamespace;
  };
  const ChannelContextInfo& GetChannelContext() const { return channelContext_; }

  IFxVST3View* CurrentView() const { return currentView_; }
  void SetCurrentView(IFxVST3View* view) { currentView_ = view; }
  // Called by a view that is going away.
  void ForgetView(IFxVST3View* view) {
    if (currentView_ == view) currentView_ = nullptr;
  }

 protected:
  // Takes every entry the list has; strings are UTF-16 of the given length.
  void ReadChannelContext(Steinberg::Vst::IAttributeList& list);

 private:
  ChannelContextInfo channelContext_;
  IFxVST3View* currentView_ = nullptr;
};
