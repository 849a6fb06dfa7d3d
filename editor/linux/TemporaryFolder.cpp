#include "editor/linux/TemporaryFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <vector>

std::optional<TemporaryFolder> TemporaryFolder::Create(const std::string& prefix) {
  std::error_code error;
  const auto base = std::filesystem::temp_directory_path(error);
  if (error) return std::nullopt;
  std::string pattern = (base / (prefix + "XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkdtemp makes the folder readable by its owner only.
  if (::mkdtemp(buffer.data()) == nullptr) return std::nullopt;
  return TemporaryFolder(std::string(buffer.data()));
}

TemporaryFolder::TemporaryFolder(TemporaryFolder&& other) noexcept : path_(std::move(other.path_)) {
  other.path_.clear();
}

TemporaryFolder& TemporaryFolder::operator=(TemporaryFolder&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

TemporaryFolder::~TemporaryFolder() { Remove(); }

void TemporaryFolder::Remove() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  path_.clear();
}
