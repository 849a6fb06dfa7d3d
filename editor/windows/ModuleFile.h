#pragma once

#include <string>

// The full path of the module that holds this code (the plug-in, not the host's program), in
// UTF-8; empty if Windows cannot tell.
std::string OwnModulePath();
