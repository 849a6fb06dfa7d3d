#include "editor/windows/ModuleFile.h"

#include <windows.h>

#include "editor/windows/WideText.h"

std::string OwnModulePath() {
  HMODULE module = nullptr;
  // Any address inside this module names it; the reference count stays as it is.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnModulePath), &module))
    return {};
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return Narrow(path);
}
