// Temporary folders and whole-file reads and writes for the platform tests, through the C++ library rather
// than the layer under test.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/Win32Platform.h"

namespace scaleboot::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    // Process ids are reused, and a folder left by an interrupted run may still be there: take a new name
    // until one is created here.
    for (;;) {
      path_ = base / ("scaleboot-" + std::to_string(::GetCurrentProcessId()) + "-" +
                      std::to_string(::GetTickCount64()) + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as a UTF-8 text ending in a backslash, the way drive roots are handed to the writer.
  std::string root() const { return platform::Narrow(path_.wstring()) + "\\"; }
  std::filesystem::path operator/(const std::string& utf8Name) const {
    return path_ / platform::Widen(utf8Name);
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string Utf8(const std::filesystem::path& path) {
  return platform::Narrow(path.wstring());
}

}  // namespace scaleboot::testing
