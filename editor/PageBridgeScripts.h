#pragma once

#include <string>
#include <vector>

// The bridge every editor page relies on, added to run at the creation of every document, in
// this order: IFxSendMsg (posts an object to the plug-in), then the key forwarding (keydown and
// keyup as "SKPFUI" unless a text field has the focus). The same on every platform; each web view
// provides window.chrome.webview.postMessage underneath.
namespace page_bridge {

const std::vector<std::string>& Scripts();

}  // namespace page_bridge
