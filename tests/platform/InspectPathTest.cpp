// InspectPath on the real file system of each platform (on Windows under Wine): what a folder, a file, a
// missing name and a path through a file are, in the path forms verify uses.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"

namespace scaleboot::platform {
namespace {

namespace fs = std::filesystem;
using Kind = PathInfo::Kind;

TEST(InspectPath, NamesFoldersFilesAndWhatIsMissing) {
  const fs::path folder =
      fs::temp_directory_path() /
      ("scaleboot-inspect-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::ofstream(folder / "module.bin", std::ios::binary) << std::string(1234, 'x');
  const std::string dir = folder.string(), sep(1, fs::path::preferred_separator);
  struct Case {
    std::string path;
    Kind kind;
    std::uint64_t size;
  };
  const Case cases[] = {
      {dir, Kind::Folder, 0},
      {dir + sep, Kind::Folder, 0},
      {dir + sep + "module.bin", Kind::RegularFile, 1234},
      {dir + sep + "module.bin" + sep, Kind::Other, 0},
      {dir + sep + "nothing", Kind::Missing, 0},
      {dir + sep + "nothing" + sep + "deeper" + sep, Kind::Missing, 0},
  };
  for (const Case& c : cases) {
    const PathInfo info = InspectPath(c.path);
    EXPECT_EQ(info.kind, c.kind) << c.path;
    EXPECT_EQ(info.size, c.size) << c.path;
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace scaleboot::platform
