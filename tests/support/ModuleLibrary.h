#pragma once

// A plug-in module opened as a host opens it: dlopen on Linux, LoadLibraryW on Windows. The test
// host's only platform-specific part.

#include <string>

namespace testhost {

// Null when the library cannot be loaded; LibraryError() then says why. The path is UTF-8, with
// either separator.
void* OpenLibrary(const std::string& path);
void* FindSymbol(void* library, const char* name);
std::string LibraryError();

// The path as Windows' loader wants it: every '/' a '\'.
std::string WithBackslashes(std::string path);

}  // namespace testhost
