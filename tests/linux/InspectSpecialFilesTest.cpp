// InspectPath on what only a Linux card can hold: symbolic links (never followed, whatever they point at)
// and special files, which verify names instead of reporting "access denied".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"

namespace scaleboot::platform {
namespace {

namespace fs = std::filesystem;
using Kind = PathInfo::Kind;

TEST(InspectPath, NamesLinksAndSpecialFilesWithoutFollowingThem) {
  const fs::path folder =
      fs::temp_directory_path() /
      ("scaleboot-special-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::ofstream(folder / "module.bin", std::ios::binary) << std::string(1234, 'x');
  fs::create_symlink("module.bin", folder / "to-file");
  fs::create_directory_symlink(".", folder / "to-folder");
  fs::create_symlink("nothing", folder / "dangling");
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  const struct {
    std::string path;
    Kind kind;
  } cases[] = {
      {(folder / "to-file").string(), Kind::SymbolicLink},
      {(folder / "to-folder").string(), Kind::SymbolicLink},
      {(folder / "dangling").string(), Kind::SymbolicLink},
      {(folder / "fifo").string(), Kind::Other},
      {"/dev/null", Kind::Other},
  };
  for (const auto& c : cases) {
    const PathInfo info = InspectPath(c.path);
    EXPECT_EQ(info.kind, c.kind) << c.path;
    EXPECT_EQ(info.size, 0u) << c.path;
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace scaleboot::platform
