#pragma once

#include "editor/windows/ComRef.h"
#include "editor/windows/WebView2Abi.h"

// The options the editor's browser environment is created with: our pinned runtime version,
// no single sign-on with the system account, no exclusive user-data folder, the system's crash
// reporting. A COM object of our own, since the loader only reads it through its interfaces.
ComRef<wv2::ICoreWebView2EnvironmentOptions> MakeEnvironmentOptions();
