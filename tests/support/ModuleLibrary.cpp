#include "support/ModuleLibrary.h"

#include <algorithm>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace testhost {

std::string WithBackslashes(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

#if defined(_WIN32)

namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

}  // namespace

void* OpenLibrary(const std::string& path) {
  return LoadLibraryW(Wide(WithBackslashes(path)).c_str());
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string LibraryError() { return "Windows error " + std::to_string(GetLastError()); }

#else

void* OpenLibrary(const std::string& path) {
  return dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
}

void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }

std::string LibraryError() {
  const char* error = dlerror();
  return error ? error : "";
}

#endif

}  // namespace testhost
