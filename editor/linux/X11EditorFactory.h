#pragma once

#include <memory>
#include <string>

#include "editor/IWebView.h"
#include "editor/WebViewEditorDelegate.h"

// The Linux editor inside a host: the page in Chromium, embedded in the X11 window the host
// gives (its id passed as the parent pointer's value). Null when no X server answers.
// [UI thread]
std::unique_ptr<IWebView> MakeX11EmbeddedWebView(void* parent, WebViewEditorDelegate& delegate);

// Whether an X server answers (DISPLAY set; XWayland counts). [any thread]
bool X11EditorAvailable();

// The page of a module in `moduleFolder` (ending in "/"): in a bundle the module lies in
// Contents/x86_64-linux, so Contents/Resources/web/index.html comes first, then Resources/web and
// web beside the module. Empty when none exists.
std::string LocateLinuxPage(const std::string& moduleFolder);

// A space bar pressed in the page goes to the host's window as a key press and release, for its
// transport. Only the space key (virtual key 32) is sent. [UI thread]
bool SendKeyToX11Window(void* window, int virtualKey);
