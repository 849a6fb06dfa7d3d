#include "editor/linux/PageServer.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes decoded; nothing for a broken escape or an encoded NUL.
std::optional<std::string> PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return decoded;
}

// Every segment a plain name: no empty, "." or ".." segment, no backslash or control byte.
bool IsPlainRelativePath(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string_view segment = path.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    start = end + 1;
  }
  return std::none_of(path.begin(), path.end(), [](char c) {
    return c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

bool IsInside(const fs::path& file, const fs::path& folder) {
  const auto [folderEnd, fileIt] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
  return folderEnd == folder.end() && fileIt != file.end();
}

std::optional<std::string> ReadWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

PageServer::PageServer(fs::path folder) {
  std::error_code error;
  folder_ = fs::canonical(folder, error);
  if (error || !fs::is_directory(folder_, error)) folder_.clear();
}

std::string PageServer::UrlOf(std::string_view fileName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = std::string(kOrigin) + "/";
  for (const char c : fileName) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
      url.push_back(c);
    } else {
      url += '%';
      url += kHex[u >> 4];
      url += kHex[u & 15];
    }
  }
  return url;
}

bool PageServer::IsOwnUrl(std::string_view url) {
  return url.size() > kOrigin.size() && url.substr(0, kOrigin.size()) == kOrigin &&
         url[kOrigin.size()] == '/';
}

std::optional<std::string> PageServer::RelativePath(std::string_view url) {
  if (!IsOwnUrl(url)) return std::nullopt;
  std::string_view path = url.substr(kOrigin.size() + 1);
  path = path.substr(0, path.find_first_of("?#"));
  auto decoded = PercentDecode(path);
  if (!decoded) return std::nullopt;
  if (decoded->empty()) return std::string("index.html");
  if (!IsPlainRelativePath(*decoded)) return std::nullopt;
  return decoded;
}

std::optional<fs::path> PageServer::Resolve(std::string_view url) const {
  if (folder_.empty()) return std::nullopt;
  const auto relative = RelativePath(url);
  if (!relative) return std::nullopt;
  std::error_code error;
  // Symbolic links are followed, and what they reach must still lie inside the folder.
  const fs::path file = fs::canonical(folder_ / *relative, error);
  if (error || !IsInside(file, folder_) || !fs::is_regular_file(file, error)) return std::nullopt;
  const auto size = fs::file_size(file, error);
  if (error || size > kMaxFileSize) return std::nullopt;
  return file;
}

PageServer::Response PageServer::Answer(std::string_view method, std::string_view url) const {
  if (method != "GET" && method != "HEAD") return {405, {}, {}};
  const auto file = Resolve(url);
  if (!file) return {};
  auto bytes = ReadWholeFile(*file);
  if (!bytes) return {};
  if (method == "HEAD") bytes->clear();
  return {200, ContentTypeOf(*file), std::move(*bytes)};
}

std::string PageServer::ContentTypeOf(const fs::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {".html", "text/html; charset=utf-8"},  {".htm", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"}, {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},    {".json", "application/json"},
      {".map", "application/json"},           {".txt", "text/plain; charset=utf-8"},
      {".svg", "image/svg+xml"},              {".png", "image/png"},
      {".jpg", "image/jpeg"},                 {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},                  {".webp", "image/webp"},
      {".ico", "image/x-icon"},               {".woff", "font/woff"},
      {".woff2", "font/woff2"},               {".ttf", "font/ttf"},
      {".otf", "font/otf"},                   {".wasm", "application/wasm"},
  };
  for (const auto& [ext, type] : kTypes)
    if (extension == ext) return std::string(type);
  return "application/octet-stream";
}
