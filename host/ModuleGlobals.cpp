#include "host/ModuleGlobals.h"

namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

void* gModuleHandle = nullptr;
std::string& Folder() {
  static std::string folder;
  return folder;
}

}  // namespace

void SetModuleHandle(void* handle) { gModuleHandle = handle; }
void* ModuleHandle() { return gModuleHandle; }
void SetModulePath(const std::string& path) { Folder() = FolderOfPath(path, kSeparator); }
const std::string& ModuleFolder() { return Folder(); }

std::string FolderOfPath(const std::string& path, char separator) {
  const size_t last = path.rfind(separator);
  return last == std::string::npos ? path : path.substr(0, last + 1);
}
