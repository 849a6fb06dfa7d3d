#include "editor/WebViewPaths.h"

namespace web_view_paths {
namespace {

constexpr std::string_view kSeparators = "\\/";

// The path up to its last separator; empty without one.
std::string_view Parent(std::string_view path) {
  const size_t last = path.find_last_of(kSeparators);
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last);
}

std::string Join(std::string_view folder, std::string_view tail) {
  return folder.empty() ? std::string(tail) : std::string(folder) + "\\" + std::string(tail);
}

}  // namespace

std::string LocatePage(std::string_view modulePath,
                       const std::function<bool(const std::string& path)>& exists) {
  const std::string_view folder = Parent(modulePath);
  for (const std::string& candidate : {Join(Parent(folder), "Resources\\web\\index.html"),
                                       Join(folder, "Resources\\web\\index.html"),
                                       Join(folder, "web\\index.html")})
    if (exists(candidate)) return candidate;
  return "index.html";
}

PageRequest RequestFor(std::string_view fileName) {
  const size_t last = fileName.find_last_of(kSeparators);
  PageRequest request;
  if (last != std::string_view::npos && last >= 1) request.folder = fileName.substr(0, last);
  const std::string_view file =
      last == std::string_view::npos ? fileName : fileName.substr(last + 1);
  request.url = "https://" + std::string(kVirtualHost) + "/" + std::string(file);
  if (request.url.size() > kMaxUrlLength) request.url.resize(kMaxUrlLength);
  return request;
}

std::string CachePath(std::string_view appDataFolder) {
  return std::string(appDataFolder) + "\\ZARN\\WebViewCache";
}

}  // namespace web_view_paths
