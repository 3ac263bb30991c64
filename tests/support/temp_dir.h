// A folder of its own for one test, removed with everything in it afterwards,
// even where the test took away the write permission of a subfolder.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace lozengia::testing {

class TempDir {
 public:
  // `mode` opens the folder to other users, for tests that write in it as an
  // unprivileged user.
  explicit TempDir(const std::string& prefix = "lozengia-test", mode_t mode = 0700) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a temporary folder from " + pattern);
    path_ = pattern;
    ::chmod(path_.c_str(), mode);
  }
  ~TempDir() {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec) && !it->is_symlink(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  std::string str() const { return path_.string(); }

  // How many entries the folder holds: a safe write leaves no temporary file.
  std::size_t entries() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(path_)) ++n;
    return n;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace lozengia::testing
