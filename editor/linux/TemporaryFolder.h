#pragma once

#include <optional>
#include <string>

// A private folder made fresh under the system's temporary folder ($TMPDIR or /tmp) and removed
// with everything in it when the object goes. Move-only.
class TemporaryFolder {
 public:
  // Nothing when the folder cannot be made.
  static std::optional<TemporaryFolder> Create(const std::string& prefix);

  TemporaryFolder(TemporaryFolder&& other) noexcept;
  TemporaryFolder& operator=(TemporaryFolder&& other) noexcept;
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder();

  const std::string& Path() const { return path_; }
  // Removes the folder now; later calls do nothing.
  void Remove();

 private:
  explicit TemporaryFolder(std::string path) : path_(std::move(path)) {}

  std::string path_;
};
