#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Serves the editor page's folder to the browser under one made-up origin, so the page loads
// without any network and without file:// access to the rest of the disk. Only files inside the
// folder can be read: no "..", no escaping symbolic link, nothing but regular files.
// [any thread] Holds no state beyond its folder.
class PageServer {
 public:
  static constexpr std::string_view kOrigin = "https://zarn.editor";
  // Larger files are refused: a file travels to the browser as one base64 message.
  static constexpr uintmax_t kMaxFileSize = uintmax_t{32} << 20;

  struct Response {
    int status = 404;
    std::string contentType;  // empty for anything but 200
    std::string body;
  };

  explicit PageServer(std::filesystem::path folder);

  // The address under which a file at the top of the folder is requested.
  static std::string UrlOf(std::string_view fileName);
  // True for our origin's addresses (whatever the path).
  static bool IsOwnUrl(std::string_view url);

  // The answer to a request: the file's bytes and type, 404 for anything outside the folder or
  // missing, 405 for a method other than GET or HEAD (HEAD gets no body).
  Response Answer(std::string_view method, std::string_view url) const;

  // The folder-relative path a URL names, or nothing when it leaves the folder or is malformed.
  static std::optional<std::string> RelativePath(std::string_view url);
  static std::string ContentTypeOf(const std::filesystem::path& file);

 private:
  std::optional<std::filesystem::path> Resolve(std::string_view url) const;

  std::filesystem::path folder_;  // canonical, empty when the folder does not exist
};
