#pragma once

#include <string>
#include <vector>

// The scripts the page gets at the creation of every document, in order: our postMessage shim,
// then the bridge every editor page relies on (page_bridge::Scripts).
namespace bridge_scripts {

// The DevTools binding behind window.chrome.webview.postMessage; calls to it arrive as
// Runtime.bindingCalled events carrying the posted object's JSON text.
inline constexpr const char* kBindingName = "__zarnPostMessage";

std::vector<std::string> All();

}  // namespace bridge_scripts
