#pragma once

#include <functional>
#include <string>
#include <string_view>

// Where the Windows web view finds the editor page and keeps its browser data. Paths are
// Windows paths in UTF-8; pure text work, so it is checked on every platform.
namespace web_view_paths {

// The one host name the page folder is served under, for mapping and navigation alike.
inline constexpr std::string_view kVirtualHost = "zarn.editor";
inline constexpr size_t kMaxUrlLength = 2048;

// The page of the module at `modulePath` (the module file itself): in a bundle the module lies in
// Contents\x86_64-win, so Contents\Resources\web\index.html comes first, then Resources\web and web
// beside the module. The first candidate `exists` accepts; "index.html" when none does.
std::string LocatePage(std::string_view modulePath,
                       const std::function<bool(const std::string& path)>& exists);

// What LoadFile does with a page path: the folder mapped to the virtual host (empty when the
// path has no separator after its first character) and the address navigated to.
struct PageRequest {
  std::string folder;
  std::string url;
};
PageRequest RequestFor(std::string_view fileName);

// The browser's user-data folder under the user's application-data folder.
std::string CachePath(std::string_view appDataFolder);

}  // namespace web_view_paths
