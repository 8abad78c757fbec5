// Real folders and mounts for the platform tests, removed when the test ends.
#pragma once
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace scaleboot::testing {

// A fresh folder under the system's temporary folder (or under `base` when given).
class TempDir {
 public:
  explicit TempDir(const std::string& base = std::filesystem::temp_directory_path().string()) {
    std::string pattern = base + "/scaleboot-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::filesystem::filesystem_error("mkdtemp", std::error_code(errno, std::generic_category()));
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The folder as a drive root: its path followed by "/".
  std::string root() const { return path_ + "/"; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A tmpfs mounted on a folder of its own for the life of the object; `mounted()` is false when this process
// may not mount.
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::string& options) {
    mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~TmpfsMount() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool mounted() const { return mounted_; }
  bool RemountReadOnly() {
    return ::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace scaleboot::testing
