#pragma once

#include "editor/windows/WebView2Abi.h"

// CreateCoreWebView2EnvironmentWithOptions from WebView2Loader.dll, which ships beside the
// module (Contents\x86_64-win) or lies on the system's search path. Looked up once per process
// and kept loaded; null without the DLL, and the editor then has no web view.
wv2::CreateEnvironmentWithOptionsFunction EnvironmentCreator();
